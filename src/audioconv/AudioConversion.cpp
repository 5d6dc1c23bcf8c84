#include "audioconv/AudioConversion.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "audioconv/AcsException.h"
#include "audioconv/CdTrackSource.h"
#include "audioconv/CdWavFile.h"
#include "audioconv/FfmpegDecoder.h"
#include "audioconv/RiffWave.h"
#include "platform/EngineClock.h"

namespace kv {
namespace fs = std::filesystem;
namespace {

// While a decoder has no data yet the wait is polled every millisecond; a stream that stays silent
// this long (engine time) is taken as ended rather than waited for forever.
constexpr int kMaxIdleWaitMs = 5000;

std::string UpperExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext;
}

bool HasMeasurableExtension(const std::string& ext) {
    static const char* const kExtensions[] = {".WAV", ".WMA", ".WMV", ".ASF", ".FLAC", ".FLA",  ".WV", ".WVC",
                                              ".MP3", ".MP2", ".MP1", ".OGG", ".MPC",  ".AIFF", ".APE"};
    return std::any_of(std::begin(kExtensions), std::end(kExtensions),
                       [&](const char* e) { return ext == e; });
}

}  // namespace

TAudioConversion::TAudioConversion() : TAudioConversion(std::make_unique<TFfmpegDecoder>()) {}

TAudioConversion::TAudioConversion(std::unique_ptr<TAudioDecoder> decoder) : decoder_(std::move(decoder)) {
    MemoryIn.SetGlobalSize(-1);
    MemoryIn.SetInBitsPerSample(16);
    MemoryIn.SetInChannels(1);
    MemoryIn.SetInSampleRate(8000);
    MemoryIn.OnBufferDone = [this](TACSMemoryIn* sender) { MemoryInBufferDone(sender); };
    MSConverter.Mode = TACSMSConverterMode::msmMonoToBoth;
    RateConverter.FilterWindow = TACSFilterWindowType::fwBlackman;
    RateConverter.SetKernelWidth(30);
    RateConverter.SetOutSampleRate(kCdSampleRate);
}

TAudioConversion::~TAudioConversion() = default;

bool TAudioConversion::MayHaveDuration(const std::string& fileName) {
    return HasMeasurableExtension(UpperExtension(fileName));
}

double TAudioConversion::GetDuration(const std::string& fileName) {
    const std::string ext = UpperExtension(fileName);
    double seconds = -1;
    if (ext == ".CDA") {
        if (auto cda = ParseCdaPath(fileName)) {
            const int64_t bytes = CdTrackLengthBytes(*cda);
            if (bytes > 0) seconds = static_cast<double>(bytes) / 176400.0;
        }
    } else if (HasMeasurableExtension(ext)) {
        std::error_code ec;
        if (!fs::is_regular_file(fileName, ec)) return -1;
        std::string error;
        auto stream = decoder_->OpenFile(fileName, &error);
        if (!stream) return -1;
        const int64_t bytes = stream->LengthBytes();
        // Bytes per second of what the stream delivers: 8-bit streams count one byte per sample.
        const double perSecond =
            double(stream->SampleRate()) * stream->Channels() * (stream->Is8Bit() ? 1 : 2);
        if (bytes > 0 && perSecond > 0) seconds = static_cast<double>(bytes) / perSecond;
    }
    return seconds > 0 ? seconds : -1;
}

bool TAudioConversion::Run() {
    ConvertedFiles.clear();
    Failures.clear();
    ConversionIndex = 0;
    Folder().StartRun();
    bool allGood = true;
    for (; ConversionIndex < AudioFiles.size(); ++ConversionIndex) {
        if (ConversionAborted) break;
        const std::string& source = AudioFiles[ConversionIndex];
        TConvertResult r = ConvertFile(source);
        if (r.Status == TConvertStatus::Aborted || ConversionAborted) break;
        if (r.Status == TConvertStatus::Failed) {
            allGood = false;
            Failures.push_back({source, r.Error});
            if (Observer) Observer->FileFailed(ConversionIndex, source, r.Error);
            continue;
        }
        ConvertedFiles.push_back(r.Output);
        if (Observer) Observer->FileFinished(ConversionIndex, source, r.Output);
    }
    return allGood && !ConversionAborted;
}

TWavOutputFolder& TAudioConversion::Folder() {
    if (!folder_ || folder_->Folder() != TWavOutputFolder(WAVPath).Folder()) {
        folder_ = std::make_unique<TWavOutputFolder>(WAVPath);
    }
    return *folder_;
}

TACSCustomInput& TAudioConversion::BuildChain(const TDecodeStream& stream) {
    SampleConverter.SetInput(nullptr);
    MSConverter.SetInput(nullptr);
    RateConverter.SetInput(nullptr);
    MemoryIn.SetInSampleRate(stream.SampleRate());
    MemoryIn.SetInChannels(stream.Channels());
    MemoryIn.SetInBitsPerSample(stream.Is8Bit() ? 8 : 16);

    TACSCustomInput* last = &MemoryIn;
    if (MemoryIn.InBitsPerSample() == 8) {
        SampleConverter.SetInput(last);
        last = &SampleConverter;
    }
    if (MemoryIn.InChannels() != 2) {
        MSConverter.SetInput(last);
        last = &MSConverter;
    }
    if (MemoryIn.InSampleRate() != kCdSampleRate) {
        RateConverter.SetOutSampleRate(kCdSampleRate);
        RateConverter.SetInput(last);
        last = &RateConverter;
    }
    return *last;
}

TConvertResult TAudioConversion::ConvertFile(const std::string& fileName) {
    TConvertResult result;
    std::string error;
    if (UpperExtension(fileName) == ".CDA") {
        auto cda = ParseCdaPath(fileName);
        if (cda)
            stream_ = OpenCdTrack(*cda, &error);
        else
            error = "not a CD track name (TrackNN.cda)";
    } else {
        // A file whose chunks say PCM 44100 Hz 16-bit stereo goes to the burn as it is.
        if (UseCdFormatSourcesAsIs && ReadWaveInfo(fileName).IsCdFormat()) {
            result.Status = TConvertStatus::UsedAsIs;
            result.Output = fileName;
            return result;
        }
        stream_ = decoder_->OpenFile(fileName, &error);
    }
    if (!stream_) {
        result.Error = error.empty() ? "cannot be decoded" : error;
        return result;
    }
    if (Observer) {
        Observer->FileStarted(ConversionIndex, fileName);
        Observer->Progress(ConversionIndex, 0);
    }

    TWavOutputFolder& folder = Folder();
    std::vector<std::string> sources = AudioFiles;
    sources.push_back(fileName);
    const std::string output = folder.ChooseOutputPath(fileName, sources);
    TCdWavWriter writer;
    folder.RecordWritten(output);
    if (!writer.Create(output)) {
        stream_.reset();
        result.Error = writer.Error();
        return result;
    }
    if (Observer) Observer->ProcessMessages();

    bool ok = true;
    try {
        TACSCustomInput& chain = BuildChain(*stream_);
        if (stream_->IsActive()) {
            lastDecoded_ = stream_->GetData(buffer_.data(), kPieceBytes);
            MemoryIn.BlockData = buffer_.data();
            MemoryIn.BlockBytes = lastDecoded_;
            chain.Open();
            while (ok) {
                lastConverted_ = chain.ReadData(buffer_.data() + kPieceBytes, kPieceBytes);
                if (lastConverted_ <= 0) break;
                ok = writer.Append(buffer_.data() + kPieceBytes, static_cast<size_t>(lastConverted_));
                if (!ok) result.Error = writer.Error();
            }
        }
        chain.Close();
    } catch (const EACSException& e) {
        ok = false;
        result.Error = e.what();
    }
    if (ok && !stream_->Error().empty()) {
        ok = false;
        result.Error = stream_->Error();
    }
    if (ok && !ConversionAborted && writer.DataBytes() == 0) {
        ok = false;
        result.Error = "no audio could be decoded";
    }
    stream_.reset();
    if (!ok) {
        // A file that cannot be decoded leaves nothing behind.
        writer.Discard();
        return result;
    }
    if (!writer.Finish()) {
        writer.Discard();
        result.Error = writer.Error();
        return result;
    }
    result.Output = output;
    result.Status = ConversionAborted ? TConvertStatus::Aborted : TConvertStatus::Converted;
    return result;
}

void TAudioConversion::ReportProgress() {
    if (!Observer) return;
    int percent = 0;
    if (stream_ && stream_->LengthBytes() > 0) {
        percent = static_cast<int>(
            std::clamp<int64_t>(stream_->PositionBytes() * 100 / stream_->LengthBytes(), 0, 100));
    }
    Observer->Progress(ConversionIndex, percent);
    Observer->ProcessMessages();
}

void TAudioConversion::MemoryInBufferDone(TACSMemoryIn* sender) {
    if (ConversionAborted || !stream_) {
        sender->BlockBytes = 0;
        return;
    }
    lastDecoded_ = 0;
    if (stream_->IsActive()) {
        lastDecoded_ = stream_->GetData(buffer_.data(), kPieceBytes);
        // A decoder may have nothing ready yet; wait for it, but never past the stream's end.
        for (int waited = 0; lastDecoded_ == 0 && stream_->IsActive() &&
                             stream_->PositionBytes() != stream_->LengthBytes() && waited < kMaxIdleWaitMs;
             ++waited) {
            EngineClock::SleepMs(1);
            if (Observer) Observer->ProcessMessages();
            if (ConversionAborted) break;
            lastDecoded_ = stream_->GetData(buffer_.data(), kPieceBytes);
        }
    }
    sender->BlockData = buffer_.data();
    sender->BlockBytes = lastDecoded_;
    ReportProgress();
}

}  // namespace kv
