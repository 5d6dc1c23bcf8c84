#include "jobs/CopyDiscJob.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "device/SCSIDevice.h"
#include "jobs/ComponentHooks.h"
#include "jobs/DiscImageReader.h"
#include "jobs/ReadImageJob.h"

namespace kv::jobs {
namespace {

namespace fs = std::filesystem;

// Room kept free beside the temporary image, as beside decoded WAV files.
constexpr int64_t kSpareBytes = 10000000;
// Shares of the percentage: reading, writing, verifying.
constexpr int kReadShare = 40, kWriteShare = 80;

std::string TemporaryImageBase(const std::string& folder) {
    static std::atomic<int> counter{0};
    return (fs::path(folder) / ("kelvadore-copy-" + std::to_string(::getpid()) + "-" + std::to_string(++counter)))
        .string();
}

std::string Megabytes(int64_t bytes) { return std::to_string((bytes + 999999) / 1000000) + " MB"; }

}  // namespace

std::vector<std::string> TCopyDiscJob::ImageFiles() const {
    std::lock_guard lock(filesMutex_);
    return files_;
}

void TCopyDiscJob::CancelWork() {
    TDataWriteJob::CancelWork();
    source_.AbortWaits();
}

TDiscImageReader::THooks TCopyDiscJob::ReaderHooks() {
    return {[this] { return CancelRequested(); },
            [this](TSeverity s, const std::string& text, const std::string& key) { Message(s, text, key); },
            [this](int64_t done, int64_t total, int32_t sector, int speed, int errors) {
                UpdateProgress([&](TJobProgress& p) { ShowReadProgress(p, done, total, sector, speed, errors); });
            }};
}

TJobResult TCopyDiscJob::Run() {
    std::vector<std::string> written;
    const TJobResult result = Copy(written);
    if (result.Ok) {
        SetPercentRange(0, 100);
        UpdateProgress([](TJobProgress& p) { p.Percent = 100; });
    }
    if (written.empty()) return result;
    if (options_.KeepImage) {
        Message(TSeverity::Info, "THE DISC IMAGE IS KEPT: \"" + written.front() + "\"", "35.44");
        return result;
    }
    std::error_code ec;
    for (const std::string& f : written) fs::remove(f, ec);
    Message(TSeverity::Info, "TEMPORARY DISC IMAGE DELETED", "35.43");
    return result;
}

TJobResult TCopyDiscJob::Copy(std::vector<std::string>& written) {
    TMessageHook messages(source_, [this](TSeverity s, const std::string& text) {
        if (s == TSeverity::Error) Message(s, text);
    });
    if (TJobResult ended; !WaitForDisc(source_, ended)) return ended;
    SetStage(TJobStage::Reading);
    SetPercentRange(0, kReadShare);
    TDiscImageReader reader(source_, ReaderHooks());
    TDiscImagePlan plan;
    std::string error;
    if (!reader.Plan(TImageFormat::Auto, 0, "image.iso", plan, error)) return CancelRequested() ? Aborted() : Failed(error);

    // The temporary space check: the whole image must fit with room to spare, before anything is read.
    const int64_t needed = plan.Bytes() + kSpareBytes;
    const std::string folder = options_.ChooseTempFolder ? options_.ChooseTempFolder(needed) : options_.TempFolder;
    std::error_code ec;
    const fs::space_info space = fs::space(folder.empty() ? options_.TempFolder : folder, ec);
    if (folder.empty() || ec || static_cast<int64_t>(space.available) < needed)
        return Failed("NOT ENOUGH SPACE FOR THE TEMPORARY DISC IMAGE IN \"" + (folder.empty() ? options_.TempFolder : folder) +
                      "\": " + Megabytes(needed) + " NEEDED, " +
                      Megabytes(ec ? 0 : static_cast<int64_t>(space.available)) + " FREE");
    const std::string base = TemporaryImageBase(folder);
    plan = plan.Format == TImageFormat::Iso ? PlanIsoImage(reader.Extent(), base + ".iso")
                                            : PlanCueImage(reader.Layout(), base + ".cue", false);
    const bool saved =
        SaveDiscImage(reader, plan, options_.OnError, options_.Retries, written, ReaderHooks().Message, error);
    {
        std::lock_guard lock(filesMutex_);
        files_ = written;
    }
    if (!saved) return CancelRequested() ? Aborted() : Failed(error);

    const bool audio = plan.Format != TImageFormat::Iso;
    if (SameDrive()) source_.EjectSequence();
    if (TJobResult ended; !WaitForBlank(audio, ended)) return ended;
    SetPercentRange(kReadShare, kWriteShare);
    if (TJobResult burned = BurnImageFile(audio ? plan.CuePath : plan.MainFile()); !burned.Ok) return burned;
    if (!options_.Verify) return Ok();
    SetPercentRange(kWriteShare, 100);
    return VerifyCopy(plan);
}

bool TCopyDiscJob::WaitForBlank(bool audio, TJobResult& ended) {
    const std::string question = "INSERT A BLANK DISC INTO THE DRIVE " + burner_.Device() + " FOR THE COPY";
    // In the same drive the original has just come out: a blank must go in before anything else.
    bool ask = SameDrive();
    for (;;) {
        if (ask) {
            if (!Ask({"35.40", question})) {
                ended = CancelRequested() ? Aborted() : Declined("NO BLANK DISC FOR THE COPY");
                return false;
            }
            burner_.LoadSequence(false);
        }
        burner_.ClearWaitAbort();
        if (burner_.WaitForDisc()) {
            const TWriteRefusal refusal = burner_.WriteRefusal(audio);
            if (refusal.Reason.empty()) return true;
            Message(TSeverity::Warning, refusal.Reason);
        } else if (!CancelRequested()) {
            Message(TSeverity::Warning, burner_.LastError());
        }
        if (CancelRequested()) {
            ended = Aborted();
            return false;
        }
        ask = true;
    }
}

TJobResult TCopyDiscJob::VerifyCopy(const TDiscImagePlan& image) {
    SetStage(TJobStage::Verifying);
    Message(TSeverity::Info, "VERIFYING THE COPY AGAINST THE IMAGE", "35.41");
    if (TJobResult ended; !WaitForDisc(burner_, ended)) return ended;
    TDiscImageReader reader(burner_, ReaderHooks());
    TDiscImagePlan copy;
    std::string error;
    const std::string output = image.CuePath.empty() ? image.MainFile() : image.CuePath;
    if (!reader.Plan(image.Format, image.Format == TImageFormat::Iso ? 0 : 1, output, copy, error))
        return CancelRequested() ? Aborted() : Failed("VERIFY ERROR: " + error);
    if (copy.To - copy.From != image.To - image.From)
        return Failed("VERIFY ERROR: THE COPY HOLDS " + std::to_string(copy.To - copy.From) + " SECTORS, THE IMAGE " +
                      std::to_string(image.To - image.From));
    if (CueSheetText(copy.Cue) != CueSheetText(image.Cue))
        return Failed("VERIFY ERROR: THE COPY'S TRACKS DIFFER FROM THE IMAGE'S");
    // The image was written from sector 0: its blocks are compared where the copy holds them.
    std::vector<TImageFilePart> parts = image.Parts;
    for (TImageFilePart& p : parts) {
        p.From += copy.From - image.From;
        p.To += copy.From - image.From;
    }
    TImageFilesComparer comparer(parts, image.BlockBytes);
    if (!comparer.Open()) return Failed("VERIFY ERROR: " + comparer.Error());
    if (!reader.Read(copy, comparer, TReadErrorPolicy::Stop, options_.Retries, error))
        return CancelRequested() ? Aborted() : Failed("VERIFY ERROR: " + error);
    Message(TSeverity::Info, "COPY VERIFIED: IT HOLDS THE IMAGE BYTE FOR BYTE", "35.42");
    return Ok();
}

}  // namespace kv::jobs
