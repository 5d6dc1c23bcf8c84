#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <mutex>

#include "transport/PassThroughLayer.h"
#include "transport/Srb.h"

namespace kv {
namespace {

// SG_IO host_status (DID_*) values that have a request-block equivalent; any other non-zero
// host status is a platform failure (status 04h, no sense).
struct THostStatusMapping {
    uint16_t SgHostStatus;
    uint8_t SrbHostStatus;
};
constexpr THostStatusMapping kHostStatusMap[] = {
    {0x01, kHostSelectionTimeout},  // DID_NO_CONNECT
    {0x03, kHostCommandTimeout},    // DID_TIME_OUT
    {0x06, kHostParityError},       // DID_PARITY
    {0x08, kHostBusReset},          // DID_RESET
};
constexpr uint16_t kDriverStatusMask = 0x07;  // DRIVER_* code; 0x08 (DRIVER_SENSE) is fine

class TSgIoLayer final : public TPassThroughLayer {
public:
    std::vector<TDeviceNode> ListNodes() override {
        std::vector<TDeviceNode> nodes;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
            const std::string name = entry.path().filename().string();
            if (name.size() < 3 || name.compare(0, 2, "sr") != 0) continue;
            int number = 0;
            auto [end, err] = std::from_chars(name.data() + 2, name.data() + name.size(), number);
            if (err != std::errc() || end != name.data() + name.size()) continue;
            nodes.push_back({entry.path().string(), number});
        }
        std::sort(nodes.begin(), nodes.end(), [](auto& a, auto& b) { return a.Number < b.Number; });
        return nodes;
    }

    int Open(const std::string& path) override {
        // O_NONBLOCK: without it the cdrom layer refuses an empty drive (ENOMEDIUM) and a read-only
        // medium opened for writing (EROFS). Write-class commands need a descriptor opened for
        // writing (kernel command filter), so read-only is only the fall-back.
        int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        return fd;
    }

    TPassThroughResult Execute(int handle, const TPassThroughRequest& request) override {
        TPassThroughResult result;
        sg_io_hdr_t hdr{};
        std::array<uint8_t, 16> cdb = request.Cdb;
        hdr.interface_id = 'S';
        hdr.cmd_len = request.CdbLength;
        hdr.cmdp = cdb.data();
        hdr.mx_sb_len = static_cast<unsigned char>(result.Sense.size());
        hdr.sbp = result.Sense.data();
        hdr.timeout = request.TimeoutMs;
        hdr.dxfer_len = request.DataLength;
        hdr.dxferp = request.Data;
        switch (request.Direction) {
            case TDataDirection::In: hdr.dxfer_direction = SG_DXFER_FROM_DEV; break;
            case TDataDirection::Out: hdr.dxfer_direction = SG_DXFER_TO_DEV; break;
            case TDataDirection::None:
                hdr.dxfer_direction = SG_DXFER_NONE;
                hdr.dxfer_len = 0;
                hdr.dxferp = nullptr;
                break;
        }
        if (::ioctl(handle, SG_IO, &hdr) < 0) return result;  // errno: not completed
        if (hdr.host_status != 0) {
            auto it = std::find_if(std::begin(kHostStatusMap), std::end(kHostStatusMap),
                                   [&](const THostStatusMapping& m) { return m.SgHostStatus == hdr.host_status; });
            if (it == std::end(kHostStatusMap)) return result;
            result.Completed = true;
            result.HostStatus = it->SrbHostStatus;
            return result;
        }
        if (hdr.status == 0 && (hdr.driver_status & kDriverStatusMask) != 0) return result;
        result.Completed = true;
        result.ScsiStatus = hdr.status;
        result.SenseLength = std::min<uint8_t>(hdr.sb_len_wr, static_cast<uint8_t>(result.Sense.size()));
        const int resid = std::clamp<int>(hdr.resid, 0, static_cast<int>(request.DataLength));
        result.Transferred = request.DataLength - static_cast<uint32_t>(resid);
        return result;
    }

    void Close(int handle) override {
        if (handle >= 0) ::close(handle);
    }
};

std::mutex gLayerMutex;
std::shared_ptr<TPassThroughLayer> gLayer;

}  // namespace

std::shared_ptr<TPassThroughLayer> MakeSgIoLayer() { return std::make_shared<TSgIoLayer>(); }

void SetPassThroughLayer(std::shared_ptr<TPassThroughLayer> layer) {
    std::lock_guard lock(gLayerMutex);
    gLayer = std::move(layer);
}

std::shared_ptr<TPassThroughLayer> CurrentPassThroughLayer() {
    std::lock_guard lock(gLayerMutex);
    if (!gLayer) gLayer = MakeSgIoLayer();
    return gLayer;
}

}  // namespace kv
