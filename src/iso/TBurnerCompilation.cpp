#include "iso/TBurnerCompilation.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "iso/HostFileInfo.h"
#include "iso/IsoNames.h"

namespace kv {
namespace {

// First `count` characters (code points) of a UTF-8 text.
std::string FirstCharacters(const std::string& text, size_t count) {
    size_t i = 0;
    size_t taken = 0;
    while (i < text.size() && taken < count) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
        ++taken;
    }
    return text.substr(0, i);
}

// The short name a created directory gets: 13 characters, a-z upper-cased, and every character
// outside '!'..'z' (blanks, controls, anything beyond ASCII) replaced by one '_'.
std::string DerivedDirShortName(const std::string& name) {
    std::string first = UpperAscii(FirstCharacters(name, 13));
    std::string out;
    for (size_t i = 0; i < first.size();) {
        auto c = static_cast<unsigned char>(first[i]);
        size_t len = 1;
        if (c >= 0x80)
            while (i + len < first.size() && (static_cast<unsigned char>(first[i + len]) & 0xC0) == 0x80) ++len;
        out.push_back(c < 33 || c > 122 ? '_' : static_cast<char>(c));
        i += len;
    }
    return out;
}

std::string Format(const char* pattern, const std::string& value) {
    char text[1024];
    std::snprintf(text, sizeof text, pattern, value.c_str());
    return text;
}

std::string Format(const char* pattern, int value) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// A Joliet identifier is UCS-2 and so always takes a pad byte: 33 + 2 x units + 1 <= 255 leaves
// 110 code units, of which a file's ";1" takes two.
constexpr size_t kMaxJolietDirUnits = 110;
constexpr size_t kMaxJolietFileUnits = 108;
// A longer "extension" is part of the name, not a type to keep.
constexpr size_t kMaxKeptExtensionUnits = 16;

// A backslash is an ordinary byte of a Linux name, but a Joliet reader on Windows takes it for a
// folder separator and could not reach the file: it becomes "_" there. Rock Ridge keeps it.
std::string JolietCharacters(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '_');
    return name;
}

}  // namespace

TBurnerCompilation::TBurnerCompilation() { ClearAll(kDefaultMaxFiles, kDefaultMaxDirs); }

TBurnerCompilation::~TBurnerCompilation() = default;

void TBurnerCompilation::Refuse(TRefusalReason reason, const std::string& text, int mType) {
    lastRefusal_ = {reason, text};
    ReportMessage(text, mType);
}

void TBurnerCompilation::ReportMessage(const std::string& message, int mType) {
    if (OnModelMessage) OnModelMessage(message, mType);
}

void TBurnerCompilation::FreeAll() {
    dirTable_.clear();
    fileTable_.clear();
    isoPathOrder_.clear();
    jolietPathOrder_.clear();
    entryIndex_.clear();
    jolietIndex_.clear();
    entryTail_.clear();
    dirStore_.clear();
    fileStore_.clear();
}

bool TBurnerCompilation::ClearAll(int maxFiles, int maxDirs) {
    if (ChangesLocked()) return false;
    ClearLayout();
    FreeAll();
    maxFiles_ = maxFiles < 0 ? 0 : maxFiles;
    // A path table record names its parent in 16 bits: more directories cannot be written.
    maxDirs_ = std::clamp(maxDirs, 1, kMaxPathTableDirs);
    dirTable_.reserve(static_cast<size_t>(maxDirs_) < 65536 ? static_cast<size_t>(maxDirs_) : 65536);

    TDEntry* root = NewDirRecord();
    root_ = root;
    root->ShortName = "CD_ROOT";
    root->LongName = "CD Root Directory";
    root->FullPath = "\\";
    root->Level = 1;
    root->Parent = root;
    return true;
}

TDEntry* TBurnerCompilation::NewDirRecord() {
    if (static_cast<int>(dirTable_.size()) >= maxDirs_) {
        Refuse(TRefusalReason::TooManyFolders, ">>> " + Format("MAXIMUM DIRECTORIES CAN BE %d", maxDirs_), 3);
        return nullptr;
    }
    dirStore_.push_back(std::make_unique<TDEntry>());
    TDEntry* d = dirStore_.back().get();
    dirTable_.push_back(d);
    isoPathOrder_.push_back(d);
    jolietPathOrder_.push_back(d);
    return d;
}

TFEntry* TBurnerCompilation::NewFileRecord() {
    if (static_cast<int>(fileTable_.size()) >= maxFiles_) {
        Refuse(TRefusalReason::TooManyFiles, Format("MAXIMUM FILES CAN BE %d", maxFiles_), 3);
        return nullptr;
    }
    fileStore_.push_back(std::make_unique<TFEntry>());
    TFEntry* f = fileStore_.back().get();
    fileTable_.push_back(f);
    return f;
}

TDEntry* TBurnerCompilation::FindDir(const std::string& path) const {
    TDEntry* dir = Root();
    size_t start = 0;
    while (dir && start < path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            const TFEntry* e = FindEntry(dir, path.substr(start, end - start));
            dir = e ? e->Dir : nullptr;
        }
        start = end + 1;
    }
    return dir;
}

TDEntry* TBurnerCompilation::CreateDir(const std::string& path) {
    if (ChangesLocked()) return nullptr;
    if (TDEntry* existing = FindDir(path)) return existing;
    std::string trimmed = path;
    if (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
    size_t cut = trimmed.find_last_of('\\');
    std::string parentPath = cut == std::string::npos ? std::string() : trimmed.substr(0, cut);
    std::string name = cut == std::string::npos ? trimmed : trimmed.substr(cut + 1);
    TDEntry* parent = FindDir(parentPath);
    if (!parent) parent = CreateDir(parentPath);
    if (!parent || name.empty()) return nullptr;
    return CreateSubDir(parent, name, kAttrDirectory);
}

TDEntry* TBurnerCompilation::CreateSubDir(TDEntry* parent, std::string name, int32_t attributes) {
    if (ChangesLocked()) return nullptr;
    if (!name.empty() && name.front() == '\\') name.erase(0, 1);
    if (!name.empty() && name.back() == '\\') name.pop_back();
    TFileDescription d;
    d.Name = name;
    d.ShortName = DerivedDirShortName(name);
    d.Attributes = attributes;
    d.ModificationTime = TLocalDateTime::RecordingTime();
    return AddDirEntry(parent, d);
}

TDEntry* TBurnerCompilation::AddDirEntry(TDEntry* parent, const TFileDescription& description) {
    if (ChangesLocked()) return nullptr;
    lastRefusal_ = {};
    if (!parent) return nullptr;
    const std::string path = (parent == Root() ? std::string() : parent->FullPath) + "\\" + description.Name;
    if (TFEntry* existing = FindEntry(parent, description.Name)) {
        if (existing->IsDirectory()) return existing->Dir;
        // A folder beside a file of the same name would hide one of them on the disc.
        if (!existing->Imported)
            Refuse(TRefusalReason::NameTaken, Format("AN ENTRY OF THIS NAME IS ALREADY IN THE FOLDER \"%s\"", path), 3);
        return nullptr;
    }

    std::string shortName = description.ShortName.empty() ? UpperAscii(description.Name) : description.ShortName;
    if (description.Name.empty() || description.Name.size() > kMaxNameBytes ||
        DirRecordLength(shortName.size()) > kMaxDirRecordLength) {
        Refuse(TRefusalReason::NameTooLong, Format("NAME TOO LONG FOR A DIRECTORY RECORD \"%s\"", path), 3);
        return nullptr;
    }
    // Both records or none: a directory without its entry in the parent would be unreachable.
    if (static_cast<int>(fileTable_.size()) >= maxFiles_) {
        NewFileRecord();
        return nullptr;
    }
    TDEntry* dir = NewDirRecord();
    if (!dir) return nullptr;
    TFEntry* entry = NewFileRecord();

    const std::string jolietName = JolietNameFor(parent, description.Name, true, nullptr);
    dir->ShortName = shortName;
    dir->LongName = jolietName;
    dir->Parent = parent;
    dir->Entry = entry;
    dir->Level = static_cast<uint8_t>(parent->Level + 1);
    dir->FullPath = path;

    entry->ShortName = shortName;
    entry->LongName = jolietName;
    entry->PosixName = description.Name;
    entry->Attributes = description.Attributes;
    entry->Posix = description.Posix;
    entry->Dir = dir;
    entry->DateTime =
        description.ModificationTime.IsValid() ? description.ModificationTime : TLocalDateTime::RecordingTime();
    AppendEntry(parent, entry);
    return dir;
}

void TBurnerCompilation::AppendEntry(TDEntry* dir, TFEntry* entry) {
    TFEntry** link = &dir->FirstEntry;
    auto tail = entryTail_.find(dir);
    if (tail != entryTail_.end()) link = &tail->second->Next;
    while (*link) link = &(*link)->Next;
    *link = entry;
    entryTail_[dir] = entry;
    entryIndex_.emplace(EntryKey(dir, entry->PosixName), entry);
    jolietIndex_.emplace(JolietKey(dir, entry->LongName), entry);
}

TBurnerCompilation::TEntryKey TBurnerCompilation::JolietKey(const TDEntry* dir, const std::string& name) {
    return EntryKey(dir, UpperAscii(name));
}

TFEntry* TBurnerCompilation::FindEntry(const TDEntry* dir, const std::string& name) const {
    if (!dir) return nullptr;
    auto it = entryIndex_.find(EntryKey(dir, name));
    return it == entryIndex_.end() ? nullptr : it->second;
}

bool TBurnerCompilation::ShareData(TFEntry* entry, TFEntry* first) {
    if (ChangesLocked() || !entry || !first || entry == first || entry->IsDirectory() || first->IsDirectory() ||
        entry->Imported || first->Imported || first->DataOf || entry->Size != first->Size)
        return false;
    entry->DataOf = first;
    ++first->LinkCount;
    return true;
}

void TBurnerCompilation::Unshare(TFEntry* entry) {
    if (entry->DataOf) {
        --entry->DataOf->LinkCount;
        return;
    }
    if (entry->LinkCount < 2) return;
    // The other names keep the old data: the first of them in the file table takes it over, so
    // that it is still laid out before the names that share it.
    TFEntry* heir = nullptr;
    for (TFEntry* e : fileTable_) {
        if (e->DataOf != entry) continue;
        if (!heir) {
            heir = e;
            heir->DataOf = nullptr;
            heir->LinkCount = entry->LinkCount - 1;
        } else {
            e->DataOf = heir;
        }
    }
}

void TBurnerCompilation::ReindexDirectory(const TDEntry* dir) {
    for (TFEntry* e = dir->FirstEntry; e; e = e->Next) {
        entryIndex_.erase(EntryKey(dir, e->PosixName));
        jolietIndex_.erase(JolietKey(dir, e->LongName));
    }
    for (TFEntry* e = dir->FirstEntry; e; e = e->Next) {
        entryIndex_.emplace(EntryKey(dir, e->PosixName), e);
        jolietIndex_.emplace(JolietKey(dir, e->LongName), e);
    }
}

bool TBurnerCompilation::JolietNameTaken(const TDEntry* dir, const std::string& name, const TFEntry* self) const {
    auto it = jolietIndex_.find(JolietKey(dir, name));
    return it != jolietIndex_.end() && it->second != self;
}

std::string TBurnerCompilation::JolietNameFor(const TDEntry* dir, const std::string& given, bool isDirectory,
                                              const TFEntry* self) const {
    const std::string wanted = JolietCharacters(given);
    const size_t limit = isDirectory ? kMaxJolietDirUnits : kMaxJolietFileUnits;
    if (Utf16Length(wanted) <= limit && !JolietNameTaken(dir, wanted, self)) return wanted;
    std::string base = wanted;
    std::string extension;
    const size_t dot = isDirectory ? std::string::npos : wanted.find_last_of('.');
    if (dot != std::string::npos && dot > 0 && Utf16Length(wanted.substr(dot)) <= kMaxKeptExtensionUnits) {
        base = wanted.substr(0, dot);
        extension = wanted.substr(dot);
    }
    const size_t room = limit - Utf16Length(extension);
    for (unsigned n = 1;; ++n) {
        const std::string tail = n == 1 ? std::string() : "~" + std::to_string(n);
        const size_t keep = tail.size() < room ? room - tail.size() : 0;
        const std::string candidate = base.substr(0, Utf8PrefixForUnits(base, keep)) + tail + extension;
        if (!JolietNameTaken(dir, candidate, self) || keep == 0) return candidate;
    }
}

int TBurnerCompilation::AddFile(const std::string& destPath, const std::string& filePath,
                                const std::string& shortName, const std::string& longName) {
    if (ChangesLocked()) return 0;
    return AddFile(FindDir(destPath), filePath, shortName, longName);
}

bool TBurnerCompilation::TakesFileInto(const TDEntry* dest, const std::string& longName) {
    if (ChangesLocked()) return false;
    lastRefusal_ = {};
    if (dest && !longName.empty()) return true;
    Refuse(TRefusalReason::BadDestination, "INVALID DESTINATION PATH", 4);
    return false;
}

int TBurnerCompilation::AddFile(TDEntry* dest, const std::string& filePath, const std::string& shortName,
                                const std::string& longName) {
    if (!TakesFileInto(dest, longName)) return 0;
    std::optional<TFileDescription> d = DescribeHostFile(filePath);
    if (!d) return -1;
    return AddFile(dest, std::move(*d), filePath, shortName, longName);
}

int TBurnerCompilation::AddFile(TDEntry* dest, TFileDescription described, const std::string& filePath,
                                const std::string& shortName, const std::string& longName) {
    if (!TakesFileInto(dest, longName)) return 0;
    described.Name = longName;
    described.ShortName = FirstCharacters(UpperAscii(shortName.empty() ? longName : shortName), 13);
    AddFileEntry(dest, std::move(described), 0, filePath);
    return 1;
}

int TBurnerCompilation::AddFileEntry(TDEntry* dir, TFileDescription description, int32_t extent,
                                     const std::string& fullPath) {
    if (ChangesLocked()) return 0;
    lastRefusal_ = {};
    if (!dir) return 0;
    bool isDirectory = (description.Attributes & kAttrDirectory) != 0;
    std::string posixName = description.Name;
    if (!isDirectory) {
        // ISO 9660 7.5.1: a file identifier always carries the separator dot. Rock Ridge keeps
        // the name as it was.
        if (description.Name.find('.') == std::string::npos) description.Name += '.';
        if (!description.ShortName.empty() && description.ShortName.find('.') == std::string::npos)
            description.ShortName += '.';
    }
    // Names are the host's byte strings: "README" and "readme", "notes" and "notes." are different
    // files. Only the Joliet and ISO 9660 names, which fold case and add the dot, are made unique.
    TFEntry* existing = FindEntry(dir, posixName);
    std::string shortName = description.ShortName.empty() ? UpperAscii(description.Name) : description.ShortName;
    std::string longName = description.Name;
    TLocalDateTime date =
        description.ModificationTime.IsValid() ? description.ModificationTime : TLocalDateTime::RecordingTime();
    // A name too long for a Joliet record is shortened there and kept whole by Rock Ridge; only a
    // name Rock Ridge cannot carry either is skipped.
    bool skip = posixName.size() > kMaxNameBytes;
    bool replace = existing && ReplaceFile;
    if (OnAddFile)
        OnAddFile(this, fullPath, longName, shortName, date, description.Attributes, description.Size, skip);
    const std::string shown = fullPath.empty() ? longName : fullPath;
    if (skip) {
        lastRefusal_ = {TRefusalReason::Skipped, Format("ENTRY SKIPPED \"%s\"", shown)};
        return 0;
    }
    if (existing && !replace) {
        if (!existing->Imported)
            lastRefusal_ = {TRefusalReason::NameTaken, Format("AN ENTRY OF THIS NAME IS ALREADY IN THE FOLDER \"%s\"", shown)};
        return 0;
    }
    // A sub-directory entry is never overwritten by a file: its directory would lose its parent link.
    if (replace && existing->IsDirectory()) return 0;
    // A handler that renamed the entry renamed it on every tree.
    if (longName != description.Name) posixName = longName;

    shortName = UpperAscii(shortName);
    std::string suffix = isDirectory ? "" : ";1";
    if (longName.empty() || posixName.size() > kMaxNameBytes ||
        DirRecordLength(shortName.size() + suffix.size()) > kMaxDirRecordLength) {
        Refuse(TRefusalReason::NameTooLong,
               Format("NAME TOO LONG FOR A DIRECTORY RECORD \"%s\"", fullPath.empty() ? longName : fullPath), 3);
        return 0;
    }
    if (!isDirectory && description.Size > kMaxFileSize) {
        Refuse(TRefusalReason::FileTooLarge, Format("FILE TOO LARGE FOR ISO 9660 \"%s\"", fullPath), 3);
        return 0;
    }

    TFEntry* entry = existing;
    if (!replace) {
        entry = NewFileRecord();
        if (!entry) return 0;
    }
    const std::string oldName = entry->PosixName;
    const std::string oldJolietName = entry->LongName;
    if (replace) {
        // The replaced entry's names leave the indexes; they are indexed again below.
        entryIndex_.erase(EntryKey(dir, oldName));
        jolietIndex_.erase(JolietKey(dir, oldJolietName));
        Unshare(entry);
    }
    entry->ShortName = shortName;
    entry->LongName = JolietNameFor(dir, longName, isDirectory, replace ? existing : nullptr);
    entry->PosixName = posixName;
    entry->Size = description.Size;
    entry->JolietSize = description.Size;
    entry->Attributes = description.Attributes;
    entry->DateTime = date;
    entry->SourcePath = fullPath;
    entry->Posix = description.Posix;
    entry->LinkTarget = description.LinkTarget;
    entry->Sections = std::move(description.Sections);
    entry->DataOf = nullptr;
    entry->LinkCount = 1;
    entry->Imported = extent != 0 ? 1 : 0;
    if (extent != 0) {
        entry->Extent = extent;
        entry->JolietExtent = extent;
    }
    if (!replace) {
        AppendEntry(dir, entry);
    } else {
        // A replacement renamed by the handler may now share a name with an older entry, which
        // keeps its place in the index as the first of that name.
        ReindexDirectory(dir);
    }
    return 1;
}

}  // namespace kv
