#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "audioconv/AudioConversion.h"
#include "jobs/CdTrackReaderInstall.h"
#include "cli/CliCommand.h"
#include "cli/InterruptWatch.h"

namespace kv::cli {
namespace {

// One progress line on a terminal, rewritten in place; nothing when the output is a pipe or file.
class TTerminalProgress : public TConversionObserver {
public:
    TTerminalProgress(size_t count, bool terminal) : count_(count), terminal_(terminal) {}

    void FileStarted(size_t index, const std::string& source) override {
        name_ = std::filesystem::path(source).filename().string();
        lastPercent_ = -1;
        Progress(index, 0);
    }
    void Progress(size_t index, int percent) override {
        if (!terminal_ || percent == lastPercent_) return;
        lastPercent_ = percent;
        std::fprintf(stderr, "\r\033[K[%zu/%zu] %s %3d%%", index + 1, count_, name_.c_str(), percent);
        std::fflush(stderr);
    }
    void FileFinished(size_t, const std::string& source, const std::string& result) override {
        ClearLine();
        std::cout << source << " -> " << result << std::endl;
    }
    void FileFailed(size_t, const std::string& source, const std::string& error) override {
        ClearLine();
        std::cerr << "kelvadore-cli: decode: " << source << ": " << error << std::endl;
    }

private:
    void ClearLine() {
        if (terminal_) std::fprintf(stderr, "\r\033[K");
    }
    size_t count_;
    bool terminal_;
    std::string name_;
    int lastPercent_ = -1;
};

int RunDecode(const std::vector<std::string>& args) {
    jobs::InstallCdTrackReader();
    std::string outDir;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" || args[i] == "--output") {
            if (i + 1 >= args.size()) {
                std::cerr << "kelvadore-cli: decode: " << args[i] << " needs a folder\n";
                return 2;
            }
            outDir = args[++i];
        } else {
            files.push_back(args[i]);
        }
    }
    if (outDir.empty() || files.empty()) {
        std::cerr << "usage: kelvadore-cli decode -o DIR FILE...\n";
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (!std::filesystem::is_directory(outDir, ec)) {
        std::cerr << "kelvadore-cli: decode: cannot create the folder " << outDir << "\n";
        return 1;
    }

    TAudioConversion conversion;
    conversion.WAVPath = outDir;
    conversion.AudioFiles = files;
    // Every source gets its own CD-format file here, even one that already is in CD format.
    conversion.UseCdFormatSourcesAsIs = false;
    TTerminalProgress progress(files.size(), isatty(STDERR_FILENO) != 0);
    conversion.Observer = &progress;

    bool allGood = false;
    {
        TInterruptWatch interrupt([&conversion] { conversion.ConversionAborted = true; });
        allGood = conversion.Run();
    }

    if (conversion.ConversionAborted) {
        std::cerr << "kelvadore-cli: decode: aborted\n";
        return kInterruptedExitStatus;
    }
    return allGood ? 0 : 1;
}

const TCliRegistration kDecode(
    {"decode", "-o DIR FILE...",
     "decode audio files into CD-format WAV files (PCM 44100 Hz, 16 bit, stereo) in DIR", RunDecode});

}  // namespace
}  // namespace kv::cli
