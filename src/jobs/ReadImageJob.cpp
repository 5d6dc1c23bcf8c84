#include "jobs/ReadImageJob.h"

#include "datawrite/ImageOutputFile.h"
#include "device/SCSIDevice.h"
#include "jobs/ComponentHooks.h"
#include "jobs/DiscImageReader.h"

namespace kv::jobs {

bool SaveDiscImage(TDiscImageReader& reader, const TDiscImagePlan& plan, TReadErrorPolicy policy, int retries,
                   std::vector<std::string>& written,
                   const std::function<void(TSeverity, const std::string&, const std::string&)>& message,
                   std::string& error) {
    written.clear();
    message(TSeverity::Info,
            std::string("READING THE DISC AS ") + ImageFormatName(plan.Format) + ": " +
                std::to_string(plan.To - plan.From) + " SECTORS",
            "35.10");
    TImageFilesWriter files(plan.Parts, plan.BlockBytes);
    if (!files.Create()) {
        error = files.Error();
        return false;
    }
    if (!reader.Read(plan, files, policy, retries, error)) return false;
    // The sheet is complete before anything is moved into place, so that a full disk leaves the
    // user's earlier files alone.
    TImageOutputFile cue(plan.CuePath);
    const std::string cueText = plan.CuePath.empty() ? std::string() : CueSheetText(plan.Cue);
    if (!plan.CuePath.empty() && (!cue.Create() || !cue.Write(cueText.data(), cueText.size()))) {
        error = cue.ErrorText();
        return false;
    }
    if (!files.Commit()) {
        error = files.Error();
        return false;
    }
    for (const TImageFilePart& p : plan.Parts) written.push_back(p.Path);
    if (!plan.CuePath.empty()) {
        if (!cue.Commit()) {
            error = cue.ErrorText();
            return false;
        }
        written.push_back(plan.CuePath);
    }
    if (!reader.Filled().empty()) {
        std::string list;
        if (!WriteFilledList(plan, reader.Filled(), list, error)) return false;
        written.push_back(list);
        message(TSeverity::Warning,
                std::to_string(reader.Filled().size()) + " UNREADABLE SECTORS FILLED WITH ZEROS, LISTED IN \"" + list +
                    "\"",
                "35.13");
    }
    return true;
}

TImageFormat TReadImageJob::FormatWritten() const {
    std::lock_guard lock(resultMutex_);
    return written_;
}

std::vector<std::string> TReadImageJob::FilesWritten() const {
    std::lock_guard lock(resultMutex_);
    return files_;
}

std::vector<int32_t> TReadImageJob::FilledSectors() const {
    std::lock_guard lock(resultMutex_);
    return filled_;
}

void TReadImageJob::CancelWork() { device_.AbortWaits(); }

std::string TReadImageJob::DriveIdentity() const { return device_.Device(); }

TJobResult TReadImageJob::Run() {
    TMessageHook messages(device_, [this](TSeverity s, const std::string& text) {
        if (s == TSeverity::Error) Message(s, text);
    });
    if (TJobResult ended; !WaitForDisc(device_, ended)) return ended;
    SetStage(TJobStage::Reading);
    auto message = [this](TSeverity s, const std::string& text, const std::string& key) { Message(s, text, key); };
    TDiscImageReader reader(
        device_, {[this] { return CancelRequested(); }, message,
                  [this](int64_t done, int64_t total, int32_t sector, int speed, int errors) {
                      UpdateProgress([&](TJobProgress& p) { ShowReadProgress(p, done, total, sector, speed, errors); });
                  }});
    TDiscImagePlan plan;
    std::string error;
    if (!reader.Plan(options_.Format, options_.Session, output_, plan, error))
        return CancelRequested() ? Aborted() : Failed(error);
    std::vector<std::string> written;
    const bool ok = SaveDiscImage(reader, plan, options_.OnError, options_.Retries, written, message, error);
    {
        std::lock_guard lock(resultMutex_);
        filled_ = reader.Filled();
        if (ok) {
            written_ = plan.Format;
            files_ = written;
        }
    }
    if (!ok) return CancelRequested() ? Aborted() : Failed(error);
    Message(TSeverity::Info, "IMAGE SAVED: \"" + written.front() + "\"", "35.14");
    UpdateProgress([](TJobProgress& p) { p.Percent = 100; });
    return Ok();
}

}  // namespace kv::jobs
