#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "device/SCSIDevice.h"
#include "iso/SessionImport.h"
#include "iso/TBurnerCompilation.h"
#include "jobs/Job.h"

namespace kv::jobs {

enum class TVerifyStatus { Equal, Different, MissingOnDisc, SourceMissing };

const char* VerifyStatusName(TVerifyStatus status);

struct TVerifyFile {
    std::string DiscPath;    // "Docs/a.txt" as burned
    std::string SourcePath;  // the file it was burned from
    TVerifyStatus Status = TVerifyStatus::Equal;
    std::string Detail;      // why it differs or could not be read
};

// Reads a recorded session back through the engine's own ISO 9660/Joliet reader (no mount, so
// virtual recorders verify like real drives) and compares every file of the compilation that was
// burned with its source, by SHA-256 of both streams; a symbolic link by its target. Files are
// found under the names of the tree the reader takes (Rock Ridge byte for byte, else Joliet, else
// ISO 9660). Entries taken over from an earlier session have no source here and are not compared.
class TVerifyJob final : public TJob {
public:
    // `burned` is the compilation as it was handed to the burn: its names are those on the disc,
    // its entries carry the sources.
    TVerifyJob(TSCSIDevice& device, const TBurnerCompilation& burned, uint8_t session = kLastSession)
        : TJob("verify"), device_(device), burned_(burned), session_(session) {}
    ~TVerifyJob() override { StopAndJoin(); }

    // The window stops at the first file that differs; the command line goes through all.
    bool StopAtFirstDifference = false;

    // Valid once finished: one row per compared file, in tree order.
    std::vector<TVerifyFile> Files() const;

protected:
    TJobResult Run() override;
    void CancelWork() override { device_.AbortWaits(); }
    std::string DriveIdentity() const override { return device_.Device(); }
    const void* ReadLockKey() const override { return &burned_; }

private:
    struct TDigest {
        bool Ok = false;
        std::string Hex;
        std::string Failure;
    };
    bool WalkFolder(const TDEntry* source, const TDEntry* onDisc, const std::string& path);
    bool CompareFile(const TFEntry& source, const TFEntry* onDisc, const std::string& discPath);
    TDigest SourceDigest(const std::string& path, int64_t size);
    TDigest DiscDigest(const TFEntry& entry);
    const TFEntry* FindOnDisc(const TDEntry* dir, const TFEntry& source) const;
    // The name `entry` of either compilation goes by in the tree that was read.
    const std::string& DiscName(const TFEntry& entry) const;
    void Record(TVerifyFile file);

    TSCSIDevice& device_;
    const TBurnerCompilation& burned_;
    uint8_t session_;
    TBurnerCompilation disc_;  // the session as read back
    TImportTree tree_ = TImportTree::RockRidge;
    int64_t bytesTotal_ = 0;
    int64_t bytesDone_ = 0;
    int filesDone_ = 0;
    bool stop_ = false;

    mutable std::mutex filesMutex_;
    std::vector<TVerifyFile> files_;
};

}  // namespace kv::jobs
