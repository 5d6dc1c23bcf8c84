#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kv {

// One command as it crosses the pass-through boundary: what SG_IO takes and gives back, and what a
// software drive (the virtual recorder) answers. The request-block emulation maps its request
// blocks onto this and back.
enum class TDataDirection : uint8_t { None = 0, In = 1, Out = 2 };

struct TPassThroughRequest {
    std::array<uint8_t, 16> Cdb{};
    uint8_t CdbLength = 0;
    TDataDirection Direction = TDataDirection::None;
    uint8_t* Data = nullptr;       // Direction In: filled by the drive; Out: read by the drive
    uint32_t DataLength = 0;
    uint32_t TimeoutMs = 120000;
};

// Host adapter status codes of the request block (timeout 09h, selection timeout 11h, ...).
struct TPassThroughResult {
    bool Completed = false;        // false: the platform call itself failed (status 04h, no sense)
    uint8_t ScsiStatus = 0;        // 00h good, 02h check condition, 08h busy
    uint8_t HostStatus = 0;        // request-block host adapter status
    std::array<uint8_t, 32> Sense{};
    uint8_t SenseLength = 0;       // bytes of Sense that are valid
    uint32_t Transferred = 0;      // bytes actually moved (data in: bytes filled)
};

// A drive answered in software. The emulation lists these after the real drives, on the next
// host adapter, so Scan, SetDevice and every command reach them like real drives.
class TSoftDrive {
public:
    virtual ~TSoftDrive() = default;
    // Name shown where a real drive shows its device node, e.g. "virtual:/path/to/medium.kvm".
    virtual std::string DevicePath() const = 0;
    // Executes one command. Must be safe to call from any thread.
    virtual TPassThroughResult Execute(const TPassThroughRequest& request) = 0;
};

// Supplies the software drives present now; consulted whenever the emulation builds its drive table.
using TSoftDriveSource = std::function<std::vector<std::shared_ptr<TSoftDrive>>()>;

// The virtual recorder installs its source here; an empty source removes it.
void SetSoftDriveSource(TSoftDriveSource source);
std::vector<std::shared_ptr<TSoftDrive>> CurrentSoftDrives();

}  // namespace kv
