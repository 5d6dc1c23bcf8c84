// kelvadore-cli burn / burn-iso: writes files and folders, or an existing image, to a data disc.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "cli/ArgumentParser.h"
#include "cli/CliCommand.h"
#include "cli/InterruptWatch.h"
#include "jobs/DriveSelection.h"
#include "cli/TreeLoader.h"
#include "datawrite/TZelBurner.h"
#include "device/Media.h"
#include "iso/SessionImport.h"
#include "platform/EngineClock.h"

namespace kv::cli {
namespace {

struct TBurnOptions {
    std::string Speed;  // "8x" = a multiple of the medium's 1X, "5540" = KB/s; empty = the drive's maximum
    bool TestWrite = false;
    bool Close = false;
    bool ImportLast = false;
    std::string Volume = "CDROM";
    std::vector<std::string> Paths;
};

int Usage(const std::string& command, const std::string& problem) {
    std::cerr << "kelvadore-cli: " << command << ": " << problem << "\n";
    return 2;
}

bool ParseOptions(const std::vector<std::string>& args, bool compilation, TBurnOptions& o,
                  std::string& problem) {
    TArgumentParser parser;
    parser.Option({"--speed"}, o.Speed);
    parser.Switch({"--test"}, o.TestWrite);
    parser.Switch({"--close"}, o.Close);
    if (compilation) {
        parser.Option({"--volume"}, o.Volume);
        parser.Switch({"--import-last"}, o.ImportLast);
    }
    if (!parser.Parse(args, o.Paths, problem)) return false;
    if (o.Paths.empty())
        problem = compilation ? "no files or folders to write" : "no image file given";
    else if (!compilation && o.Paths.size() != 1)
        problem = "give exactly one image file";
    return problem.empty();
}

// KB/s for the SET CD SPEED of the write; 0 asks for the drive's maximum. -1 when unreadable.
int SpeedInKBs(const std::string& text, uint8_t medium) {
    if (text.empty() || text == "max") return 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || value <= 0) return -1;
    if (*end == 'x' || *end == 'X') {
        if (end[1] != 0) return -1;
        const double unit = IsCdMedium(medium) || medium == kMediumDvdPlusRDl ? 176.4 : 1385.0;
        return static_cast<int>(std::lround(std::min(value * unit, 65535.0)));
    }
    if (*end != 0 || value > 65535) return -1;
    return static_cast<int>(value);
}

void ShowProgress(const TZelBurner& burner, int64_t totalBytes) {
    const int64_t written = burner.BytesWritten();
    const int percent = totalBytes > 0 ? static_cast<int>(written * 100 / totalBytes) : 0;
    const uint32_t size = burner.DeviceBufferSize.load();
    const uint32_t free = burner.DeviceFreeBufferSize.load();
    const int buffer = size > 0 && free <= size ? static_cast<int>((size - free) * 100.0 / size) : 0;
    std::fprintf(stderr, "\r%3d%% written (%lld of %lld MB), drive buffer %3d%%, cache %3d%%", percent,
                 static_cast<long long>(written >> 20), static_cast<long long>(totalBytes >> 20), buffer,
                 burner.CacheFillPercent());
    std::fflush(stderr);
}

// Selects the drive, applies the options, runs `start` and follows the write to its end.
int RunWrite(const std::string& command, const TBurnOptions& o, TZelBurner& burner,
             const std::function<bool()>& start, const std::function<int64_t()>& totalBytes) {
    std::string whyNot;
    if (!SelectDrive(burner, Context().DriveId, &whyNot)) {
        std::cerr << "kelvadore-cli: " << command << ": " << whyNot << "\n";
        return 1;
    }
    const int speed = SpeedInKBs(o.Speed, burner.MediumType());
    if (speed < 0)
        return Usage(command, "--speed takes KB/s or a multiple such as 8x, got '" + o.Speed + "'");
    burner.SetWriteSpeed(static_cast<uint16_t>(speed));
    burner.TestWrite = o.TestWrite;
    burner.FinalizeDisc = o.Close;
    burner.OnDebugMessage = [](TSCSIDevice*, const std::string& message, uint8_t mType) {
        (mType == kMessageProgress ? std::cout : std::cerr) << message << std::endl;
    };
    std::mutex doneMutex;
    bool done = false;
    std::string error;
    burner.OnWriteDone = [&](TZelBurner*, const std::string& text) {
        std::lock_guard<std::mutex> guard(doneMutex);
        error = text;
        done = true;
    };
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    TInterruptWatch interrupt([&burner] { burner.Abort(); });
    const bool started = start();
    const int64_t total = totalBytes();
    while (started) {
        {
            std::lock_guard<std::mutex> guard(doneMutex);
            if (done) break;
        }
        if (terminal) ShowProgress(burner, total);
        EngineClock::SleepMs(250);
    }
    burner.WaitForWrite();
    if (terminal) std::fprintf(stderr, "\r%75s\r", "");
    std::lock_guard<std::mutex> guard(doneMutex);
    if (!error.empty() || !started) {
        std::cerr << "kelvadore-cli: " << command << ": "
                  << (error.empty() ? "the write did not start" : error) << "\n";
        return interrupt.Interrupted() ? kInterruptedExitStatus : 1;
    }
    std::cout << command << ": " << burner.BytesWritten() << " bytes written"
              << (o.TestWrite ? " (test write)" : "") << "\n";
    return 0;
}

int RunBurn(const std::vector<std::string>& args) {
    TBurnOptions o;
    std::string problem;
    if (!ParseOptions(args, true, o, problem)) return Usage("burn", problem);
    TZelBurner burner;
    burner.ClearAll(800000, 30000);
    burner.IdVolume = o.Volume;
    burner.IdApplication = "KELVADORE";
    // The previous session's files are taken over by reference, so the new session shows them
    // as well.
    if (o.ImportLast) burner.SessionToImport = kLastSession;
    TTreeLoader loader(burner, "", "burn");
    for (const std::string& p : o.Paths)
        if (!loader.AddPath(p)) return 1;
    return RunWrite(
        "burn", o, burner, [&] { return burner.BurnCD(); }, [&] { return burner.ImageSize() * 2048; });
}

int RunBurnIso(const std::vector<std::string>& args) {
    TBurnOptions o;
    std::string problem;
    if (!ParseOptions(args, false, o, problem)) return Usage("burn-iso", problem);
    TZelBurner burner;
    const std::string image = o.Paths.front();
    return RunWrite(
        "burn-iso", o, burner, [&] { return burner.BurnISOImage(image); },
        [&] { return burner.ImageSize() * 2048; });
}

const TCliRegistration kBurn(
    {"burn", "[--speed X] [--test] [--close] [--import-last] [--volume NAME] PATH...",
     "write files and folders (with their contents) to the disc as a new data session", RunBurn});
const TCliRegistration kBurnIso({"burn-iso", "[--speed X] [--test] [--close] IMAGE",
                                 "write an ISO image file to the disc from sector 0", RunBurnIso});

}  // namespace
}  // namespace kv::cli
