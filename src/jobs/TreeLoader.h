#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "datawrite/TZelBurner.h"
#include "iso/IsoLevel1Names.h"

namespace kv::jobs {

// Hands host files and folders to the burner's compilation with strict level-1 short names (the
// burn, the ISO file and the verification build the same compilation from the same paths).
// Everything the model does not take is collected: nothing leaves the disc unannounced.
class TTreeLoader {
public:
    // `output` is a file that is never added (the image being written), or empty. Symbolic links
    // inside the tree are kept as links when `keepLinks` is set (Rock Ridge records them);
    // otherwise a link to a file is written as that file and a link to a folder is left out.
    TTreeLoader(TZelBurner& burner, std::string output, bool keepLinks = false)
        : burner_(burner), output_(std::move(output)), keepLinks_(keepLinks) {}

    // False when `path` does not exist (Problems() says so); its contents are loaded otherwise.
    bool AddPath(const std::string& path);

    // One entry of a tree whose names the caller chose (the window's compilation): a folder from
    // `path` (its dates; empty for a folder made in the tree) or a file from `path`, under `name`.
    // The folder's entry, or null when the model refused it (noted like any refusal).
    TDEntry* AddNamedFolder(TDEntry* parent, const std::string& name, const std::string& path);
    void AddNamedFile(TDEntry* dir, const std::string& name, const std::string& path);

    // Entries the model refused, each naming the entry: a burn refuses to start while any remain.
    const std::vector<std::string>& Refusals() const { return refusals_; }
    // Everything worth telling the user, refusals included, in the order met.
    const std::vector<std::string>& Problems() const { return problems_; }

private:
    static constexpr int kMaxFolderDepth = 64;

    static std::string SourceName(const std::string& path);
    TDEntry* AddFolder(TDEntry* parent, const std::string& path, const std::string& hostName);
    void AddOneFile(TDEntry* dir, const std::string& path, const std::string& hostName);
    void AddLink(TDEntry* dir, const std::string& path, const std::string& hostName);
    void AddFolderContents(TDEntry* dir, const std::string& path, int depth);
    void NoteRefusal(const std::string& path);
    void Problem(const std::string& text) { problems_.push_back(text); }

    TZelBurner& burner_;
    std::string output_;
    bool keepLinks_;
    TIsoLevel1Namer namer_;
    std::vector<std::string> refusals_;
    std::vector<std::string> problems_;
};

}  // namespace kv::jobs
