#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ArgumentParser.h"
#include "cli/CliCommand.h"
#include "cli/SessionOption.h"
#include "jobs/DriveSelection.h"
#include "jobs/SessionJobs.h"
#include "datawrite/TZelBurner.h"
#include "iso/FileExtract.h"
#include "iso/SessionImport.h"

namespace kv::cli {
namespace {

struct TImportArgs {
    uint8_t Session = kLastSession;
    std::vector<std::string> Rest;
};

bool ParseImportArgs(const std::vector<std::string>& args, TImportArgs& out, const char* command) {
    TArgumentParser parser;
    std::string session, problem;
    parser.Option({"--session"}, session);
    if (!parser.Parse(args, out.Rest, problem)) {
        std::cerr << "kelvadore-cli " << command << ": " << problem << "\n";
        return false;
    }
    if (ParseSessionNumber(session, out.Session)) return true;
    std::cerr << "kelvadore-cli " << command << ": bad session number " << session << "\n";
    return false;
}

// Selects the drive and reads the session; engine messages go to stderr.
bool Import(TZelBurner& burner, uint8_t session, const char* command) {
    std::string whyNot;
    if (!jobs::SelectDrive(burner, Context().DriveId, &whyNot)) {
        std::cerr << "kelvadore-cli: " << whyNot << "\n";
        return false;
    }
    // Problems are held back so that the one that ends the import is told once, last.
    std::vector<std::string> problems;
    burner.OnDebugMessage = [&problems](TSCSIDevice*, const std::string& text, uint8_t type) {
        if (type == kMessageProgress)
            std::cerr << text << "\n";
        else
            problems.push_back(text);
    };
    jobs::TImportJob job(burner, session);
    const bool imported = job.Start() && (job.Wait(), job.Result().Ok);
    if (!imported && problems.empty()) problems.push_back("no session to import on this disc");
    for (size_t i = 0; i < problems.size(); ++i)
        std::cerr << (imported || i + 1 < problems.size() ? "" : "kelvadore-cli " + std::string(command) + ": ")
                  << problems[i] << "\n";
    return imported;
}

// "drwxr-xr-x" as ls shows a mode; empty when the disc recorded none.
std::string ModeText(const TFEntry& e) {
    if (!e.Posix.Known) return {};
    const uint32_t m = e.Posix.Mode;
    std::string text = (m & kModeTypeMask) == kModeDirectory ? "d" : (m & kModeTypeMask) == kModeSymlink ? "l" : "-";
    const char* letters = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i) text += (m & (0400u >> i)) ? letters[i] : '-';
    return "  " + text;
}

// The names exactly as recorded (Rock Ridge names where the disc has them), with modes and links.
void List(const TDEntry* dir, const std::string& indent) {
    for (const TFEntry* e = dir->FirstEntry; e; e = e->Next) {
        if (e->IsDirectory()) {
            std::cout << indent << e->PosixName << "/" << ModeText(*e) << "\n";
            List(e->Dir, indent + "  ");
        } else if (e->IsSymlink()) {
            std::cout << indent << e->PosixName << " -> " << e->LinkTarget << ModeText(*e) << "\n";
        } else {
            std::cout << indent << e->PosixName << "  " << e->Size << " bytes at " << e->Extent << ModeText(*e)
                      << "\n";
        }
    }
}

int RunImport(const std::vector<std::string>& args) {
    TImportArgs a;
    if (!ParseImportArgs(args, a, "import")) return 2;
    if (!a.Rest.empty()) {
        std::cerr << "kelvadore-cli import: unexpected argument " << a.Rest.front() << "\n";
        return 2;
    }
    TZelBurner burner;
    if (!Import(burner, a.Session, "import")) return 1;
    List(burner.Root(), "");
    std::cout << burner.FileCount() << " entries, " << burner.DirCount() << " folders\n";
    return 0;
}

// "Docs/big.bin" in the imported tree, names compared exactly (a backslash is part of a name).
const TFEntry* FindOnDisc(const TBurnerCompilation& model, const std::string& discPath) {
    const TDEntry* dir = model.Root();
    const TFEntry* found = nullptr;
    std::string part;
    for (size_t i = 0; i <= discPath.size(); ++i) {
        if (i < discPath.size() && discPath[i] != '/') {
            part += discPath[i];
            continue;
        }
        if (part.empty()) continue;
        if (!dir) return nullptr;
        found = model.FindEntry(dir, part);
        if (!found) return nullptr;
        dir = found->Dir;
        part.clear();
    }
    return found;
}

int RunExtract(const std::vector<std::string>& args) {
    TImportArgs a;
    if (!ParseImportArgs(args, a, "extract")) return 2;
    if (a.Rest.size() != 2) {
        std::cerr << "usage: kelvadore-cli extract [--session N] DISC-PATH DEST\n";
        return 2;
    }
    TZelBurner burner;
    if (!Import(burner, a.Session, "extract")) return 1;
    const TFEntry* entry = FindOnDisc(burner, a.Rest[0]);
    if (!entry || entry->IsDirectory()) {
        std::cerr << "kelvadore-cli extract: no file " << a.Rest[0] << " in the session\n";
        return 1;
    }
    std::error_code ec;
    // Into a folder the file keeps its (made safe) name and stays inside that folder.
    const std::string dest =
        std::filesystem::is_directory(a.Rest[1], ec) ? ExtractTarget(a.Rest[1], *entry) : a.Rest[1];
    jobs::TExtractJob job(burner, {{entry, dest}});
    if (!job.Start() || (job.Wait(), !job.Result().Ok)) {
        std::cerr << "kelvadore-cli extract: " << entry->LongName << " could not be extracted\n";
        return 1;
    }
    std::cout << dest << "\n";
    return 0;
}

const TCliRegistration kImport({"import", "[--session N]", "lists the file tree of a recorded session (default: last)",
                                RunImport});
const TCliRegistration kExtract({"extract", "[--session N] DISC-PATH DEST",
                                 "copies one file of a recorded session to DEST (a file or a folder)", RunExtract});

}  // namespace
}  // namespace kv::cli
