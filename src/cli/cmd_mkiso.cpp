// kelvadore-cli mkiso: builds an ISO 9660/Joliet image file from files and folders.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ArgumentParser.h"
#include "cli/CliCommand.h"
#include "cli/JobFollower.h"
#include "cli/UdfOption.h"
#include "jobs/DataWriteJobs.h"
#include "jobs/TreeLoader.h"
#include "datawrite/TZelBurner.h"

namespace kv::cli {
namespace {

namespace fs = std::filesystem;

struct TMkisoOptions {
    std::string Output;
    std::string Volume = "CDROM";
    std::string BootImage;
    bool Joliet = true;
    bool RockRidge = true;
    bool RootOwner = false;
    bool FollowLinks = false;
    bool Immediate = false;
    bool AcceptRefused = false;
    std::string Udf, UdfRevision;
    std::vector<std::string> Paths;
};

int MkisoUsage(const std::string& problem) {
    std::cerr << "kelvadore-cli: mkiso: " << problem << "\n"
              << "usage: kelvadore-cli mkiso -o OUT.iso [--volume NAME] [--no-joliet] [--no-rock-ridge] [--root-owner] "
                 "[--follow-links] [--boot IMAGE] [--immediate] [--accept-refused] "
              << kUdfUsage << " PATH...\n";
    return 2;
}

bool ParseMkisoOptions(const std::vector<std::string>& args, TMkisoOptions& o, std::string& problem) {
    TArgumentParser parser;
    parser.Option({"-o", "--output"}, o.Output);
    parser.Option({"--volume"}, o.Volume);
    parser.Option({"--boot"}, o.BootImage);
    parser.Switch({"--no-joliet"}, o.Joliet, false);
    parser.Switch({"--no-rock-ridge"}, o.RockRidge, false);
    parser.Switch({"--root-owner"}, o.RootOwner);
    parser.Switch({"--follow-links"}, o.FollowLinks);
    parser.Switch({"--immediate"}, o.Immediate);
    parser.Switch({"--accept-refused"}, o.AcceptRefused);
    parser.Option({"--udf"}, o.Udf);
    parser.Option({"--udf-revision"}, o.UdfRevision);
    if (!parser.Parse(args, o.Paths, problem)) return false;
    if (o.Output.empty()) problem = "no output file (-o)";
    else if (o.Paths.empty()) problem = "no files or folders to add";
    return problem.empty();
}

int RunMkiso(const std::vector<std::string>& args) {
    TMkisoOptions o;
    std::string problem;
    if (!ParseMkisoOptions(args, o, problem)) return MkisoUsage(problem);

    TZelBurner burner;
    burner.ClearAll(800000, 30000);
    burner.OnDebugMessage = [](TSCSIDevice*, const std::string& message, uint8_t) {
        std::cerr << "kelvadore-cli: mkiso: " << message << "\n";
    };
    burner.JolietFileSystem = o.Joliet;
    burner.RockRidge = o.RockRidge;
    burner.RockRidgeRootOwner = o.RootOwner;
    if (!ApplyUdfOptions(o.Udf, o.UdfRevision, burner, problem)) return MkisoUsage(problem);
    burner.IdVolume = o.Volume;
    burner.IdApplication = "KELVADORE";
    // An image file is as long as its data; padding to 300 sectors is for discs.
    burner.WritePostGap = false;
    if (!o.BootImage.empty()) {
        if (!fs::is_regular_file(o.BootImage)) return MkisoUsage("boot image not found: " + o.BootImage);
        burner.Bootable = true;
        burner.BootImage = o.BootImage;
    }
    jobs::TTreeLoader loader(burner, o.Output, o.RockRidge && !o.FollowLinks);
    bool found = true;
    for (const std::string& p : o.Paths) found = loader.AddPath(p) && found;
    for (const std::string& line : loader.Problems()) std::cerr << "kelvadore-cli: mkiso: " << line << "\n";
    if (!found) return 1;
    jobs::TIsoFileJob job(burner, o.Output);
    job.Immediate = o.Immediate;
    job.Refusals = loader.Refusals();
    job.AcceptRefusals = o.AcceptRefused;
    if (const int status = FollowJob("mkiso", job, WriteProgressLine); status != 0) return status;
    std::cout << o.Output << ": " << burner.Layout().ImageSize << " sectors, " << burner.DirCount() << " folders, "
              << (burner.FileCount() - burner.DirCount()) << " files" << (burner.Udf() ? ", UDF" : "");
    if (!o.Immediate)
        std::cout << "; read-ahead ran empty " << burner.CacheTimesEmpty() << " times, full "
                  << burner.CacheTimesFull() << " times";
    std::cout << "\n";
    return 0;
}

const TCliRegistration kMkiso(
    {"mkiso",
     "-o OUT.iso [--volume NAME] [--no-joliet] [--no-rock-ridge] [--root-owner] [--follow-links] [--boot IMAGE] "
     "[--immediate] [--accept-refused] [--udf auto|on|off] [--udf-revision 2.01|1.02] PATH...",
     "write folders (with their contents) and files into an ISO 9660 image file with Rock Ridge, Joliet and "
     "UDF (--root-owner: owner root, readable by all; --follow-links: the files links point to, not the links; "
     "--udf off: no UDF)",
     RunMkiso});

}  // namespace
}  // namespace kv::cli
