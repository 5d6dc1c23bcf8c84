// kelvadore-cli read-image: saves the disc in the drive as an ISO image, as BIN/CUE or as WAV
// files with a cue sheet.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ArgumentParser.h"
#include "cli/CliCommand.h"
#include "cli/JobFollower.h"
#include "device/SCSIDevice.h"
#include "jobs/DriveSelection.h"
#include "jobs/ReadImageJob.h"

namespace kv::cli {
namespace {

std::string ReadProgressLine(const jobs::TJobProgress& p) {
    char line[160];
    std::snprintf(line, sizeof line, "%3d%% read (%lld of %lld MB), sector %lld, %d kB/s, %d unreadable", p.Percent,
                  static_cast<long long>(p.BytesDone >> 20), static_cast<long long>(p.BytesTotal >> 20),
                  static_cast<long long>(p.Sector), p.ReadSpeedKBs, p.ReadErrors);
    return line;
}

bool ParseFormat(const std::string& text, jobs::TImageFormat& format) {
    if (text.empty() || text == "auto") format = jobs::TImageFormat::Auto;
    else if (text == "iso") format = jobs::TImageFormat::Iso;
    else if (text == "bin") format = jobs::TImageFormat::BinCue;
    else if (text == "wav") format = jobs::TImageFormat::WavCue;
    else return false;
    return true;
}

bool ParseCount(const std::string& text, int low, int high, int& value) {
    if (text.empty()) return true;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != 0 || v < low || v > high) return false;
    value = static_cast<int>(v);
    return true;
}

int RunReadImage(const std::vector<std::string>& args) {
    TArgumentParser parser;
    std::string formatText, sessionText, retriesText, problem;
    bool fill = false;
    std::vector<std::string> paths;
    parser.Option({"--format"}, formatText);
    parser.Option({"--session"}, sessionText);
    parser.Option({"--retries"}, retriesText);
    parser.Switch({"--fill-unreadable"}, fill);
    jobs::TReadImageOptions options;
    int session = 0;
    if (!parser.Parse(args, paths, problem) || paths.size() != 1 || !ParseFormat(formatText, options.Format) ||
        !ParseCount(sessionText, 1, 99, session) || !ParseCount(retriesText, 0, 100, options.Retries)) {
        std::cerr << "kelvadore-cli: read-image: "
                  << (!problem.empty() ? problem
                      : paths.size() != 1 ? std::string("give exactly one output file")
                                          : "bad --format, --session or --retries value")
                  << "\n";
        return 2;
    }
    options.Session = static_cast<uint16_t>(session);
    options.OnError = fill ? jobs::TReadErrorPolicy::FillWithZeros : jobs::TReadErrorPolicy::Stop;
    TSCSIDevice device;
    std::string whyNot;
    if (!jobs::SelectDrive(device, Context().DriveId, &whyNot)) {
        std::cerr << "kelvadore-cli: read-image: " << whyNot << "\n";
        return 1;
    }
    jobs::TReadImageJob job(device, paths.front(), options);
    job.OnMessage = PrintJobMessage;
    const int status = FollowJob("read-image", job, ReadProgressLine);
    if (status != 0) return status;
    std::cout << "read-image: " << jobs::ImageFormatName(job.FormatWritten()) << " written:";
    for (const std::string& f : job.FilesWritten()) std::cout << " " << f;
    std::cout << "\n";
    return 0;
}

const TCliRegistration kReadImage(
    {"read-image", "[--format auto|iso|bin|wav] [--session N] [--fill-unreadable] [--retries N] OUTPUT",
     "save the disc as an image: a data session as ISO, an audio or mixed CD as BIN/CUE (or WAV files and a "
     "cue sheet); unreadable sectors stop it unless --fill-unreadable writes zeros and lists them",
     RunReadImage});

}  // namespace
}  // namespace kv::cli
