#pragma once
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transport/PassThrough.h"
#include "transport/PassThroughLayer.h"

namespace kv::test {

// A software drive that records every command it receives and answers from a script: replies
// queued per opcode are used once, in order; otherwise the opcode's standing reply; otherwise
// good status with no data.
class TRecordingDrive : public TSoftDrive {
public:
    struct TReply {
        bool Completed = true;
        uint8_t ScsiStatus = 0;
        uint8_t HostStatus = 0;
        std::vector<uint8_t> Sense;
        std::vector<uint8_t> Data;
    };
    struct TRecorded {
        std::vector<uint8_t> Cdb;
        TDataDirection Direction = TDataDirection::None;
        uint32_t Length = 0;
        std::vector<uint8_t> DataOut;
    };

    // identity: 28 characters of vendor (8), product (16), revision (4).
    explicit TRecordingDrive(std::string identity = "KELVADORVIRTUAL RECORDER1.00", uint8_t type = 0x05,
                             std::string path = "virtual:test.kvm")
        : identity_(std::move(identity)), type_(type), path_(std::move(path)) {
        identity_.resize(28, ' ');
    }

    std::string DevicePath() const override { return path_; }

    TPassThroughResult Execute(const TPassThroughRequest& request) override {
        std::lock_guard lock(mutex_);
        TRecorded rec;
        rec.Cdb.assign(request.Cdb.begin(), request.Cdb.begin() + request.CdbLength);
        rec.Direction = request.Direction;
        rec.Length = request.DataLength;
        if (request.Direction == TDataDirection::Out && request.Data)
            rec.DataOut.assign(request.Data, request.Data + request.DataLength);
        const uint8_t opcode = request.Cdb[0];
        if (opcode == 0x12) {
            std::vector<uint8_t> reply(96, 0);
            reply[0] = type_;
            std::memcpy(reply.data() + 8, identity_.data(), 28);
            std::memcpy(request.Data, reply.data(), std::min<size_t>(reply.size(), request.DataLength));
            TPassThroughResult r;
            r.Completed = true;
            return r;
        }
        recorded_.push_back(std::move(rec));
        TReply reply;
        if (auto q = queued_.find(opcode); q != queued_.end() && !q->second.empty()) {
            reply = q->second.front();
            q->second.pop_front();
        } else if (auto s = standing_.find(opcode); s != standing_.end()) {
            reply = s->second;
        }
        TPassThroughResult r;
        r.Completed = reply.Completed;
        r.ScsiStatus = reply.ScsiStatus;
        r.HostStatus = reply.HostStatus;
        r.SenseLength = static_cast<uint8_t>(std::min<size_t>(reply.Sense.size(), r.Sense.size()));
        std::copy_n(reply.Sense.begin(), r.SenseLength, r.Sense.begin());
        if (request.Direction == TDataDirection::In && request.Data) {
            std::memset(request.Data, 0, request.DataLength);
            if (!reply.Data.empty())
                std::memcpy(request.Data, reply.Data.data(), std::min<size_t>(reply.Data.size(), request.DataLength));
        }
        return r;
    }

    void Queue(uint8_t opcode, TReply reply) {
        std::lock_guard lock(mutex_);
        queued_[opcode].push_back(std::move(reply));
    }
    void Always(uint8_t opcode, TReply reply) {
        std::lock_guard lock(mutex_);
        standing_[opcode] = std::move(reply);
    }
    std::vector<TRecorded> Recorded() {
        std::lock_guard lock(mutex_);
        return recorded_;
    }
    std::vector<uint8_t> Opcodes() {
        std::lock_guard lock(mutex_);
        std::vector<uint8_t> ops;
        for (const auto& r : recorded_) ops.push_back(r.Cdb[0]);
        return ops;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        recorded_.clear();
    }

    static TReply CheckCondition(uint8_t key, uint8_t asc, uint8_t ascq) {
        TReply r;
        r.ScsiStatus = 0x02;
        r.Sense = std::vector<uint8_t>(18, 0);
        r.Sense[0] = 0x70;
        r.Sense[2] = key;
        r.Sense[7] = 10;
        r.Sense[12] = asc;
        r.Sense[13] = ascq;
        return r;
    }
    static TReply WithData(std::vector<uint8_t> data) {
        TReply r;
        r.Data = std::move(data);
        return r;
    }

private:
    std::string identity_;
    uint8_t type_;
    std::string path_;
    std::mutex mutex_;
    std::vector<TRecorded> recorded_;
    std::map<uint8_t, std::deque<TReply>> queued_;
    std::map<uint8_t, TReply> standing_;
};

// A /dev/sr* layer without nodes, so tests see only their software drives.
class TNoNodesLayer : public TPassThroughLayer {
public:
    std::vector<TDeviceNode> ListNodes() override { return {}; }
    int Open(const std::string&) override { return -1; }
    TPassThroughResult Execute(int, const TPassThroughRequest&) override { return {}; }
    void Close(int) override {}
};

}  // namespace kv::test
