#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "datawrite/TZelBurner.h"
#include "iso/IsoLevel1Names.h"

namespace kv::jobs {

// Hands host files and folders to the burner's compilation with strict level-1 short names (the
// burn, the ISO file and the verification build the same compilation from the same paths). Names
// go to the model byte for byte. Every source is examined as it is handed over: a file that cannot
// be opened for reading, a folder that cannot be listed and every entry left out are refusals,
// each naming the entry and the system's reason, so that a burn stops before it writes anything.
class TTreeLoader {
public:
    // `output` is a file that is never added (the image being written), or empty. Symbolic links
    // inside the tree are kept as links when `keepLinks` is set (Rock Ridge records them);
    // otherwise what a link points to is written in its place, a folder link followed unless it
    // leads back up the walked path.
    TTreeLoader(TZelBurner& burner, const std::string& output, bool keepLinks = false);

    // False when `path` does not exist (Problems() says so); its contents are loaded otherwise.
    bool AddPath(const std::string& path);

    // One entry of a tree whose names the caller chose (the window's compilation): a folder from
    // `path` (its dates; empty for a folder made in the tree) or a file from `path`, under `name`.
    // The folder's entry, or null when the model refused it or it cannot be listed (noted like any
    // refusal).
    TDEntry* AddNamedFolder(TDEntry* parent, const std::string& name, const std::string& path);
    void AddNamedFile(TDEntry* dir, const std::string& name, const std::string& path);

    // Entries the model refused or that cannot be written, each naming the entry: a burn refuses
    // to start while any remain.
    const std::vector<std::string>& Refusals() const { return refusals_; }
    // Everything worth telling the user, refusals included, in the order met.
    const std::vector<std::string>& Problems() const { return problems_; }

private:
    static constexpr int kMaxFolderDepth = 64;
    using TFileId = std::pair<uint64_t, uint64_t>;  // device, inode

    static std::string SourceName(const std::string& path);
    TDEntry* AddFolder(TDEntry* parent, const std::string& path, const std::string& hostName);
    // `described` is the file as the caller has just described it, or null; `folder` the open
    // folder that holds it under `hostName`, or -1 when only its path reaches it.
    void AddOneFile(TDEntry* dir, const std::string& path, const std::string& hostName,
                    const TFileDescription* described = nullptr, int folder = -1);
    void AddLink(TDEntry* dir, const std::string& path, const std::string& hostName);
    void AddFolderContents(TDEntry* dir, const std::string& path, int depth);
    void AddChild(TDEntry* dir, int folder, const std::string& path, const std::string& name, int depth);
    void RecordLinkedData(TDEntry* dir, const std::string& name, const TFileDescription& d);
    void NoteRefusal(const std::string& path);
    void Refuse(const std::string& text);
    void Problem(const std::string& text) { problems_.push_back(text); }

    TZelBurner& burner_;
    std::optional<TFileId> output_;  // the image being written, when it exists already
    bool keepLinks_;
    TIsoLevel1Namer namer_;
    std::vector<TFileId> walkedFolders_;         // the folders from the top down to the current one
    std::map<TFileId, TFEntry*> linkedFiles_;    // the first name of each file with several names
    std::vector<std::string> refusals_;
    std::vector<std::string> problems_;
};

}  // namespace kv::jobs
