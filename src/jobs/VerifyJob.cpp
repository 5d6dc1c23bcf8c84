#include "jobs/VerifyJob.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "iso/FileExtract.h"
#include "jobs/ComponentHooks.h"
#include "jobs/Sha256.h"
#include "platform/HostPaths.h"

namespace kv::jobs {
namespace {

constexpr size_t kReadPiece = 1 << 20;

bool Compared(const TFEntry& e) { return !e.IsDirectory() && e.Imported == 0 && !e.SourcePath.empty(); }

// Joliet and ISO 9660 names give a file without an extension its separator dot; readers differ on
// whether they keep it, so both spellings name the same file there. Rock Ridge names are exact.
std::vector<std::string> Spellings(const std::string& name, TImportTree tree) {
    std::vector<std::string> names{name};
    if (tree == TImportTree::RockRidge) return names;
    if (!name.empty() && name.back() == '.')
        names.push_back(name.substr(0, name.size() - 1));
    else
        names.push_back(name + ".");
    return names;
}

std::string Join(const std::string& path, const std::string& name) { return path.empty() ? name : path + "/" + name; }

}  // namespace

const char* VerifyStatusName(TVerifyStatus status) {
    switch (status) {
        case TVerifyStatus::Equal: return "equal";
        case TVerifyStatus::Different: return "different";
        case TVerifyStatus::MissingOnDisc: return "missing on disc";
        case TVerifyStatus::SourceMissing: return "source missing";
    }
    return "";
}

std::vector<TVerifyFile> TVerifyJob::Files() const {
    std::lock_guard lock(filesMutex_);
    return files_;
}

void TVerifyJob::Record(TVerifyFile file) {
    if (file.Status != TVerifyStatus::Equal) {
        Message(TSeverity::Error,
                "VERIFY ERROR HD FILE \"" + file.SourcePath + "\" MEDIUM FILE \"" + file.DiscPath + "\" (" +
                    VerifyStatusName(file.Status) + (file.Detail.empty() ? "" : ": " + file.Detail) + ")",
                "11.27");
        if (StopAtFirstDifference) stop_ = true;
    }
    std::lock_guard lock(filesMutex_);
    files_.push_back(std::move(file));
}

const std::string& TVerifyJob::DiscName(const TFEntry& entry) const {
    switch (tree_) {
        case TImportTree::RockRidge: return entry.PosixName;
        case TImportTree::Joliet: return entry.LongName;
        case TImportTree::Iso: return entry.ShortName;
    }
    return entry.PosixName;
}

const TFEntry* TVerifyJob::FindOnDisc(const TDEntry* dir, const TFEntry& source) const {
    if (!dir) return nullptr;
    // The disc's entries are named by what the reader took: the import's own names.
    for (const std::string& name : Spellings(DiscName(source), tree_))
        if (const TFEntry* found = disc_.FindEntry(dir, name)) return found;
    return nullptr;
}

TVerifyJob::TDigest TVerifyJob::SourceDigest(const std::string& path, int64_t size) {
    TDigest d;
    const int fd = OpenHostPath(path, O_RDONLY);
    if (fd < 0) {
        d.Failure = std::strerror(errno);
        return d;
    }
    TSha256 sha;
    std::vector<uint8_t> buffer(kReadPiece);
    int64_t done = 0;
    for (;;) {
        if (CancelRequested()) break;
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            d.Failure = std::strerror(errno);
            break;
        }
        if (n == 0) {
            d.Ok = true;
            break;
        }
        sha.Update(buffer.data(), static_cast<size_t>(n));
        done += n;
        bytesDone_ += n;
        const int percent = size > 0 ? static_cast<int>(std::min<int64_t>(done * 50 / size, 50)) : 50;
        UpdateProgress([&](TJobProgress& p) {
            p.FilePercent = percent;
            p.BytesDone = bytesDone_;
        });
    }
    ::close(fd);
    if (d.Ok) d.Hex = TSha256::Hex(sha.Final());
    return d;
}

TVerifyJob::TDigest TVerifyJob::DiscDigest(const TFEntry& entry) {
    TDigest d;
    TSha256 sha;
    int64_t done = 0;
    d.Ok = ReadRecordedData(device_, entry, [&](const uint8_t* data, size_t length) {
        if (CancelRequested()) return false;
        sha.Update(data, length);
        done += static_cast<int64_t>(length);
        bytesDone_ += static_cast<int64_t>(length);
        const int percent =
            50 + (entry.Size > 0 ? static_cast<int>(std::min<int64_t>(done * 50 / entry.Size, 50)) : 50);
        UpdateProgress([&](TJobProgress& p) {
            p.FilePercent = percent;
            p.BytesDone = bytesDone_;
        });
        return true;
    }, d.Failure);
    if (d.Ok) d.Hex = TSha256::Hex(sha.Final());
    return d;
}

bool TVerifyJob::CompareFile(const TFEntry& source, const TFEntry* onDisc, const std::string& discPath) {
    UpdateProgress([&](TJobProgress& p) {
        p.CurrentFile = source.SourcePath;
        p.FilePercent = 0;
    });
    TVerifyFile row{discPath, source.SourcePath, TVerifyStatus::Equal, {}};
    if (!onDisc || onDisc->IsDirectory() || onDisc->IsSymlink() != source.IsSymlink()) {
        row.Status = TVerifyStatus::MissingOnDisc;
    } else if (source.IsSymlink()) {
        if (onDisc->LinkTarget != source.LinkTarget) {
            row.Status = TVerifyStatus::Different;
            row.Detail = "LINK TO \"" + source.LinkTarget + "\" ON DISK, TO \"" + onDisc->LinkTarget + "\" ON THE MEDIUM";
        }
    } else {
        const TDigest disk = SourceDigest(source.SourcePath, source.Size);
        if (CancelRequested()) return false;
        if (!disk.Ok) {
            row.Status = TVerifyStatus::SourceMissing;
            row.Detail = disk.Failure;
        } else {
            const TDigest disc = DiscDigest(*onDisc);
            if (CancelRequested()) return false;
            if (!disc.Ok) {
                row.Status = TVerifyStatus::Different;
                row.Detail = disc.Failure;
            } else if (disc.Hex != disk.Hex) {
                row.Status = TVerifyStatus::Different;
                row.Detail = "SHA-256 " + disk.Hex + " ON DISK, " + disc.Hex + " ON THE MEDIUM";
            }
        }
    }
    Record(std::move(row));
    ++filesDone_;
    UpdateProgress([&](TJobProgress& p) {
        p.FilesDone = filesDone_;
        p.FilePercent = 100;
        p.Percent = p.FilesTotal > 0 ? filesDone_ * 100 / p.FilesTotal : 100;
    });
    return !stop_;
}

bool TVerifyJob::WalkFolder(const TDEntry* source, const TDEntry* onDisc, const std::string& path) {
    std::unordered_set<const TFEntry*> matched;
    for (const TFEntry* e = source->FirstEntry; e; e = e->Next) {
        if (CancelRequested() || stop_) return false;
        const TFEntry* found = FindOnDisc(onDisc, *e);
        matched.insert(found);
        const std::string discPath = Join(path, DiscName(*e));
        if (e->IsDirectory()) {
            const TDEntry* discDir = found && found->IsDirectory() ? found->Dir : nullptr;
            if (discDir) UpdateProgress([](TJobProgress& p) { ++p.FoldersDone; });
            if (!WalkFolder(e->Dir, discDir, discPath)) return false;
        } else if (Compared(*e)) {
            if (!CompareFile(*e, found, discPath)) return false;
        }
    }
    // A folder burned from the host holds on the disc exactly what it held then: a file there
    // that the folder no longer has was deleted from the sources since. (The root also holds what
    // earlier sessions left, so it is not judged this way.)
    if (source == burned_.Root() || !onDisc) return true;
    for (const TFEntry* d = onDisc->FirstEntry; d; d = d->Next) {
        if (d->IsDirectory() || matched.count(d) != 0) continue;
        Record({Join(path, d->PosixName), {}, TVerifyStatus::SourceMissing,
                "NOT AMONG THE SOURCES ANY MORE"});
        if (stop_) return false;
    }
    return true;
}

TJobResult TVerifyJob::Run() {
    std::string lastError;
    TMessageHook messages(device_, [&lastError](TSeverity s, const std::string& text) {
        if (s == TSeverity::Error) lastError = text;
    });
    int filesTotal = 0;
    for (const TFEntry* e : burned_.FileTable())
        if (Compared(*e)) {
            ++filesTotal;
            bytesTotal_ += 2 * e->Size;
        }
    UpdateProgress([&](TJobProgress& p) {
        p.FilesTotal = filesTotal;
        p.BytesTotal = bytesTotal_;
    });
    if (TJobResult ended; !WaitForDisc(device_, ended)) return ended;
    SetStage(TJobStage::Reading);
    disc_.ClearAll(TBurnerCompilation::kDefaultMaxFiles * 16, TBurnerCompilation::kMaxPathTableDirs);
    if (!ImportSession(device_, disc_, session_, nullptr, &tree_))
        return CancelRequested() ? Aborted()
                                 : Failed(lastError.empty() ? "NO SESSION TO VERIFY ON THIS DISC" : lastError);
    SetStage(TJobStage::Verifying);
    WalkFolder(burned_.Root(), disc_.Root(), "");
    if (CancelRequested()) return Aborted();
    int bad = 0;
    for (const TVerifyFile& f : Files()) bad += f.Status != TVerifyStatus::Equal;
    if (bad == 0) {
        UpdateProgress([](TJobProgress& p) { p.Percent = 100; });
        return Ok();
    }
    return Failed("VERIFY ERROR: " + std::to_string(bad) + (bad == 1 ? " FILE DIFFERS" : " FILES DIFFER"));
}

}  // namespace kv::jobs
