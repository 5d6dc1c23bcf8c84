#pragma once
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "audioconv/AudioConversion.h"
#include "audiowrite/TCueBurner.h"
#include "jobs/AudioDisc.h"
#include "jobs/Job.h"

namespace kv::jobs {

// Decodes audio sources into CD-format WAV files in a folder, one file after another. Each
// finished file is told as a message (key "12.20"); files Kelvadore writes are recorded in the
// folder's list of its own files, so cleaning never touches anything else.
class TDecodeJob : public TJob {
public:
    TDecodeJob(std::vector<std::string> sources, std::string folder)
        : TJob("decode"), sources_(std::move(sources)), folder_(std::move(folder)) {}
    ~TDecodeJob() override { StopAndJoin(); }

    // A source already in CD format goes to the burn as it is (false writes a copy).
    bool UseCdFormatSourcesAsIs = true;

    // Valid once finished: one output per source that could be decoded, in source order, and the
    // sources that could not.
    std::vector<std::string> ConvertedFiles() const;
    std::vector<TAudioConversion::TFailure> Failures() const;

protected:
    TDecodeJob(std::string name, std::vector<std::string> sources, std::string folder)
        : TJob(std::move(name)), sources_(std::move(sources)), folder_(std::move(folder)) {}
    TJobResult Run() override;
    void CancelWork() override { conversion_.ConversionAborted = true; }
    // The decoding stage; shared with the audio burn. False when a source failed or on cancel.
    bool Decode();
    TJobResult DecodeFailure();

    std::vector<std::string> sources_;
    std::string folder_;
    TAudioConversion conversion_;
    mutable std::mutex resultMutex_;
    std::vector<std::string> converted_;
    std::vector<TAudioConversion::TFailure> failures_;
};

// Starts the audio burner on the track list it holds and follows the write to its end, copying
// its counters into progress snapshots through `update`. Empty on success, else the error text.
// The audio and the cue sheet image burns share it.
std::string RunCueBurnerWrite(TCueBurner& burner, const std::function<bool()>& cancelled,
                              const std::function<void(TJobStage)>& stage,
                              const std::function<void(const std::function<void(TJobProgress&)>&)>& update);

// An audio CD from audio files: every source that is not CD-format WAV is decoded into the WAV
// folder first, then the audio burner writes one track per file, session-at-once from its cue
// sheet or track-at-once. The files decoded for it are deleted at the end unless KeepDecoded.
class TAudioBurnJob final : public TDecodeJob {
public:
    TAudioBurnJob(TCueBurner& burner, std::vector<std::string> sources, std::string wavFolder)
        : TDecodeJob("burn-audio", std::move(sources), std::move(wavFolder)), burner_(burner) {}
    ~TAudioBurnJob() override { StopAndJoin(); }

    TAudioDiscOptions Disc;
    // With Disc.CdText, the files that name the tracks (their tags or file names), one per track:
    // the sources before decoding; empty takes the job's sources. A text given in
    // Disc.TrackTexts goes before what the file says.
    std::vector<std::string> TextSources;
    bool KeepDecoded = false;
    // The sources are the CD-format WAV files of an earlier decoding run: no decoding stage.
    bool SourcesConverted = false;

protected:
    TJobResult Run() override;
    void CancelWork() override;
    std::string DriveIdentity() const override { return burner_.Device(); }

private:
    TJobResult Write(const std::vector<std::string>& wavs);
    void NameTracks(size_t count);

    TCueBurner& burner_;
};

}  // namespace kv::jobs
