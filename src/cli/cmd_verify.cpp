// kelvadore-cli verify: reads the disc's session back and compares it with the files it was
// burned from, given as to `burn`.
#include <iostream>
#include <string>
#include <vector>

#include "cli/ArgumentParser.h"
#include "cli/CliCommand.h"
#include "cli/JobFollower.h"
#include "cli/SessionOption.h"
#include "datawrite/TZelBurner.h"
#include "jobs/DriveSelection.h"
#include "jobs/TreeLoader.h"
#include "jobs/VerifyJob.h"

namespace kv::cli {
namespace {

std::string VerifyProgressLine(const jobs::TJobProgress& p) {
    return std::to_string(p.Percent) + "% verified (" + std::to_string(p.FilesDone) + " of " +
           std::to_string(p.FilesTotal) + " files) " + p.CurrentFile.substr(0, 40);
}

int RunVerify(const std::vector<std::string>& args) {
    TArgumentParser parser;
    std::string sessionText, problem;
    std::vector<std::string> paths;
    parser.Option({"--session"}, sessionText);
    bool followLinks = false;
    parser.Switch({"--follow-links"}, followLinks);
    uint8_t session = kLastSession;
    if (!parser.Parse(args, paths, problem) || paths.empty() || !ParseSessionNumber(sessionText, session)) {
        std::cerr << "kelvadore-cli: verify: "
                  << (!problem.empty() ? problem : paths.empty() ? "no files or folders to compare" : "bad session number " + sessionText)
                  << "\n";
        return 2;
    }
    TZelBurner burner;
    burner.ClearAll(800000, 30000);
    // The same compilation the burn made: links kept as links unless the burn followed them.
    jobs::TTreeLoader loader(burner, "", !followLinks);
    bool found = true;
    for (const std::string& p : paths) found = loader.AddPath(p) && found;
    for (const std::string& line : loader.Problems()) std::cerr << "kelvadore-cli: verify: " << line << "\n";
    if (!found) return 1;
    std::string whyNot;
    if (!jobs::SelectDrive(burner, Context().DriveId, &whyNot)) {
        std::cerr << "kelvadore-cli: verify: " << whyNot << "\n";
        return 1;
    }
    jobs::TVerifyJob job(burner, burner, session);
    const int status = FollowJob("verify", job, VerifyProgressLine);
    const std::vector<jobs::TVerifyFile> files = job.Files();
    int equal = 0;
    for (const jobs::TVerifyFile& f : files) {
        if (f.Status == jobs::TVerifyStatus::Equal) {
            ++equal;
            continue;
        }
        std::cout << jobs::VerifyStatusName(f.Status) << ": " << f.DiscPath
                  << (f.SourcePath.empty() ? "" : " (" + f.SourcePath + ")") << (f.Detail.empty() ? "" : ": " + f.Detail)
                  << "\n";
    }
    const jobs::TJobProgress p = job.Progress();
    std::cout << "verify: " << files.size() << " files and " << p.FoldersDone << " folders compared, " << equal
              << " equal\n";
    return status;
}

const TCliRegistration kVerify({"verify", "[--session N] [--follow-links] PATH...",
                                "compare the disc's last (or given) session with the files and folders it was "
                                "burned from",
                                RunVerify});

}  // namespace
}  // namespace kv::cli
