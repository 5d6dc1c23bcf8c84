#include "jobs/DiscImageReader.h"

#include <algorithm>

#include "audioconv/CdWavFile.h"
#include "datawrite/ImageOutputFile.h"
#include "device/SCSIDevice.h"
#include "platform/EngineTexts.h"

namespace kv::jobs {
namespace {

constexpr uint32_t kZeroPieceBlocks = 32;

bool Cancelled(const TDiscImageReader::THooks& hooks) { return hooks.Cancelled && hooks.Cancelled(); }

}  // namespace

bool TDiscImageReader::Plan(TImageFormat format, uint16_t session, const std::string& output, TDiscImagePlan& plan,
                            std::string& error) {
    if (!ProbeDiscLayout(device_, layout_, error, [this] { return Cancelled(hooks_); })) return false;
    if (session > layout_.Sessions) {
        error = "THE DISC HAS NO SESSION " + std::to_string(session);
        return false;
    }
    if (format == TImageFormat::Auto)
        format = layout_.HasAudio(session == 0 ? 1 : session) ? TImageFormat::BinCue : TImageFormat::Iso;
    if (format == TImageFormat::Iso) {
        if (!FindIsoExtent(device_, layout_, session, extent_, error)) return false;
        plan = PlanIsoImage(extent_, output);
        if (!extent_.FromVolumeSize)
            Message(TSeverity::Warning, "NO ISO 9660 VOLUME SIZE FITS THE TRACK: THE WHOLE TRACK IS SAVED", "35.20");
        return true;
    }
    if (!layout_.Cd) {
        error = "A BIN/CUE IMAGE IS MADE OF A CD ONLY";
        return false;
    }
    if (session > 1) {
        error = "A BIN/CUE IMAGE HOLDS THE FIRST SESSION ONLY";
        return false;
    }
    if (!layout_.SubChannelRead)
        Message(TSeverity::Warning, "THE DRIVE DOES NOT READ THE Q SUB-CHANNEL: PRE-GAPS OF 2 SECONDS ASSUMED", "35.21");
    plan = PlanCueImage(layout_, output, format == TImageFormat::WavCue);
    if (plan.To <= plan.From) {
        error = "THE DISC HOLDS NO TRACK THAT CAN BE READ";
        return false;
    }
    if (layout_.Sessions > 1)
        Message(TSeverity::Warning, "ONLY THE FIRST OF THE DISC'S " + std::to_string(layout_.Sessions) +
                                        " SESSIONS IS IN A BIN/CUE IMAGE", "35.22");
    return true;
}

bool TDiscImageReader::Read(const TDiscImagePlan& plan, TImageSink& sink, TReadErrorPolicy policy, int retries,
                            std::string& error) {
    filled_.clear();
    TBlockReader reader(device_, {plan.BlockBytes == 2352, policy, retries}, hooks_.Cancelled,
                        [this](TSeverity s, const std::string& text) {
                            Message(s, text, s == TSeverity::Error ? "35.11" : "35.12");
                        });
    const int64_t total = plan.Bytes();
    int64_t done = 0;
    auto report = [&](int32_t sector) {
        if (hooks_.Progress)
            hooks_.Progress(done, total, sector, reader.SpeedKBs(), static_cast<int>(reader.Filled().size()));
    };
    auto deliver = [&](int32_t lba, const uint8_t* data, uint32_t blocks) {
        if (!sink.Put(lba, data, blocks)) return false;
        done += int64_t{blocks} * plan.BlockBytes;
        return true;
    };
    reader.OnProgress = [&] { report(reader.CurrentBlock()); };
    const std::vector<uint8_t> zeros(size_t{kZeroPieceBlocks} * plan.BlockBytes, 0);
    auto fillZeros = [&](int32_t from, int32_t to) {
        for (int32_t at = from; at < to; at += static_cast<int32_t>(kZeroPieceBlocks))
            if (!deliver(at, zeros.data(), static_cast<uint32_t>(std::min<int32_t>(kZeroPieceBlocks, to - at))))
                return false;
        return true;
    };
    // The drive reads at its own best speed, whatever an earlier operation asked for.
    device_.SetCDSpeed(0, 0);
    int32_t at = plan.From;
    bool ok = true;
    for (const TReadRange& r : plan.Readable) {
        if (!(ok = fillZeros(at, r.From))) break;
        const int32_t shift = r.From - r.Source;
        ok = reader.Read(r.Source, static_cast<uint32_t>(r.To - r.From),
                         [&](int32_t lba, const uint8_t* data, uint32_t blocks) { return deliver(lba + shift, data, blocks); });
        if (!ok) break;
        at = r.To;
    }
    if (ok) ok = fillZeros(at, plan.To);
    filled_ = reader.Filled();
    report(ok ? plan.To - 1 : reader.CurrentBlock());
    if (ok) return true;
    error = !reader.Error().empty() ? reader.Error() : !sink.Error().empty() ? sink.Error() : std::string(kAbortedByUserText);
    return false;
}

void ShowReadProgress(TJobProgress& p, int64_t bytesDone, int64_t bytesTotal, int32_t sector, int speedKBs,
                      int errors) {
    p.BytesDone = bytesDone;
    p.BytesTotal = bytesTotal;
    p.Percent = bytesTotal > 0 ? static_cast<int>(bytesDone * 100 / bytesTotal) : 0;
    p.Sector = sector;
    p.ReadSpeedKBs = speedKBs;
    p.ReadErrors = errors;
}

bool WriteFilledList(const TDiscImagePlan& plan, const std::vector<int32_t>& filled, std::string& path,
                     std::string& error) {
    path = plan.MainFile() + ".unreadable.txt";
    std::string text = "# sectors that could not be read and were filled with zeros: sector, file, byte offset\n";
    for (int32_t lba : filled)
        for (const TImageFilePart& p : plan.Parts)
            if (lba >= p.From && lba < p.To) {
                const int64_t offset = int64_t{lba - p.From} * plan.BlockBytes + (p.Wav ? kCdWavHeaderBytes : 0);
                text += std::to_string(lba) + "\t" + p.Path + "\t" + std::to_string(offset) + "\n";
            }
    TImageOutputFile out(path);
    if (!out.Create() || !out.Write(text.data(), text.size()) || !out.Commit()) {
        error = out.ErrorText();
        return false;
    }
    return true;
}

}  // namespace kv::jobs
