// kelvadore-cli copy-disc: copies the disc in the drive to a blank disc, in the same drive or in
// another (--to), through a temporary image.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ArgumentParser.h"
#include "cli/CliCommand.h"
#include "cli/JobFollower.h"
#include "datawrite/TZelBurner.h"
#include "device/SCSIDevice.h"
#include "jobs/CopyDiscJob.h"
#include "jobs/DriveSelection.h"
#include "virtualrecorder/VirtualRecorders.h"

namespace kv::cli {
namespace {

namespace fs = std::filesystem;

// Kelvadore's cache folder: $XDG_CACHE_HOME/kelvadore, else ~/.cache/kelvadore, else the
// system's temporary folder.
std::string DefaultTempFolder() {
    std::error_code ec;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache) return (fs::path(cache) / "kelvadore").string();
    if (const char* home = std::getenv("HOME"); home && *home) return (fs::path(home) / ".cache" / "kelvadore").string();
    return fs::temp_directory_path(ec).string();
}

std::string CopyProgressLine(const jobs::TJobProgress& p) {
    return std::to_string(p.Percent) + "% " + jobs::StageName(p.Stage) + " (" + std::to_string(p.BytesDone >> 20) +
           " of " + std::to_string(p.BytesTotal >> 20) + " MB)";
}

int RunCopyDisc(const std::vector<std::string>& args) {
    TArgumentParser parser;
    std::string to, temp, problem;
    jobs::TCopyDiscOptions options;
    bool noVerify = false, fill = false, test = false;
    std::vector<std::string> rest;
    parser.Option({"--to"}, to);
    parser.Option({"--temp"}, temp);
    parser.Switch({"--keep-image"}, options.KeepImage);
    parser.Switch({"--no-verify"}, noVerify);
    parser.Switch({"--fill-unreadable"}, fill);
    parser.Switch({"--test"}, test);
    if (!parser.Parse(args, rest, problem) || !rest.empty()) {
        std::cerr << "kelvadore-cli: copy-disc: " << (problem.empty() ? "unexpected argument " + rest.front() : problem)
                  << "\n";
        return 2;
    }
    options.Verify = !noVerify && !test;
    options.OnError = fill ? jobs::TReadErrorPolicy::FillWithZeros : jobs::TReadErrorPolicy::Stop;
    options.TempFolder = temp.empty() ? DefaultTempFolder() : temp;
    std::error_code ec;
    fs::create_directories(options.TempFolder, ec);
    if (!fs::is_directory(options.TempFolder, ec)) {
        std::cerr << "kelvadore-cli: copy-disc: cannot use the folder " << options.TempFolder << "\n";
        return 1;
    }
    // The drive table is built once per process: a medium file named by --to gets its recorder
    // before the first drive is selected.
    if (fs::is_regular_file(to, ec)) {
        vr::InstallVirtualRecorders();
        std::string error;
        if (vr::LoadMediumInRecorder(to, &error).empty()) {
            std::cerr << "kelvadore-cli: copy-disc: " << error << "\n";
            return 1;
        }
    }
    TSCSIDevice source;
    TZelBurner target;
    std::string whyNot;
    if (!jobs::SelectDrive(source, Context().DriveId, &whyNot) ||
        !jobs::SelectDrive(target, to.empty() ? source.Device() : to, &whyNot)) {
        std::cerr << "kelvadore-cli: copy-disc: " << whyNot << "\n";
        return 1;
    }
    target.TestWrite = test;
    jobs::TCopyDiscJob job(source, target, options);
    // The burners' lines come through the job, with its own.
    job.OnMessage = PrintJobMessage;
    // One drive: the user swaps the discs and answers here.
    job.OnQuestion = [](const jobs::TJobQuestion& q) {
        std::cerr << q.Text << " and press Enter (n to give up): " << std::flush;
        std::string answer;
        return static_cast<bool>(std::getline(std::cin, answer)) && answer != "n" && answer != "N";
    };
    const int status = FollowJob("copy-disc", job, CopyProgressLine);
    if (status == 0) std::cout << "copy-disc: the disc was copied" << (options.Verify ? " and verified" : "") << "\n";
    return status;
}

const TCliRegistration kCopyDisc(
    {"copy-disc", "[--to DRIVE] [--temp DIR] [--keep-image] [--no-verify] [--fill-unreadable] [--test]",
     "copy the disc through a temporary image (in DIR, by default Kelvadore's cache folder) to a blank disc in "
     "DRIVE, or in the same drive after swapping the discs; the copy is compared with the image",
     RunCopyDisc});

}  // namespace
}  // namespace kv::cli
