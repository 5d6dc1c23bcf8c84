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

#include "cli/CliCommand.h"
#include "datawrite/TZelBurner.h"
#include "iso/HostFileInfo.h"
#include "iso/IsoLevel1Names.h"
#include "platform/EngineClock.h"

namespace kv::cli {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxFolderDepth = 64;

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
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                problem = a + " needs an argument";
                return false;
            }
            into = args[++i];
            return true;
        };
        if (a == "-o" || a == "--output") {
            if (!value(o.Output)) return false;
        } else if (a == "--volume") {
            if (!value(o.Volume)) return false;
        } else if (a == "--boot") {
            if (!value(o.BootImage)) return false;
        } else if (a == "--no-joliet") {
            o.Joliet = false;
        } else if (a == "--immediate") {
            o.Immediate = true;
        } else if (a == "--") {
            o.Paths.insert(o.Paths.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (a.size() > 1 && a[0] == '-') {
            problem = "unknown option " + a;
            return false;
        } else {
            o.Paths.push_back(a);
        }
    }
    if (o.Output.empty()) problem = "no output file (-o)";
    else if (o.Paths.empty()) problem = "no files or folders to add";
    return problem.empty();
}

// Hands a host tree to the burner with strict level-1 short names.
class TTreeLoader {
public:
    TTreeLoader(TZelBurner& burner, const std::string& output) : burner_(burner), output_(output) {}

    bool AddPath(const std::string& path) {
        std::error_code ec;
        fs::file_status st = fs::status(path, ec);
        if (ec || !fs::exists(st)) {
            std::cerr << "kelvadore-cli: mkiso: not found: " << path << "\n";
            return false;
        }
        std::string name = fs::path(path).lexically_normal().filename().string();
        if (name.empty()) name = fs::path(path).lexically_normal().parent_path().filename().string();
        if (fs::is_directory(st)) {
            TDEntry* dir = AddFolder(burner_.Root(), path, name);
            if (dir) AddFolderContents(dir, path, 1);
            return dir != nullptr;
        }
        AddOneFile(burner_.Root(), path, name);
        return true;
    }

private:
    // A backslash separates the model's path components, so it cannot stay inside a name.
    static std::string ModelName(std::string name) {
        std::replace(name.begin(), name.end(), '\\', '_');
        return name;
    }

    TDEntry* AddFolder(TDEntry* parent, const std::string& path, const std::string& hostName) {
        std::optional<TFileDescription> d = DescribeHostFile(path);
        if (!d) return nullptr;
        d->Name = ModelName(hostName);
        d->ShortName = namer_.Allocate(parent->FullPath, d->Name, true);
        d->Attributes |= kAttrDirectory;
        return burner_.AddDirEntry(parent, *d);
    }

    void AddOneFile(TDEntry* dir, const std::string& path, const std::string& hostName) {
        std::error_code ec;
        if (!output_.empty() && fs::equivalent(path, output_, ec)) return;  // never the image itself
        std::string name = ModelName(hostName);
        std::string shortName = namer_.Allocate(dir->FullPath, name, false);
        if (burner_.AddFile(dir->FullPath, path, shortName, name) < 0)
            std::cerr << "kelvadore-cli: mkiso: not found: " << path << "\n";
    }

    void AddFolderContents(TDEntry* dir, const std::string& path, int depth) {
        if (depth > kMaxFolderDepth) {
            std::cerr << "kelvadore-cli: mkiso: folders nested too deeply, skipped: " << path << "\n";
            return;
        }
        std::vector<fs::directory_entry> entries;
        std::error_code ec;
        for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
        if (ec) std::cerr << "kelvadore-cli: mkiso: cannot list " << path << ": " << ec.message() << "\n";
        std::sort(entries.begin(), entries.end(),
                  [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
        for (const fs::directory_entry& e : entries) {
            std::string child = e.path().string();
            std::string name = e.path().filename().string();
            std::error_code sec;
            // Linked folders are not followed: a link back up the tree would never end.
            if (e.is_directory(sec) && !e.is_symlink(sec)) {
                if (TDEntry* sub = AddFolder(dir, child, name)) AddFolderContents(sub, child, depth + 1);
            } else if (e.is_regular_file(sec)) {
                AddOneFile(dir, child, name);
            }
        }
    }

    TZelBurner& burner_;
    std::string output_;
    TIsoLevel1Namer namer_;
};

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
    TTreeLoader loader(burner, o.Output);
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
