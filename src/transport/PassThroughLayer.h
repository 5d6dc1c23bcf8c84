#pragma once
#include <memory>
#include <string>
#include <vector>

#include "transport/PassThrough.h"

namespace kv {

// A CD/DVD device node the platform offers, e.g. /dev/sr1 with Number 1.
struct TDeviceNode {
    std::string Path;
    int Number = 0;
};

// The platform's SCSI pass-through as the emulation needs it: list the nodes, open, execute,
// close. The Linux implementation uses SG_IO on /dev/sr*; tests install a fake.
class TPassThroughLayer {
public:
    virtual ~TPassThroughLayer() = default;
    virtual std::vector<TDeviceNode> ListNodes() = 0;
    // A descriptor >= 0, or -1 when the node cannot be opened.
    virtual int Open(const std::string& path) = 0;
    virtual TPassThroughResult Execute(int handle, const TPassThroughRequest& request) = 0;
    virtual void Close(int handle) = 0;
};

std::shared_ptr<TPassThroughLayer> MakeSgIoLayer();

// The layer used by the next build of the emulation's drive table; nullptr restores SG_IO.
void SetPassThroughLayer(std::shared_ptr<TPassThroughLayer> layer);
std::shared_ptr<TPassThroughLayer> CurrentPassThroughLayer();

}  // namespace kv
