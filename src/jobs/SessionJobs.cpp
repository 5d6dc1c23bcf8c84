#include "jobs/SessionJobs.h"

#include "jobs/ComponentHooks.h"

namespace kv::jobs {

TJobResult TImportJob::Run() {
    std::string lastError;
    TMessageHook messages(burner_, [this, &lastError](TSeverity s, const std::string& text) {
        if (s == TSeverity::Error) lastError = text;
        Message(s, text);
    });
    if (TJobResult ended; !WaitForDisc(burner_, ended)) return ended;
    SetStage(TJobStage::Reading);
    if (ClearFirst) burner_.ClearAll(MaxFiles, MaxDirs);
    if (!burner_.ImportSession(session_))
        return Failed(lastError.empty() ? "NO SESSION TO IMPORT ON THIS DISC" : lastError);
    UpdateProgress([this](TJobProgress& p) {
        p.Percent = 100;
        p.FilesDone = burner_.FileCount();
        p.FoldersDone = burner_.DirCount();
    });
    return Ok();
}

std::vector<std::string> TExtractJob::Extracted() const {
    std::lock_guard lock(extractedMutex_);
    return extracted_;
}

TJobResult TExtractJob::Run() {
    std::string lastError;
    TMessageHook messages(burner_, [this, &lastError](TSeverity s, const std::string& text) {
        if (s == TSeverity::Error) lastError = text;
        Message(s, text);
    });
    if (TJobResult ended; !WaitForDisc(burner_, ended)) return ended;
    SetStage(TJobStage::Reading);
    const int total = static_cast<int>(items_.size());
    UpdateProgress([total](TJobProgress& p) { p.FilesTotal = total; });
    std::vector<std::string> failed;
    for (int i = 0; i < total; ++i) {
        if (CancelRequested()) return Aborted();
        const TItem& item = items_[static_cast<size_t>(i)];
        UpdateProgress([&](TJobProgress& p) { p.CurrentFile = item.Target; });
        if (item.Entry && !item.Entry->IsDirectory() && burner_.ExtractFile(*item.Entry, item.Target)) {
            std::lock_guard lock(extractedMutex_);
            extracted_.push_back(item.Target);
        } else {
            failed.push_back(item.Entry ? item.Entry->LongName : item.Target);
        }
        UpdateProgress([&](TJobProgress& p) {
            p.FilesDone = i + 1;
            p.Percent = (i + 1) * 100 / total;
        });
    }
    if (failed.empty()) return Ok();
    return Failed(lastError.empty() ? "COULD NOT EXTRACT " + failed.front() : lastError);
}

}  // namespace kv::jobs
