#pragma once
#include "app/BurnerHost.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kv {

class TQueueItem;
class TZelBurner;

// The drive-thread steps of a data burn or an ISO file (the window asks and reports between them).

// What the window needs to know of the disc before it asks its questions.
struct TDiscFacts {
    TPrepareOutcome Preparation;  // the data burner's, with the lines of the disc's loading
    bool Prepared = false;
    uint32_t FreeBlocks = 0;
    uint16_t SessionCount = 0;
    bool FinalizeDisc = false;
    uint8_t MediumType = 0;
    bool Erasable = false;
    int BlockLength = 2048;
    int SpeedX = 0;  // the current write speed in the medium's "X"
    QString Device;
    TZelBurner* Burner = nullptr;  // the data burner asked, for a job that follows
    QString Failure;               // why the disc could not be read at all (a step that failed outright)
    // What makes the engine refuse any write onto the disc (not read for an image file).
    bool Closed = false;          // a closed recordable disc
    bool ClosedErasable = false;  // closed, but a blank would make it writable again
    bool Pressed = false;         // a read-only medium
};
// The data burner takes the drive; unless `imageOnly`, a drive that is not ready gets its tray
// closed and is waited for first.
TDiscFacts ReadDiscFacts(TBurnerHost& burners, const TBurnerSettings& settings, bool imageOnly);

// One node of the compilation as the burner gets it: a pre-order list with depths.
struct THandOverEntry {
    int Depth = 0;  // 0 at the top
    std::string Name;
    std::string Source;  // empty for a folder made in the tree
    bool Folder = false;
};
// The compilation's nodes in tree order, names and sources as their bytes. The files of an
// imported session are left out, and its folders are named (without a source) only above entries
// of the compilation's own.
std::vector<THandOverEntry> HandOverList(const TQueueItem& root);

struct THandOverResult {
    bool Done = false;
    int AddedFiles = 0;
    int AddedFolders = 0;
    int DirCount = 0;
    int FileCount = 0;
    std::vector<std::string> Refusals;  // each names the entry and why
};
// Hands the entries to the data burner: a fresh compilation unless `keepImported` (the imported
// session's file system stays and the entries join it). `counted` reports the running counts.
THandOverResult HandOverCompilation(TBurnerHost& burners, const std::vector<THandOverEntry>& entries,
                                    bool keepImported, const std::function<void(int files, int folders)>& counted);

// The texts the volume descriptors carry.
struct TIdentification {
    std::string Volume, Application, System, VolumeSet, Publisher, Preparer;
    std::string Copyright, Abstract, Bibliographic;
};
struct TLayoutFacts {
    bool Built = false;
    int64_t ImageSize = 0;  // blocks
    uint32_t FreeBlocks = 0;
    std::string Error;
    TZelBurner* Burner = nullptr;  // the data burner the layout was built in, for the write job
};
TLayoutFacts BuildDataLayout(TBurnerHost& burners, const TIdentification& identification, bool imageOnly);

// "#,##0.00" megabytes of a byte count, as the log and the progress window show sizes.
QString FormatMegabytes(double bytes);
// The medium's name as the log shows it; empty for an unknown code.
QString MediumNameText(uint8_t code);

}  // namespace kv
