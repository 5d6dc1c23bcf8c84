#pragma once
#include <cstdint>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "iso/IsoEntries.h"

namespace kv {

class TBurnerCompilation;

// Sender, source path, long name, short name, date, attributes, size, skip.
using TAddFileEvent = std::function<void(TBurnerCompilation* sender, const std::string& fullPath,
                                         std::string& longFileName, std::string& shortFileName,
                                         TLocalDateTime& dateTime, int32_t attr, int64_t fileSize, bool& skip)>;
using TAddDirEvent =
    std::function<void(TBurnerCompilation* sender, std::string& longName, std::string& shortName, bool& skip)>;

// Why the model did not take an entry it was offered. Callers that load whole trees collect these,
// so that nothing leaves the disc without the user being told.
enum class TRefusalReason { None, BadDestination, NameTooLong, FileTooLarge, TooManyFiles, TooManyFolders, NameTaken, Skipped };

struct TAddRefusal {
    TRefusalReason Reason = TRefusalReason::None;
    std::string Text;  // the model's message, naming the entry
    explicit operator bool() const { return Reason != TRefusalReason::None; }
};

// The data burner's own model of the disc: directories and their entries in insertion order,
// under a fixed root. Everything written later (names, path tables, records, extents) derives
// from it; the read-ahead thread walks FileTable() in order.
class TBurnerCompilation {
public:
    static constexpr int kDefaultMaxFiles = 65535;
    static constexpr int kDefaultMaxDirs = 8191;
    // Files of 4 GiB and more are recorded in several extents; the limit is what the model's
    // 32-bit sector numbers address.
    static constexpr int64_t kMaxFileSize = int64_t{0x7FFFFFFF} * 2048;
    // Rock Ridge carries names of up to NAME_MAX bytes.
    static constexpr size_t kMaxNameBytes = 255;

    TBurnerCompilation();
    virtual ~TBurnerCompilation();
    TBurnerCompilation(const TBurnerCompilation&) = delete;
    TBurnerCompilation& operator=(const TBurnerCompilation&) = delete;

    bool ClearAll() { return ClearAll(kDefaultMaxFiles, kDefaultMaxDirs); }
    bool ClearAll(int maxFiles, int maxDirs);
    static constexpr int kMaxPathTableDirs = 65535;

    // Paths are names joined by backslashes and compared exactly; a name that holds a backslash
    // is reached through the directory records (AddFile with a TDEntry, FindEntry) instead.
    TDEntry* CreateDir(const std::string& path);
    TDEntry* FindDir(const std::string& path) const;
    // 1 done (also when skipped or a duplicate), 0 bad destination, -1 source not found.
    int AddFile(const std::string& destPath, const std::string& filePath, const std::string& shortName,
                const std::string& longName);
    int AddFile(TDEntry* dest, const std::string& filePath, const std::string& shortName, const std::string& longName);
    // AddFile of a source the caller has just described (`described`, from `filePath`).
    int AddFile(TDEntry* dest, TFileDescription described, const std::string& filePath, const std::string& shortName,
                const std::string& longName);
    // Why the last AddFile, AddFileEntry or AddDirEntry did not take its entry; empty when it did
    // (or when it only met an entry of the same name that the caller's ReplaceFile kept).
    const TAddRefusal& LastRefusal() const { return lastRefusal_; }

    // While a job writes the compilation, changes from any thread but the job's own are refused
    // (they return the same as a refusal, without touching the model). Locked without an owner
    // between a job's start and its worker taking over.
    void LockChanges() { changeOwner_ = std::thread::id(); changesLocked_ = true; }
    void SetChangeOwner(std::thread::id owner) { changeOwner_ = owner; }
    void UnlockChanges() { changesLocked_ = false; }
    bool ChangesLocked() const { return changesLocked_ && changeOwner_.load() != std::this_thread::get_id(); }
    int DirCount() const { return static_cast<int>(dirTable_.size()) - 1; }
    int FileCount() const { return static_cast<int>(fileTable_.size()); }

    TDEntry* AddDirEntry(TDEntry* parent, const TFileDescription& description);
    int AddFileEntry(TDEntry* dir, TFileDescription description, int32_t extent, const std::string& fullPath);
    TDEntry* CreateSubDir(TDEntry* parent, std::string name, int32_t attributes);
    // The entry of `dir` whose name (PosixName, as given) is exactly `name`.
    TFEntry* FindEntry(const TDEntry* dir, const std::string& name) const;
    // Records `entry` as another name of `first`'s data (hard links): the data is laid out and
    // written once, and Rock Ridge gives both the link count. False when the two cannot share
    // (not both new files of one size, or `first` itself shares another's data).
    bool ShareData(TFEntry* entry, TFEntry* first);

    TDEntry* Root() const { return root_; }
    const std::vector<TDEntry*>& DirTable() const { return dirTable_; }
    const std::vector<TFEntry*>& FileTable() const { return fileTable_; }
    int MaxFiles() const { return maxFiles_; }
    int MaxDirs() const { return maxDirs_; }

    bool ReplaceFile = false;
    TAddFileEvent OnAddFile;
    TAddDirEvent OnAddDir;  // published for the application; the model never raises it
    // Where model messages go when no device layer routes them (text, mType).
    std::function<void(const std::string& message, int mType)> OnModelMessage;

protected:
    virtual void ReportMessage(const std::string& message, int mType);
    // Called by ClearAll so that a derived layout can drop its header stream.
    virtual void ClearLayout() {}

    std::vector<TDEntry*> isoPathOrder_;
    std::vector<TDEntry*> jolietPathOrder_;

private:
    TDEntry* NewDirRecord();
    TFEntry* NewFileRecord();
    void FreeAll();
    void Refuse(TRefusalReason reason, const std::string& text, int mType);
    // False, refused or locked, unless a file named `longName` can go into `dest`.
    bool TakesFileInto(const TDEntry* dest, const std::string& longName);
    void AppendEntry(TDEntry* dir, TFEntry* entry);
    void ReindexDirectory(const TDEntry* dir);
    // Takes a replaced entry out of the set of names it shares data with.
    void Unshare(TFEntry* entry);
    // A name within its folder. Names up to 15 bytes stay inside the key, with no memory of their
    // own: a compilation of many files holds two keys for each.
    struct TEntryKey {
        const TDEntry* Dir;
        std::string Name;
        bool operator==(const TEntryKey&) const = default;
    };
    struct TEntryKeyHash {
        size_t operator()(const TEntryKey& key) const noexcept {
            return std::hash<std::string>{}(key.Name) ^ (std::hash<const void*>{}(key.Dir) * 0x9E3779B97F4A7C15ull);
        }
    };
    using TEntryIndex = std::unordered_map<TEntryKey, TFEntry*, TEntryKeyHash>;
    static TEntryKey EntryKey(const TDEntry* dir, const std::string& name) { return {dir, name}; }
    // Joliet names are unique without regard to ASCII case, as Windows compares them.
    static TEntryKey JolietKey(const TDEntry* dir, const std::string& name);
    // The name an entry goes by in the Joliet tree: `given` with its backslashes replaced, when it fits one record and no other entry of `dir` has it; otherwise shortened,
    // keeping the extension, with a ~N tail when needed to stay unique.
    std::string JolietNameFor(const TDEntry* dir, const std::string& given, bool isDirectory,
                              const TFEntry* self) const;
    bool JolietNameTaken(const TDEntry* dir, const std::string& name, const TFEntry* self) const;

    std::vector<std::unique_ptr<TDEntry>> dirStore_;
    std::vector<std::unique_ptr<TFEntry>> fileStore_;
    std::vector<TDEntry*> dirTable_;
    std::vector<TFEntry*> fileTable_;
    TDEntry* root_ = nullptr;
    int maxFiles_ = kDefaultMaxFiles;
    int maxDirs_ = kDefaultMaxDirs;
    // Lookup indexes: FindEntry runs once per added file, so a linear scan would make large
    // compilations quadratic. Each keeps the first match in creation order.
    TEntryIndex entryIndex_;   // by exact name
    TEntryIndex jolietIndex_;  // by Joliet name
    std::unordered_map<const TDEntry*, TFEntry*> entryTail_;
    TAddRefusal lastRefusal_;
    std::atomic<bool> changesLocked_{false};
    std::atomic<std::thread::id> changeOwner_{};
};

}  // namespace kv
