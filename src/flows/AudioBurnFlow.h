#pragma once
#include "flows/Flow.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

#include "device/CdText.h"

namespace kv {

struct TAudioWriteFacts;
struct TDiscFacts;
namespace jobs {
class TDecodeJob;
struct TAudioDiscOptions;
struct TJobResult;
}  // namespace jobs

// An audio CD: the WAV folder with room for the compilation, the questions, the disc's playing
// time, the decoding of every audio file into the WAV folder, then the write disc-at-once or
// track-at-once. The WAV files the decoder wrote are deleted after the write.
class TAudioBurnFlow : public TFlow {
public:
    using TFlow::TFlow;
    TOperation Operation() const override { return TOperation::Converting; }
    void Start() override;

private:
    void AudioBurnChecked();
    void CheckAudioCapacity(const TDiscFacts& facts, double needed);
    void StartConversion();
    void ConversionFinished(const jobs::TJobResult& result);
    void EndCancelled();
    void BurnConvertedAudio(const std::vector<std::string>& converted);
    void StartAudioWrite(const TAudioWriteFacts& facts, const std::vector<std::string>& converted,
                         const jobs::TAudioDiscOptions& options);
    // The job's end, a moment later.
    void TimerCueWriteDoneTimer(const QString& error);

    QStringList AudioFiles;
    bool EndShown = false;  // the progress window has said that the write ended well
    std::vector<TCdTextFields> TypedTexts;  // per audio file: what the properties window kept
    std::vector<std::string> TextSources;   // the files being decoded, whose tags name the tracks
    jobs::TDecodeJob* Decoder = nullptr;  // held by the runner until the write job follows
};

}  // namespace kv
