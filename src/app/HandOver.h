#pragma once
#include <QByteArray>
#include <QString>

#include <optional>

namespace kv {

// The files a successful data burn leaves for the instance that starts after it: the choices
// made in the progress window, the log and the compilation. The new instance verifies, ejects
// and shuts down from them, with a drive transport opened afresh.
struct THandOver {
    bool Verify = false;
    bool Eject = false;
    bool Shutdown = false;
    QString Letter;   // of the recorder written to
    int Files = 0;    // handed to the burner
    int Folders = 0;
    // Names the start the files were written for: only the process the restart started carries
    // it (in kHandOverTokenVariable), so files left over from an earlier run do nothing.
    QString Token;
};

inline constexpr const char* kHandOverTokenVariable = "KELVADORE_RESTART_TOKEN";
inline constexpr const char* kHandOverSettingsFile = "reload_settings.rel";
inline constexpr const char* kHandOverMemoFile = "reload_memo.rel";
inline constexpr const char* kHandOverQueueFile = "reload_queue.rel";

// Writes the three files, readable by the user only (they name every burned path); `queue` is the
// compilation as the project writer encodes it. False with the file that could not be written.
bool WriteHandOver(const QString& folder, const THandOver& handOver, const QString& memo, const QByteArray& queue,
                   QString* failedFile = nullptr);
QString HandOverSettingsPath(const QString& folder);
QString HandOverQueuePath(const QString& folder);
// All three files are there.
bool HandOverPending(const QString& folder);
// Values are read by name, the first line of a name counting, names without case; a flag is set
// only by "1"; a count that is no number reads 0. Nothing when the file cannot be read.
std::optional<THandOver> ReadHandOver(const QString& folder);
std::optional<QString> ReadHandOverMemo(const QString& folder);
void RemoveHandOver(const QString& folder);
QString NewHandOverToken();

// What the memo keeps of the log: its lines, without the document's opening markup.
QString MemoOfLog(const QString& logHtml);

}  // namespace kv
