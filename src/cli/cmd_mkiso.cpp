// kelvadore-cli mkiso: builds an ISO 9660/Joliet image file from files and folders.
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "cli/ArgumentParser.h"
#include "cli/CliCommand.h"
#include "cli/TreeLoader.h"
#include "datawrite/TZelBurner.h"
#include "iso/HostFileInfo.h"
#include "iso/IsoLevel1Names.h"
#include "platform/EngineClock.h"

namespace kv::cli {
namespace {

namespace fs = std::filesystem;

struct TMkisoOptions {
    std::string Output;
    std::string Volume = "CDROM";
    std::string BootImage;
    bool Joliet = true;
    bool Immediate = false;
    std::vector<std::string> Paths;
};

int Usage(const std::string& problem) {
    std::cerr << "kelvadore-cli: mkiso: " << problem << "\n"
              << "usage: kelvadore-cli mkiso -o OUT.iso [--volume NAME] [--no-joliet] [--boot IMAGE] [--immediate] "
                 "PATH...\n";
    return 2;
}

bool ParseOptions(const std::vector<std::string>& args, TMkisoOptions& o, std::string& problem) {
    TArgumentParser parser;
    parser.Option({"-o", "--output"}, o.Output);
    parser.Option({"--volume"}, o.Volume);
    parser.Option({"--boot"}, o.BootImage);
    parser.Switch({"--no-joliet"}, o.Joliet, false);
    parser.Switch({"--immediate"}, o.Immediate);
    if (!parser.Parse(args, o.Paths, problem)) return false;
    if (o.Output.empty()) problem = "no output file (-o)";
    else if (o.Paths.empty()) problem = "no files or folders to add";
    return problem.empty();
}

void ShowProgress(const TZelBurner& burner) {
    int64_t total = burner.ImageSize() * 2048;
    int percent = total > 0 ? static_cast<int>(burner.BytesWritten() * 100 / total) : 0;
    std::fprintf(stderr, "\r%3d%% written (%lld of %lld MB), cache %3d%%", percent,
                 static_cast<long long>(burner.BytesWritten() >> 20), static_cast<long long>(total >> 20),
                 burner.CacheFillPercent());
    std::fflush(stderr);
}

int RunMkiso(const std::vector<std::string>& args) {
    TMkisoOptions o;
    std::string problem;
    if (!ParseOptions(args, o, problem)) return Usage(problem);

    TZelBurner burner;
    burner.ClearAll(800000, 30000);
    burner.OnDebugMessage = [](TSCSIDevice*, const std::string& message, uint8_t) {
        std::cerr << "kelvadore-cli: mkiso: " << message << "\n";
    };
    burner.JolietFileSystem = o.Joliet;
    burner.IdVolume = o.Volume;
    burner.IdApplication = "KELVADORE";
    // An image file is as long as its data; padding to 300 sectors is for discs.
    burner.WritePostGap = false;
    if (!o.BootImage.empty()) {
        if (!fs::is_regular_file(o.BootImage)) return Usage("boot image not found: " + o.BootImage);
        burner.Bootable = true;
        burner.BootImage = o.BootImage;
    }
    TTreeLoader loader(burner, o.Output, "mkiso");
    for (const std::string& p : o.Paths)
        if (!loader.AddPath(p)) return 1;

    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    std::string error;
    burner.OnWriteDone = [&](TZelBurner*, const std::string& text) {
        std::lock_guard<std::mutex> guard(doneMutex);
        error = text;
        done = true;
        doneSignal.notify_all();
    };
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    burner.CreateISOFile(o.Output, o.Immediate);
    {
        std::unique_lock<std::mutex> lock(doneMutex);
        while (!done) {
            doneSignal.wait_for(lock, std::chrono::milliseconds(250));
            if (terminal && !done) {
                lock.unlock();
                ShowProgress(burner);
                lock.lock();
            }
        }
    }
    burner.WaitForWrite();
    if (terminal) std::fprintf(stderr, "\r%60s\r", "");
    if (!error.empty()) {
        std::cerr << "kelvadore-cli: mkiso: " << error << "\n";
        return 1;
    }
    std::cout << o.Output << ": " << burner.Layout().ImageSize << " sectors, " << burner.DirCount() << " folders, "
              << (burner.FileCount() - burner.DirCount()) << " files";
    if (!o.Immediate)
        std::cout << "; read-ahead ran empty " << burner.CacheTimesEmpty() << " times, full "
                  << burner.CacheTimesFull() << " times";
    std::cout << "\n";
    return 0;
}

const TCliRegistration kMkiso({"mkiso", "-o OUT.iso [--volume NAME] [--no-joliet] [--boot IMAGE] [--immediate] PATH...",
                               "write folders (with their contents) and files into an ISO 9660/Joliet image file",
                               RunMkiso});

}  // namespace
}  // namespace kv::cli
