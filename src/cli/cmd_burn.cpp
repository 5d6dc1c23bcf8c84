// kelvadore-cli burn / burn-iso: writes files and folders, or an existing image, to a data disc.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ArgumentParser.h"
#include "cli/CliCommand.h"
#include "cli/JobFollower.h"
#include "cli/UdfOption.h"
#include "jobs/DataWriteJobs.h"
#include "jobs/DriveSelection.h"
#include "jobs/TreeLoader.h"
#include "datawrite/TZelBurner.h"
#include "device/Media.h"
#include "iso/SessionImport.h"

namespace kv::cli {
namespace {

struct TBurnOptions {
    std::string Speed;  // "8x" = a multiple of the medium's 1X, "5540" = KB/s; empty = the drive's maximum
    bool TestWrite = false;
    bool Close = false;
    bool ImportLast = false;
    bool AcceptRefused = false;
    bool RockRidge = true;
    bool RootOwner = false;
    bool FollowLinks = false;
    std::string Volume = "CDROM";
    std::string Udf, UdfRevision;
    std::vector<std::string> Paths;
};

int BurnUsage(const std::string& command, const std::string& problem) {
    std::cerr << "kelvadore-cli: " << command << ": " << problem << "\n";
    return 2;
}

bool ParseBurnOptions(const std::vector<std::string>& args, bool compilation, TBurnOptions& o,
                  std::string& problem) {
    TArgumentParser parser;
    parser.Option({"--speed"}, o.Speed);
    parser.Switch({"--test"}, o.TestWrite);
    parser.Switch({"--close"}, o.Close);
    if (compilation) {
        parser.Option({"--volume"}, o.Volume);
        parser.Switch({"--import-last"}, o.ImportLast);
        parser.Switch({"--accept-refused"}, o.AcceptRefused);
        parser.Switch({"--no-rock-ridge"}, o.RockRidge, false);
        parser.Switch({"--root-owner"}, o.RootOwner);
        parser.Switch({"--follow-links"}, o.FollowLinks);
        parser.Option({"--udf"}, o.Udf);
        parser.Option({"--udf-revision"}, o.UdfRevision);
    }
    if (!parser.Parse(args, o.Paths, problem)) return false;
    if (o.Paths.empty())
        problem = compilation ? "no files or folders to write" : "no image file given";
    else if (!compilation && o.Paths.size() != 1)
        problem = "give exactly one image file";
    return problem.empty();
}

// KB/s of the write; 0 asks for the drive's maximum. -1 when unreadable. CD and DVD speeds stop at
// the 65,535 KB/s SET CD SPEED can carry; BD speeds go beyond it (16X is 71,920 KB/s).
int64_t SpeedInKBs(const std::string& text, uint8_t medium) {
    if (text.empty() || text == "max") return 0;
    const double limit = IsBluRayMedium(medium) ? 4000000.0 : 65535.0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || value <= 0) return -1;
    if (*end == 'x' || *end == 'X') {
        if (end[1] != 0) return -1;
        const double unit = medium == kMediumDvdPlusRDl ? 176.4 : NominalSpeedOneX(medium);
        return std::lround(std::min(value * unit, limit));
    }
    if (*end != 0 || value > limit) return -1;
    return static_cast<int64_t>(value);
}

// Selects the drive, applies the options and runs the job to its end.
int RunWrite(const std::string& command, const TBurnOptions& o, TZelBurner& burner, jobs::TDataWriteJob& job) {
    std::string whyNot;
    if (!jobs::SelectDrive(burner, Context().DriveId, &whyNot)) {
        std::cerr << "kelvadore-cli: " << command << ": " << whyNot << "\n";
        return 1;
    }
    const int64_t speed = SpeedInKBs(o.Speed, burner.MediumType());
    if (speed < 0)
        return BurnUsage(command, "--speed takes KB/s or a multiple such as 8x, got '" + o.Speed + "'");
    burner.SetWriteSpeed(static_cast<uint32_t>(speed));
    burner.TestWrite = o.TestWrite;
    burner.FinalizeDisc = o.Close;
    burner.OnDebugMessage = [](TSCSIDevice*, const std::string& message, uint8_t mType) {
        (mType == kMessageProgress ? std::cout : std::cerr) << message << std::endl;
    };
    // The components' own lines are printed above; the job adds lines of its own (they carry a
    // catalogue key), such as the note that a cue sheet's CD-TEXT is not written.
    job.OnMessage = [](const jobs::TJobMessage& m) {
        if (!m.CatalogueKey.empty()) std::cout << m.Text << std::endl;
    };
    if (const int status = FollowJob(command, job, WriteProgressLine); status != 0) return status;
    // A cue sheet image is written by an audio burner of the job's own: its count is the job's.
    std::cout << command << ": " << std::max(burner.BytesWritten(), job.Progress().BytesDone) << " bytes written"
              << (o.TestWrite ? " (test write)" : "") << "\n";
    return 0;
}

int RunBurn(const std::vector<std::string>& args) {
    TBurnOptions o;
    std::string problem;
    if (!ParseBurnOptions(args, true, o, problem)) return BurnUsage("burn", problem);
    TZelBurner burner;
    burner.ClearAll(800000, 30000);
    burner.IdVolume = o.Volume;
    burner.IdApplication = "KELVADORE";
    burner.RockRidge = o.RockRidge;
    burner.RockRidgeRootOwner = o.RootOwner;
    if (!ApplyUdfOptions(o.Udf, o.UdfRevision, burner, problem)) return BurnUsage("burn", problem);
    // The previous session's files are taken over by reference, so the new session shows them
    // as well.
    if (o.ImportLast) burner.SessionToImport = kLastSession;
    jobs::TTreeLoader loader(burner, "", o.RockRidge && !o.FollowLinks);
    bool found = true;
    for (const std::string& p : o.Paths) found = loader.AddPath(p) && found;
    for (const std::string& line : loader.Problems()) std::cerr << "kelvadore-cli: burn: " << line << "\n";
    if (!found) return 1;
    jobs::TDataBurnJob job(burner);
    // The drive's own capacity check answers for the command line (there is nobody to ask).
    job.CheckCapacity = false;
    job.Refusals = loader.Refusals();
    job.AcceptRefusals = o.AcceptRefused;
    return RunWrite("burn", o, burner, job);
}

int RunBurnIso(const std::vector<std::string>& args) {
    TBurnOptions o;
    std::string problem;
    if (!ParseBurnOptions(args, false, o, problem)) return BurnUsage("burn-iso", problem);
    TZelBurner burner;
    jobs::TImageBurnJob job(burner, o.Paths.front());
    return RunWrite("burn-iso", o, burner, job);
}

const TCliRegistration kBurn(
    {"burn",
     "[--speed X] [--test] [--close] [--import-last] [--accept-refused] [--volume NAME] [--no-rock-ridge] "
     "[--root-owner] [--follow-links] [--udf auto|on|off] [--udf-revision 2.01|1.02] PATH...",
     "write files and folders (with their contents) to the disc as a new data session (--udf auto: UDF beside "
     "ISO 9660 on DVD and BD media, not on CD media)",
     RunBurn});
const TCliRegistration kBurnIso({"burn-iso", "[--speed X] [--test] [--close] IMAGE",
                                 "write an ISO image file to the disc from sector 0, or the disc a cue sheet "
                                 "(IMAGE.cue with its BIN or WAVE files) describes, session-at-once",
                                 RunBurnIso});

}  // namespace
}  // namespace kv::cli
