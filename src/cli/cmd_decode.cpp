#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "audioconv/AudioConversion.h"
#include "jobs/CdTrackReaderInstall.h"
#include "cli/CliCommand.h"
#include "cli/JobFollower.h"
#include "jobs/AudioJobs.h"

namespace kv::cli {
namespace {

std::string DecodeProgressLine(const jobs::TJobProgress& p) {
    return "[" + std::to_string(p.FilesDone + 1 > p.FilesTotal ? p.FilesTotal : p.FilesDone + 1) + "/" +
           std::to_string(p.FilesTotal) + "] " + std::filesystem::path(p.CurrentFile).filename().string() + " " +
           std::to_string(p.FilePercent) + "%";
}

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

    jobs::TDecodeJob job(files, outDir);
    // Every source gets its own CD-format file here, even one that already is in CD format.
    job.UseCdFormatSourcesAsIs = false;
    const int status = FollowJob("decode", job, DecodeProgressLine);
    // Converted files come in source order, without the sources that failed.
    const auto failures = job.Failures();
    const auto converted = job.ConvertedFiles();
    size_t next = 0;
    for (const std::string& source : files) {
        const auto failed = std::find_if(failures.begin(), failures.end(),
                                         [&](const TAudioConversion::TFailure& f) { return f.Source == source; });
        if (failed != failures.end())
            std::cerr << "kelvadore-cli: decode: " << source << ": " << failed->Error << "\n";
        else if (next < converted.size())
            std::cout << source << " -> " << converted[next++] << "\n";
    }
    return status;
}

const TCliRegistration kDecode(
    {"decode", "-o DIR FILE...",
     "decode audio files into CD-format WAV files (PCM 44100 Hz, 16 bit, stereo) in DIR", RunDecode});

}  // namespace
}  // namespace kv::cli
