#include "transport/Emulation.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

#include "transport/PassThroughLayer.h"
#include "transport/Srb.h"

namespace kv::emulation {
namespace {

constexpr size_t kLetterCount = 27;     // indexes 0 (A:) to 26
constexpr size_t kFirstLetter = 2;      // C:
constexpr size_t kLastLetter = 25;      // Z:
constexpr size_t kFirstNodeLetter = 3;  // sr0 -> D:, sr1 -> E:, ... stable by sr number
constexpr size_t kStoredInquiryLength = 40;
constexpr uint32_t kAnsweredInquiryLength = 36;
constexpr uint32_t kProbeInquiryLength = 96;
constexpr uint32_t kPassThroughTimeoutMs = 120000;
constexpr uint8_t kTargetsPerAdapter = 8;
constexpr char kManagerIdentifier[] = "KELVADORE ZLASPI";  // exactly 16 characters
static_assert(sizeof kManagerIdentifier == 17);

// An open descriptor of a device node; closed when the last command using it lets go, so a
// release from one thread never pulls the descriptor from under a command of another.
struct TDriveHandle {
    std::shared_ptr<TPassThroughLayer> Layer;
    int Fd = -1;
    ~TDriveHandle() { Layer->Close(Fd); }
};

struct TEntry {
    uint8_t HostAdapter = 0;
    uint8_t TargetId = 0;
    uint8_t Lun = 0;
    uint8_t Letter = 0;
    bool Present = false;
    std::shared_ptr<TDriveHandle> Handle;
    std::array<uint8_t, kStoredInquiryLength> Inquiry{};
    std::string Path;                    // device node, or the software drive's DevicePath()
    std::shared_ptr<TSoftDrive> Soft;    // set for software drives
};

struct TTable {
    std::array<TEntry, kLetterCount> Entries{};
    uint8_t AdapterCount = 0;
    bool Initialized = false;
    std::shared_ptr<TPassThroughLayer> Layer;
};

std::mutex gTableMutex;
TTable gTable;

TPassThroughRequest ProbeInquiryRequest(uint8_t* data) {
    TPassThroughRequest request;
    request.Cdb = {0x12, 0x00, 0x00, 0x00, static_cast<uint8_t>(kProbeInquiryLength), 0x00};
    request.CdbLength = 6;
    request.Direction = TDataDirection::In;
    request.Data = data;
    request.DataLength = kProbeInquiryLength;
    request.TimeoutMs = kPassThroughTimeoutMs;
    return request;
}

bool Succeeded(const TPassThroughResult& r) { return r.Completed && r.HostStatus == 0 && r.ScsiStatus == 0; }

bool ProbeNode(TTable& table, const TDeviceNode& node, TEntry& entry) {
    const int fd = table.Layer->Open(node.Path);
    if (fd < 0) return false;
    std::array<uint8_t, kProbeInquiryLength> reply{};
    const TPassThroughResult result = table.Layer->Execute(fd, ProbeInquiryRequest(reply.data()));
    table.Layer->Close(fd);
    if (!Succeeded(result)) return false;
    std::copy_n(reply.begin(), kStoredInquiryLength, entry.Inquiry.begin());
    entry.HostAdapter = static_cast<uint8_t>(node.Number / kTargetsPerAdapter);
    entry.TargetId = static_cast<uint8_t>(node.Number % kTargetsPerAdapter);
    entry.Lun = 0;
    entry.Path = node.Path;
    entry.Present = true;
    return true;
}

bool ProbeSoftDrive(const std::shared_ptr<TSoftDrive>& drive, TEntry& entry) {
    std::array<uint8_t, kProbeInquiryLength> reply{};
    if (!Succeeded(drive->Execute(ProbeInquiryRequest(reply.data())))) return false;
    std::copy_n(reply.begin(), kStoredInquiryLength, entry.Inquiry.begin());
    entry.Soft = drive;
    entry.Path = drive->DevicePath();
    entry.Present = true;
    return true;
}

uint8_t HighestAdapterPlusOne(const TTable& table) {
    uint8_t highest = 0;
    for (const auto& e : table.Entries)
        if (e.Present) highest = std::max(highest, e.HostAdapter);
    return static_cast<uint8_t>(highest + 1);
}

TEntry* FindEntry(TTable& table, uint8_t adapter, uint8_t target, uint8_t lun) {
    for (size_t i = kFirstLetter; i <= kLastLetter; ++i) {
        TEntry& e = table.Entries[i];
        if (e.Present && e.HostAdapter == adapter && e.TargetId == target && e.Lun == lun) return &e;
    }
    return nullptr;
}

void Complete(TSrbView srb, uint8_t status) {
    srb.SetStatus(status);
    const int32_t fd = srb.PostEvent();
    if ((srb.Flags() & kSrbEventNotify) && fd > 0) {
        const eventfd_t one = 1;
        [[maybe_unused]] int rc = eventfd_write(fd, one);
    }
}

void HostAdapterInquiry(TSrbView srb) {
    std::lock_guard lock(gTableMutex);
    srb.SetByte(8, gTable.AdapterCount);
    if (srb.HostAdapter() >= gTable.AdapterCount) {
        Complete(srb, kSrbInvalidHostAdapter);
        return;
    }
    srb.SetByte(9, 7);
    std::memcpy(srb.Raw() + 10, kManagerIdentifier, 16);
    std::array<char, 16> adapterId{};
    const char name[] = {'S', 'P', 'T', 'I', ' ', static_cast<char>('0' + srb.HostAdapter() % 10)};
    std::copy(std::begin(name), std::end(name), adapterId.begin());
    std::memcpy(srb.Raw() + 26, adapterId.data(), adapterId.size());
    std::memset(srb.Raw() + 42, 0, 16);
    PutLE16(srb.Raw() + 42, 0x0007);   // buffer alignment mask
    srb.SetByte(45, kTargetsPerAdapter);
    PutLE32(srb.Raw() + 46, 0x00FF0000);  // maximum transfer length
    Complete(srb, kSrbDone);
}

void GetDeviceType(TSrbView srb) {
    std::lock_guard lock(gTableMutex);
    const bool present = FindEntry(gTable, srb.HostAdapter(), srb.Target(), srb.Lun()) != nullptr;
    srb.SetDeviceType(present ? 0x05 : 0x1F);
    Complete(srb, present ? kSrbDone : kSrbNoDevice);
}

TPassThroughRequest RequestFromSrb(TSrbView srb) {
    TPassThroughRequest request;
    request.CdbLength = std::min<uint8_t>(srb.CdbLength(), 16);
    std::copy_n(srb.Cdb().begin(), request.CdbLength, request.Cdb.begin());
    if (srb.Flags() & kSrbDirIn)
        request.Direction = TDataDirection::In;
    else if (srb.Flags() & kSrbDirOut)
        request.Direction = TDataDirection::Out;
    if (request.Direction != TDataDirection::None) {
        request.Data = srb.DataPointer();
        request.DataLength = request.Data ? srb.DataLength() : 0;
    }
    request.TimeoutMs = kPassThroughTimeoutMs;
    return request;
}

void ExecuteCommand(TSrbView srb) {
    std::shared_ptr<TDriveHandle> handle;
    std::shared_ptr<TSoftDrive> soft;
    {
        std::lock_guard lock(gTableMutex);
        TEntry* entry = FindEntry(gTable, srb.HostAdapter(), srb.Target(), srb.Lun());
        if (!entry) {
            Complete(srb, kSrbNoDevice);
            return;
        }
        if (srb.Cdb()[0] == 0x12) {
            // Answered from the table without touching the drive, and never more than the
            // caller's buffer holds.
            if (srb.HostAdapter() >= gTable.AdapterCount) {
                Complete(srb, kSrbInvalidHostAdapter);
                return;
            }
            uint8_t* data = srb.DataPointer();
            if (data) std::memcpy(data, entry->Inquiry.data(), std::min(kAnsweredInquiryLength, srb.DataLength()));
            Complete(srb, kSrbDone);
            return;
        }
        soft = entry->Soft;
        if (!soft) {
            if (!entry->Handle) {
                const int fd = gTable.Layer->Open(entry->Path);
                if (fd >= 0) {
                    entry->Handle = std::make_shared<TDriveHandle>();
                    entry->Handle->Layer = gTable.Layer;
                    entry->Handle->Fd = fd;
                }
            }
            handle = entry->Handle;
        }
    }

    TPassThroughResult result;
    const TPassThroughRequest request = RequestFromSrb(srb);
    if (soft)
        result = soft->Execute(request);
    else if (handle)
        result = handle->Layer->Execute(handle->Fd, request);

    if (handle && ReleaseHandleAfterCommand()) {
        std::lock_guard lock(gTableMutex);
        TEntry* entry = FindEntry(gTable, srb.HostAdapter(), srb.Target(), srb.Lun());
        if (entry && entry->Handle == handle) entry->Handle.reset();
    }

    if (!result.Completed) {
        srb.SetHostStatus(0);
        srb.SetTargetStatus(0);
        Complete(srb, kSrbError);
        return;
    }
    srb.SetHostStatus(result.HostStatus);
    srb.SetTargetStatus(result.ScsiStatus);
    if (result.HostStatus == 0 && result.ScsiStatus == 0) {
        Complete(srb, kSrbDone);
        return;
    }
    const size_t senseBytes = std::min<size_t>(result.SenseLength, result.Sense.size());
    std::copy_n(result.Sense.begin(), senseBytes, srb.Sense().begin());
    Complete(srb, kSrbError);
}

}  // namespace

int BuildDriveTable() {
    std::lock_guard lock(gTableMutex);
    if (gTable.Initialized) return 0;
    gTable = TTable{};
    gTable.Layer = CurrentPassThroughLayer();
    for (size_t i = 0; i < kLetterCount; ++i) gTable.Entries[i].Letter = static_cast<uint8_t>(i);

    int present = 0;
    size_t nextFreeLetter = kFirstNodeLetter;
    for (const TDeviceNode& node : gTable.Layer->ListNodes()) {
        if (node.Number < 0) continue;
        const size_t letter = kFirstNodeLetter + static_cast<size_t>(node.Number);
        if (letter > kLastLetter) continue;
        if (ProbeNode(gTable, node, gTable.Entries[letter])) {
            ++present;
            nextFreeLetter = std::max(nextFreeLetter, letter + 1);
        }
    }
    gTable.AdapterCount = HighestAdapterPlusOne(gTable);

    // Software drives have no bus address: they share one extra adapter after the real ones
    // (further adapters when more than eight), targets in order, LUN 0.
    const uint8_t softAdapter = gTable.AdapterCount;
    int addressLess = 0;
    for (const auto& drive : CurrentSoftDrives()) {
        if (!drive || nextFreeLetter > kLastLetter) continue;
        TEntry& entry = gTable.Entries[nextFreeLetter];
        if (!ProbeSoftDrive(drive, entry)) continue;
        entry.HostAdapter = static_cast<uint8_t>(softAdapter + addressLess / kTargetsPerAdapter);
        entry.TargetId = static_cast<uint8_t>(addressLess % kTargetsPerAdapter);
        entry.Lun = 0;
        ++addressLess;
        ++present;
        ++nextFreeLetter;
    }
    if (addressLess > 0) gTable.AdapterCount = HighestAdapterPlusOne(gTable);
    gTable.Initialized = true;
    return present;
}

void CloseDriveTable() {
    TTable old;
    {
        std::lock_guard lock(gTableMutex);
        old = std::move(gTable);
        gTable = TTable{};
    }
    // Handles close here, outside the lock, once no command holds them any more.
}

bool DriveTableInitialized() {
    std::lock_guard lock(gTableMutex);
    return gTable.Initialized;
}

uint8_t AdapterCount() {
    std::lock_guard lock(gTableMutex);
    return gTable.AdapterCount;
}

char DriveLetter(uint8_t hostAdapter, uint8_t targetId, uint8_t lun) {
    std::lock_guard lock(gTableMutex);
    const TEntry* entry = FindEntry(gTable, hostAdapter, targetId, lun);
    return entry ? static_cast<char>('A' + entry->Letter) : static_cast<char>(127);
}

std::optional<TDriveAddress> AddressOfPath(const std::string& path) {
    std::lock_guard lock(gTableMutex);
    for (size_t i = kFirstLetter; i <= kLastLetter; ++i) {
        const TEntry& e = gTable.Entries[i];
        if (e.Present && e.Path == path) return TDriveAddress{e.HostAdapter, e.TargetId, e.Lun};
    }
    return std::nullopt;
}

std::optional<std::string> PathOfAddress(const TDriveAddress& address) {
    std::lock_guard lock(gTableMutex);
    for (size_t i = kFirstLetter; i <= kLastLetter; ++i) {
        const TEntry& e = gTable.Entries[i];
        if (e.Present && e.HostAdapter == address.HostAdapter && e.TargetId == address.TargetId && e.Lun == address.Lun)
            return e.Path;
    }
    return std::nullopt;
}

uint32_t GetSupportInfo() {
    const uint8_t count = AdapterCount();
    return count != 0 ? (uint32_t{kSrbDone} << 8) | count : uint32_t{kSrbNoAdapters} << 8;
}

uint32_t SendCommand(void* requestBlock) {
    TSrbView srb(static_cast<uint8_t*>(requestBlock));
    switch (srb.Command()) {
        case kSrbHostAdapterInquiry: HostAdapterInquiry(srb); break;
        case kSrbGetDeviceType: GetDeviceType(srb); break;
        case kSrbExecScsiCommand: ExecuteCommand(srb); break;
        default: Complete(srb, kSrbError); break;
    }
    return srb.Status();
}

}  // namespace kv::emulation
