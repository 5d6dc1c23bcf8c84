// A request library for tests: answers the request-block ABI the way an external library would.
// Target 0 of adapter 0 is a CD/DVD drive; BLANK never completes; START STOP UNIT completes
// asynchronously from another thread and signals the completion event.
#include <sys/eventfd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "transport/Srb.h"

namespace {

std::mutex gMutex;
std::vector<std::vector<uint8_t>> gBlocks;  // copies of every block received
std::vector<std::thread> gWorkers;

void Finish(kv::TSrbView srb, uint8_t status) {
    srb.SetStatus(status);
    if ((srb.Flags() & kv::kSrbEventNotify) && srb.PostEvent() > 0) eventfd_write(srb.PostEvent(), 1);
}

[[maybe_unused]] void Execute(kv::TSrbView srb) {
    if (srb.HostAdapter() != 0 || srb.Target() != 0 || srb.Lun() != 0) {
        Finish(srb, kv::kSrbNoDevice);
        return;
    }
    switch (srb.Cdb()[0]) {
        case 0x12: {
            uint8_t reply[36] = {0x05};
            std::memcpy(reply + 8, "LIBRARY FAKE RECORDER   1.00", 28);
            std::memcpy(srb.DataPointer(), reply, std::min<uint32_t>(36, srb.DataLength()));
            Finish(srb, kv::kSrbDone);
            break;
        }
        case 0xA1: break;  // hangs: stays pending, never signalled
        case 0x1B: {
            uint8_t* block = srb.Raw();
            std::lock_guard lock(gMutex);
            gWorkers.emplace_back([block] {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                Finish(kv::TSrbView(block), kv::kSrbDone);
            });
            break;
        }
        default: Finish(srb, kv::kSrbDone); break;
    }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) uint32_t GetASPI32SupportInfo() { return (uint32_t{kv::kSrbDone} << 8) | 1; }

#ifndef FAKE_LIBRARY_WITHOUT_SEND
__attribute__((visibility("default"))) uint32_t SendASPI32Command(void* block) {
    kv::TSrbView srb(static_cast<uint8_t*>(block));
    {
        std::lock_guard lock(gMutex);
        gBlocks.emplace_back(srb.Raw(), srb.Raw() + kv::kSrbBlockSize);
    }
    switch (srb.Command()) {
        case kv::kSrbHostAdapterInquiry:
            srb.SetByte(8, 1);
            Finish(srb, kv::kSrbDone);
            break;
        case kv::kSrbGetDiskInfo:
            srb.SetDriveNumber(7);  // H:
            Finish(srb, kv::kSrbDone);
            break;
        case kv::kSrbExecScsiCommand: Execute(srb); break;
        default: Finish(srb, kv::kSrbError); break;
    }
    return srb.Status();
}
#endif

// Test access: number of blocks received and a copy of one of them.
__attribute__((visibility("default"))) size_t FakeLibraryBlockCount() {
    std::lock_guard lock(gMutex);
    return gBlocks.size();
}
__attribute__((visibility("default"))) void FakeLibraryBlock(size_t index, uint8_t* out) {
    std::lock_guard lock(gMutex);
    std::memcpy(out, gBlocks.at(index).data(), kv::kSrbBlockSize);
}
__attribute__((visibility("default"))) void FakeLibraryJoinWorkers() {
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(gMutex);
        workers.swap(gWorkers);
    }
    for (auto& t : workers) t.join();
}

}  // extern "C"
