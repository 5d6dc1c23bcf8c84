// kelvadore-cli burn-audio and cuesheet: an audio CD from a list of audio files, one track per file.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "audioconv/AudioConversion.h"
#include "audioconv/RiffWave.h"
#include "audiowrite/TCueBurner.h"
#include "audiowrite/TCueSheetBuilder.h"
#include "cli/ArgumentParser.h"
#include "jobs/AudioDisc.h"
#include "jobs/AudioJobs.h"
#include "jobs/CdTrackReaderInstall.h"
#include "cli/CliCommand.h"
#include "jobs/DriveSelection.h"
#include "cli/InterruptWatch.h"

namespace kv::cli {
namespace {

struct TAudioOptions {
    bool TrackAtOnce = false;
    bool TestWrite = false;
    int PauseMs = 2000;
    bool NoCdText = false;
    TCdTextFields Album;     // the disc's CD-TEXT
    std::string Catalog;     // media catalogue number (13 digits)
    std::string WorkFolder;  // decoded WAVs; empty = a temporary folder removed afterwards
    std::vector<std::string> Files;
};

bool ParseBurnAudioOptions(const std::vector<std::string>& args, bool allowTest, TAudioOptions& o) {
    TArgumentParser parser;
    parser.Switch({"--tao"}, o.TrackAtOnce);
    parser.Switch({"--dao"}, o.TrackAtOnce, false);
    if (allowTest) parser.Switch({"--test"}, o.TestWrite);
    parser.Switch({"--no-cd-text"}, o.NoCdText);
    parser.Option({"--title"}, o.Album.Title);
    parser.Option({"--performer"}, o.Album.Performer);
    parser.Option({"--songwriter"}, o.Album.SongWriter);
    parser.Option({"--catalog"}, o.Catalog);
    parser.Option({"--work"}, o.WorkFolder);
    std::string pause, problem;
    parser.Option({"--pause"}, pause);
    if (!parser.Parse(args, o.Files, problem)) {
        std::cerr << "kelvadore-cli: " << problem << "\n";
        return false;
    }
    if (!pause.empty()) {
        char* end = nullptr;
        const long ms = std::strtol(pause.c_str(), &end, 10);
        if (end == pause.c_str() || *end != 0 || ms < 0 || ms > 3600000) {
            std::cerr << "kelvadore-cli: --pause takes milliseconds, got '" << pause << "'\n";
            return false;
        }
        o.PauseMs = static_cast<int>(ms);
    }
    if (o.Files.empty()) {
        std::cerr << "kelvadore-cli: no audio files given\n";
        return false;
    }
    if (!o.Catalog.empty() &&
        (o.Catalog.size() != 13 || o.Catalog.find_first_not_of("0123456789") != std::string::npos)) {
        std::cerr << "kelvadore-cli: --catalog takes the 13 digits of a UPC/EAN, got '" << o.Catalog << "'\n";
        return false;
    }
    return true;
}

jobs::TAudioDiscOptions DiscOptions(const TAudioOptions& o) {
    jobs::TAudioDiscOptions disc;
    disc.TrackAtOnce = o.TrackAtOnce;
    disc.PauseMs = o.PauseMs;
    disc.TestWrite = o.TestWrite;
    disc.CdText = !o.NoCdText;
    return disc;
}

// A temporary folder for decoded WAVs that goes away with the command.
class TWorkFolder {
public:
    explicit TWorkFolder(const std::string& chosen) {
        std::error_code ec;
        if (!chosen.empty()) {
            std::filesystem::create_directories(chosen, ec);
            if (std::filesystem::is_directory(chosen, ec)) path_ = chosen;
            return;
        }
        std::string pattern = (std::filesystem::temp_directory_path(ec) / "kelvadore-audio-XXXXXX").string();
        if (!ec && mkdtemp(pattern.data())) {
            path_ = pattern;
            owned_ = true;
        }
    }
    ~TWorkFolder() {
        std::error_code ec;
        if (owned_) std::filesystem::remove_all(path_, ec);
    }
    TWorkFolder(const TWorkFolder&) = delete;
    TWorkFolder& operator=(const TWorkFolder&) = delete;
    const std::string& Path() const { return path_; }
    // False when no folder could be made: decoded files must never land in the current folder.
    bool Usable() const { return !path_.empty(); }

private:
    std::string path_;
    bool owned_ = false;
};

// CD-format WAVs are taken as they are; everything else is decoded into the work folder first.
// A source that cannot be decoded is reported, and then nothing is returned: a disc (or a cue
// sheet) without a track that was asked for is not what the user wanted.
std::vector<std::string> PrepareSources(const TAudioOptions& o, const std::string& workFolder) {
    std::vector<std::string> ready;
    bool failed = false;
    TAudioConversion conversion;
    conversion.WAVPath = workFolder;
    for (const auto& source : o.Files) {
        if (ReadWaveInfo(source).IsCdFormat()) {
            ready.push_back(source);
            continue;
        }
        TConvertResult r = conversion.ConvertFile(source);
        if (r.Status == TConvertStatus::Converted || r.Status == TConvertStatus::UsedAsIs) {
            std::cout << "decoded " << source << " -> " << r.Output << "\n";
            ready.push_back(r.Output);
        } else {
            std::cerr << "kelvadore-cli: cannot decode '" << source << "'" << (r.Error.empty() ? "" : ": " + r.Error)
                      << "\n";
            failed = true;
        }
    }
    if (failed) ready.clear();
    return ready;
}

std::string Msf(const TCueEntry& e) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", e[5], e[6], e[7]);
    return text;
}

void PrintCueSheet(const TCueSheetBuilder& b) {
    const char* method = b.WriteMethod() == TWriteMethod::wmTAO ? "track-at-once" : "session-at-once";
    std::printf("cue sheet: %zu entries, %zu bytes (%s%s)\n", b.CueSheet().size(), b.CueSheet().size() * 8, method,
                b.WriteMethod() == TWriteMethod::wmTAO ? ", not sent" : "");
    for (const auto& e : b.CueSheet()) {
        char what[32];
        if (e[1] == 0x00) std::snprintf(what, sizeof what, "lead-in");
        else if (e[1] == 0xAA) std::snprintf(what, sizeof what, "lead-out");
        else std::snprintf(what, sizeof what, "track %02u index %02u", e[1], e[2]);
        std::printf("  %02X %02X %02X %02X %02X %02X %02X %02X  %-18s  %s\n", e[0], e[1], e[2], e[3], e[4], e[5], e[6],
                    e[7], what, Msf(e).c_str());
    }
    std::printf("read queue: %zu entries\n", b.ReadQueue().size());
    int n = 0;
    for (const auto& q : b.ReadQueue()) {
        std::printf("  %3d  %-9s offset %-10lld length %-10lld type %u mode %u%s  %s\n", ++n,
                    q.FileName.empty() ? (q.Silence ? "pause" : "silence") : "file", static_cast<long long>(q.Offset),
                    static_cast<long long>(q.Length), q.TypeCode, q.TrackMode, q.EndOfTrack ? "  end of track" : "",
                    q.FileName.c_str());
    }
    std::printf("total bytes: %lld\n", static_cast<long long>(b.TotalBytes()));
}

int RunCueSheet(const std::vector<std::string>& args) {
    jobs::InstallCdTrackReader();
    TAudioOptions o;
    if (!ParseBurnAudioOptions(args, false, o)) return 2;
    TWorkFolder work(o.WorkFolder);
    if (!work.Usable()) {
        std::cerr << "kelvadore-cli: cannot create a folder for the decoded files"
                  << (o.WorkFolder.empty() ? "" : ": " + o.WorkFolder) << "\n";
        return 1;
    }
    auto wavs = PrepareSources(o, work.Path());
    if (wavs.empty()) {
        std::cerr << "kelvadore-cli: no cue sheet\n";
        return 1;
    }
    TCueSheetBuilder b;
    b.CDCatalog = o.Catalog;
    std::string error;
    if (!jobs::DescribeAudioDisc(b, wavs, DiscOptions(o), error)) {
        std::cerr << "kelvadore-cli: " << error << "\n";
        return 1;
    }
    if (!b.BuildCueSheet()) {
        std::cerr << "kelvadore-cli: " << b.BuildError() << "\n";
        return 1;
    }
    PrintCueSheet(b);
    return 0;
}

int RunBurnAudio(const std::vector<std::string>& args) {
    jobs::InstallCdTrackReader();
    TAudioOptions o;
    if (!ParseBurnAudioOptions(args, true, o)) return 2;
    TWorkFolder work(o.WorkFolder);
    if (!work.Usable()) {
        std::cerr << "kelvadore-cli: cannot create a folder for the decoded files"
                  << (o.WorkFolder.empty() ? "" : ": " + o.WorkFolder) << "\n";
        return 1;
    }
    TCueBurner burner;
    std::string whyNot;
    if (!jobs::SelectDrive(burner, Context().DriveId, &whyNot)) {
        std::cerr << "kelvadore-cli: " << whyNot << "\n";
        return 1;
    }
    burner.OnDebugMessage = [](TSCSIDevice*, const std::string& message, uint8_t mType) {
        (mType == kMessageProgress ? std::cout : std::cerr) << message << std::endl;
    };
    burner.CDTitle = o.Album.Title;
    burner.CDPerformer = o.Album.Performer;
    burner.CDSongWriter = o.Album.SongWriter;
    burner.CDCatalog = o.Catalog;
    jobs::TAudioBurnJob job(burner, o.Files, work.Path());
    job.Disc = DiscOptions(o);
    // Decoded files stay in a folder the user named; a temporary one goes with its contents.
    job.KeepDecoded = !o.WorkFolder.empty();
    TInterruptWatch interrupt([&job] { job.Cancel(); });
    if (!job.Start(&whyNot)) {
        std::cerr << "kelvadore-cli: " << whyNot << "\n";
        return 1;
    }
    job.Wait();
    const auto failures = job.Failures();
    if (!failures.empty()) {
        for (const auto& f : failures)
            std::cerr << "kelvadore-cli: cannot decode '" << f.Source << "'" << (f.Error.empty() ? "" : ": " + f.Error)
                      << "\n";
        std::cerr << "kelvadore-cli: nothing written\n";
        return 1;
    }
    const auto converted = job.ConvertedFiles();
    for (size_t i = 0; i < converted.size() && i < o.Files.size(); ++i)
        if (converted[i] != o.Files[i]) std::cout << "decoded " << o.Files[i] << " -> " << converted[i] << "\n";
    const jobs::TJobResult result = job.Result();
    if (!result.Ok) {
        std::cerr << "kelvadore-cli: " << result.Error << "\n";
        return interrupt.Interrupted() ? kInterruptedExitStatus : 1;
    }
    std::cout << "audio disc written: " << burner.TrackCount() << " track(s), " << burner.BytesWritten()
              << " bytes" << (o.TestWrite ? " (test write)" : "") << "\n";
    return 0;
}

TCliRegistration burnAudioCommand(
    {"burn-audio",
     "[--tao] [--pause MS] [--test] [--work DIR] [--no-cd-text] [--title T] [--performer P] [--songwriter S] "
     "[--catalog UPC] FILE...",
     "write an audio CD, one track per FILE (decoded first unless CD-format WAV), with CD-TEXT when session-at-once",
     RunBurnAudio});

TCliRegistration cueSheetCommand({"cuesheet", "[--tao] [--pause MS] [--work DIR] [--catalog UPC] FILE...",
                                  "print the cue sheet and read queue an audio burn of FILE... would use", RunCueSheet});

}  // namespace
}  // namespace kv::cli
