#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audioconv/AcsMSConverter.h"
#include "audioconv/AcsMemoryIn.h"
#include "audioconv/AcsRateConverter.h"
#include "audioconv/AcsSampleConverter.h"
#include "audioconv/DecodeStream.h"
#include "audioconv/WavOutputFolder.h"

namespace kv {

// What a conversion run tells the user interface. Every call comes on the thread that runs the
// conversion; the defaults do nothing.
class TConversionObserver {
public:
    virtual ~TConversionObserver() = default;
    // Source `index` of the run is being converted (the progress window shows its name).
    virtual void FileStarted(size_t /*index*/, const std::string& /*source*/) {}
    // After every decoded buffer; the gauge stands at index * 100 + percent.
    virtual void Progress(size_t /*index*/, int /*percentOfFile*/) {}
    // Lets the user interface handle its pending events.
    virtual void ProcessMessages() {}
    // The source is ready for the audio burn as `result` (the source itself or the converted WAV).
    virtual void FileFinished(size_t /*index*/, const std::string& /*source*/,
                              const std::string& /*result*/) {}
    virtual void FileFailed(size_t /*index*/, const std::string& /*source*/, const std::string& /*error*/) {}
};

enum class TConvertStatus { Converted, UsedAsIs, Failed, Aborted };

struct TConvertResult {
    TConvertStatus Status = TConvertStatus::Failed;
    std::string Output;  // the file the audio burn takes
    std::string Error;
};

// Turns audio sources into CD-format WAV files (PCM, 44100 Hz, 16 bit, stereo) in WAVPath: decoded
// data flows in 20000-byte pieces through MemoryIn and the converters needed for the source, in the
// order sample width, channels, rate.
class TAudioConversion {
public:
    static constexpr int kPieceBytes = 20000;

    // Decodes through FFmpeg.
    TAudioConversion();
    explicit TAudioConversion(std::unique_ptr<TAudioDecoder> decoder);
    TAudioConversion(const TAudioConversion&) = delete;
    TAudioConversion& operator=(const TAudioConversion&) = delete;
    ~TAudioConversion();

    std::string WAVPath;
    TConversionObserver* Observer = nullptr;
    // A WAV already in CD format normally goes to the burn as it is; false writes a copy to WAVPath.
    bool UseCdFormatSourcesAsIs = true;

    std::vector<std::string> AudioFiles;
    std::vector<std::string> ConvertedFiles;
    size_t ConversionIndex = 0;
    // Set from the progress window; the current file ends after the piece being converted.
    std::atomic<bool> ConversionAborted{false};
    struct TFailure {
        std::string Source;
        std::string Error;
    };
    std::vector<TFailure> Failures;

    bool HasWmaSupport() const { return decoder_->HasWmaSupport(); }

    // Playing time in seconds; -1 for an unknown extension, a missing file or an unreadable source.
    double GetDuration(const std::string& fileName);
    // The file's extension is one GetDuration measures (CD tracks, which need the drive, are not).
    static bool MayHaveDuration(const std::string& fileName);
    // Converts every source of AudioFiles in order into ConvertedFiles. Failed sources are reported,
    // skipped and listed in Failures. False when anything failed or the run was aborted.
    bool Run();
    // Converts one source.
    TConvertResult ConvertFile(const std::string& fileName);

private:
    void MemoryInBufferDone(TACSMemoryIn* sender);
    TACSCustomInput& BuildChain(const TDecodeStream& stream);
    TWavOutputFolder& Folder();
    void ReportProgress();

    std::unique_ptr<TAudioDecoder> decoder_;
    TACSMemoryIn MemoryIn;
    TACSSampleConverter SampleConverter;
    TACSMSConverter MSConverter;
    TACSRateConverter RateConverter;
    // First half: decoded data from the stream; second half: converted data for the file.
    std::array<uint8_t, size_t{2} * kPieceBytes> buffer_{};
    std::unique_ptr<TDecodeStream> stream_;
    int lastDecoded_ = 0;
    int lastConverted_ = 0;
    // Names given out since the last Run start, so two sources never share an output file.
    std::unique_ptr<TWavOutputFolder> folder_;
};

}  // namespace kv
