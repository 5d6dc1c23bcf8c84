#include "device/SCSIDevice.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "device/EraseThread.h"
#include "platform/EngineClock.h"
#include "transport/RequestInterface.h"

namespace kv {

std::atomic<bool> TSCSIDevice::SlowReadyModel{false};
std::atomic<bool> TSCSIDevice::ImmediateClose{true};
std::atomic<uint16_t> TSCSIDevice::CurrentMedium{0};

namespace {

constexpr uint32_t kMinimumTimeoutMs = 10000;
constexpr uint8_t kExecSenseLength = 24;

// Waits for the completion event of a request at most `wall` (real time); true when it came.
bool WaitForEvent(int eventFd, std::chrono::microseconds wall) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + wall;
    for (;;) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count() + 1;
        if (left <= 0) return false;
        pollfd p{eventFd, POLLIN, 0};
        const int rc = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left, 1 << 30)));
        if (rc > 0) {
            eventfd_t value = 0;
            [[maybe_unused]] int r = eventfd_read(eventFd, &value);
            return true;
        }
        if (rc == 0 || errno != EINTR) return false;
    }
}

// The completion event of the calling thread's requests, made once and used for every request: one
// made and closed per request cost two more system calls for every WRITE of a burn. Completions
// that nobody waited for leave counts behind; they are cleared before a wait.
class TRequestEvent {
public:
    TRequestEvent() = default;
    TRequestEvent(const TRequestEvent&) = delete;
    TRequestEvent& operator=(const TRequestEvent&) = delete;
    ~TRequestEvent() {
        if (fd_ > 0) ::close(fd_);
    }
    // 0 when no event can be made (the request then goes without one).
    int Fd() {
        if (fd_ < 0) fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        return fd_ > 0 ? fd_ : 0;
    }
    void ClearCounts() {
        eventfd_t value = 0;
        [[maybe_unused]] int r = eventfd_read(fd_, &value);
    }
    // A request given up on may still be signalled, late: its descriptor is never closed, so that
    // the signal cannot land in a file that reuses the number, and the next request gets a new one.
    void Abandon() { fd_ = -1; }

private:
    int fd_ = -1;
};

thread_local TRequestEvent tRequestEvent;

}  // namespace

TSCSIDevice::TSCSIDevice() {
    if (ASPIInitialized()) {
        HostAdapterInquiry(0);
        Scan();
    }
}

// The blank's worker uses this component: it is stopped and joined before anything goes.
TSCSIDevice::~TSCSIDevice() { AbortErase(); }

bool TSCSIDevice::InitializeASPI(bool preferBuiltIn, const std::string& libraryPath) {
    bool loaded = false;
    try {
        loaded = LoadRequestInterface(preferBuiltIn, libraryPath);
    } catch (...) {
        return false;
    }
    if (loaded) {
        HostAdapterInquiry(0);
        Scan();
    }
    return loaded;
}

bool TSCSIDevice::ASPIInitialized() { return RequestInterfaceLoaded(); }

bool TSCSIDevice::UnloadASPI() { return UnloadRequestInterface(); }

bool TSCSIDevice::ReloadASPI() { return ReloadRequestInterface(); }

void TSCSIDevice::SetAddress(uint8_t hostAdapter, uint8_t targetId, uint8_t lun) {
    HostAdapter = hostAdapter;
    TargetId = targetId;
    Lun = lun;
}

void TSCSIDevice::ClearLastFailure() {
    std::lock_guard lock(failureMutex_);
    lastError_.clear();
    lastSense_.fill(0);
    targetBusy_.store(false);
}

std::string TSCSIDevice::LastError() const {
    std::lock_guard lock(failureMutex_);
    return lastError_;
}

std::array<uint8_t, kLastSenseLength> TSCSIDevice::LastSense() const {
    std::lock_guard lock(failureMutex_);
    return lastSense_;
}

uint8_t TSCSIDevice::LastAsc() const {
    std::lock_guard lock(failureMutex_);
    return lastSense_[12];
}

uint8_t TSCSIDevice::ExecSCSICommand(TSRB& srb, uint32_t timeoutMs) {
    ClearLastFailure();
    if (!ASPIInitialized() || HostAdapter == kNoDevice) return kSrbNotInitialized;

    const int eventFd = (srb.Flags() & kSrbEventNotify) ? tRequestEvent.Fd() : 0;
    srb.SetPostEvent(eventFd);

    srb.SetCommand(kSrbExecScsiCommand);
    srb.SetHostAdapter(HostAdapter);
    srb.SetTarget(TargetId);
    srb.SetLun(Lun);
    srb.SetSenseLength(kExecSenseLength);
    srb.Cdb()[1] = static_cast<uint8_t>((srb.Cdb()[1] & 0x1F) | ((Lun & 0x07) << 5));

    timeoutMs = std::max(timeoutMs, kMinimumTimeoutMs);
    if (!SendRequest(srb.Raw())) return kSrbNotInitialized;
    if (eventFd > 0 && srb.Status() == kSrbPending) {
        // Counts left by earlier requests go first; the status tells whether this one has
        // completed meanwhile (it is set before the event is signalled).
        tRequestEvent.ClearCounts();
        if (srb.Status() == kSrbPending && !WaitForEvent(eventFd, EngineClock::ToWall(timeoutMs)))
            tRequestEvent.Abandon();
    }

    const uint8_t status = srb.Status();
    if (status == kSrbPending) {
        // Not completed in time: not waited for further. Reported as a host timeout so that the
        // failure carries a text instead of an empty one.
        srb.SetStatus(kSrbError);
        srb.SetHostStatus(kHostCommandTimeout);
        DecodeFailure(srb);
    } else if (status != kSrbDone) {
        DecodeFailure(srb);
    }
    return 1;
}

uint8_t TSCSIDevice::HostAdapterInquiry(uint8_t adapter) {
    TSRB srb;
    srb.SetCommand(kSrbHostAdapterInquiry);
    srb.SetHostAdapter(adapter);
    uint8_t count = 255;
    if (SendRequest(srb.Raw()) && srb.Status() == kSrbDone) count = srb.Byte(8);
    hostAdapterCount_ = count == 0 ? 7 : count;
    return count;
}

char TSCSIDevice::GetDriveLetter() { return DriveLetterOf(HostAdapter, TargetId, Lun); }

uint8_t TSCSIDevice::ResetDevice() {
    TSRB srb;
    srb.SetCommand(kSrbResetDevice);
    srb.SetHostAdapter(HostAdapter);
    srb.SetTarget(TargetId);
    srb.SetLun(Lun);
    uint32_t result = kSrbNotInitialized;
    if (!SendRequest(srb.Raw(), &result)) return kSrbNotInitialized;
    return static_cast<uint8_t>(result);
}

void TSCSIDevice::DebugMessage(const std::string& message, uint8_t mType) {
    if (OnDebugMessage) OnDebugMessage(this, message, mType);
}

uint8_t TSCSIDevice::SendCdb(std::span<const uint8_t> cdb, uint8_t flags, void* data, uint32_t length,
                             uint32_t timeoutMs) {
    TSRB srb;
    srb.SetFlags(flags);
    srb.SetCdbLength(static_cast<uint8_t>(cdb.size()));
    std::copy(cdb.begin(), cdb.end(), srb.Cdb().begin());
    srb.SetDataLength(length);
    srb.SetDataPointer(data);
    if (ExecSCSICommand(srb, timeoutMs) == kSrbNotInitialized) return kSrbNotInitialized;
    return srb.Status();
}

}  // namespace kv
