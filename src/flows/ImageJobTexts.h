#pragma once
#include <QString>

namespace kv {

namespace jobs {
struct TJobMessage;
}

// What the log shows of a job's message: a line the image jobs (saving a disc, copying one,
// burning a cue sheet) send under a key of the disc images section in the catalogue's words, with
// the values taken out of the engine's text; any other warning or error as the engine says it;
// nothing for the rest (the flows say their own steps).
QString JobLogLine(const jobs::TJobMessage& message);

// The sectors a read stopped at, as the error names them ("UNREADABLE SECTORS: 300-303"); empty
// when the error is another one.
QString UnreadableSectorsOf(const QString& error);

}  // namespace kv
