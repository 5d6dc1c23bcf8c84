#pragma once
#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "transport/PassThroughLayer.h"
#include "transport/RequestInterface.h"
#include "transport/Srb.h"

namespace kv::test {

// A fake /dev/sr* layer: nodes with INQUIRY identities, nodes that fail to open or to answer
// INQUIRY, a count of open descriptors and of commands that reached a drive.
class TFakeLayer : public TPassThroughLayer {
public:
    struct TNode {
        int Number = 0;
        std::string Identity;  // 28 characters: vendor, product, revision
        uint8_t Type = 0x05;
        bool FailOpen = false;
        bool FailInquiry = false;
    };

    explicit TFakeLayer(std::vector<TNode> nodes) : nodes_(std::move(nodes)) {}

    std::vector<TDeviceNode> ListNodes() override {
        std::vector<TDeviceNode> out;
        for (const auto& n : nodes_) out.push_back({"/dev/sr" + std::to_string(n.Number), n.Number});
        return out;
    }
    int Open(const std::string& path) override {
        std::lock_guard lock(mutex_);
        for (const auto& n : nodes_) {
            if ("/dev/sr" + std::to_string(n.Number) != path) continue;
            if (n.FailOpen) return -1;
            const int fd = nextFd_++;
            open_[fd] = n.Number;
            return fd;
        }
        return -1;
    }
    TPassThroughResult Execute(int handle, const TPassThroughRequest& request) override {
        const TNode* node = nullptr;
        {
            std::lock_guard lock(mutex_);
            auto it = open_.find(handle);
            if (it == open_.end()) {
                ++commandsOnClosedHandle;
                return {};
            }
            for (const auto& n : nodes_)
                if (n.Number == it->second) node = &n;
            commands.push_back(request.Cdb[0]);
        }
        TPassThroughResult result;
        if (request.Cdb[0] == 0x12) {
            if (node->FailInquiry) return result;
            uint8_t reply[96] = {node->Type};
            std::memcpy(reply + 8, node->Identity.data(), std::min<size_t>(28, node->Identity.size()));
            std::memcpy(request.Data, reply, std::min<uint32_t>(sizeof reply, request.DataLength));
            result.Completed = true;
            return result;
        }
        return Reply;
    }
    void Close(int handle) override {
        std::lock_guard lock(mutex_);
        open_.erase(handle);
    }

    size_t OpenCount() {
        std::lock_guard lock(mutex_);
        return open_.size();
    }
    std::vector<uint8_t> Commands() {
        std::lock_guard lock(mutex_);
        return commands;
    }

    TPassThroughResult Reply = [] {
        TPassThroughResult r;
        r.Completed = true;
        return r;
    }();
    std::atomic<int> commandsOnClosedHandle{0};

private:
    std::vector<TNode> nodes_;
    std::mutex mutex_;
    std::map<int, int> open_;
    int nextFd_ = 100;
    std::vector<uint8_t> commands;
};

}  // namespace kv::test
