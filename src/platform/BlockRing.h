#pragma once
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "platform/EngineClock.h"

namespace kv {

// A fixed pool of equal blocks that carries a stream from one producing thread to one consuming
// thread, in order and without copies: the producer reads straight into the pool, the consumer
// writes straight out of it. Neighbouring blocks are neighbours in memory, so either side can
// move several of them with one system call. A side sleeps only when it has nothing to do and is
// woken once a whole batch waits for it, so a stream of many blocks costs one wake-up per batch
// rather than one per block. Every block carries its length and the producer's `TInfo`.
//
// The consumer waits only while it holds no block; it releases the blocks it took in the order
// it took them.
template <typename TInfo>
class TBlockRing {
public:
    // A run of neighbouring blocks taken together; `Info` is that of its last block.
    struct TRun {
        uint8_t* Data = nullptr;
        int Bytes = 0;
        int Blocks = 0;
        TInfo Info{};
    };

    // `blocks` blocks of `blockBytes`; at most `heldLimit` of them wait for the consumer at once.
    TBlockRing(int blockBytes, int blocks, int heldLimit)
        : blockBytes_(std::max(blockBytes, 1)),
          blocks_(std::max(blocks, 2)),
          heldLimit_(std::clamp(heldLimit, 1, blocks_)),
          // A quarter of the pool, so that one side refills while the other still has three
          // quarters to work on. A consumer that found the pool empty is woken after at most 16
          // blocks, as a drive's buffer drains meanwhile; the producer, which has three quarters of
          // a large pool in hand, refills up to 64 blocks per wake-up.
          batch_(std::clamp(blocks_ / 4, 1, 16)),
          roomBatch_(std::clamp(blocks_ / 4, 1, 64)),
          memory_(new(std::align_val_t{kAlignment}) uint8_t[static_cast<size_t>(blockBytes_) * blocks_]),
          slots_(static_cast<size_t>(blocks_)) {}

    int BlockBytes() const { return blockBytes_; }

    // --- producer ---

    // Where the next byte of the stream goes.
    uint8_t* Cursor() {
        return memory_.get() + Slot(published_.load(std::memory_order_relaxed)) * blockBytes_ + openFill_;
    }
    // Bytes that may be written at Cursor() now, in one piece: the rest of the open block and the
    // free blocks behind it up to the end of the pool.
    int Room() const {
        const int64_t p = published_.load(std::memory_order_relaxed);
        const int64_t writable = WritableBlocks(p);
        if (writable <= 0) return 0;
        const int64_t contiguous = std::min<int64_t>(writable, blocks_ - Slot(p));
        return static_cast<int>(contiguous * blockBytes_) - openFill_;
    }
    // Adds `bytes` written at Cursor() (at most Room()); every block they complete goes to the
    // consumer with `info`.
    void Advance(int bytes, const TInfo& info = {}) {
        int64_t p = published_.load(std::memory_order_relaxed);
        const int64_t first = p;
        int fill = openFill_ + bytes;
        while (fill >= blockBytes_) {
            slots_[Slot(p)] = {blockBytes_, info};
            ++p;
            fill -= blockBytes_;
        }
        openFill_ = fill;
        heldBytes_ += bytes;
        if (p != first) Publish(p);
    }
    // Hands the open block to the consumer as it stands (a short block); nothing when it is empty.
    void CloseBlock(const TInfo& info = {}) {
        if (openFill_ == 0) return;
        const int64_t p = published_.load(std::memory_order_relaxed);
        slots_[Slot(p)] = {openFill_, info};
        openFill_ = 0;
        Publish(p + 1);
    }
    // Nothing more comes after the blocks handed over so far (the open block is closed first).
    void CloseStream() {
        CloseBlock();
        closed_ = true;
        std::lock_guard<std::mutex> guard(mutex_);
        blocksReady_.notify_all();
    }
    // Waits up to `engineMs` until a batch of blocks is free, or Stop. True when it is (or on
    // Stop): a producer that woke on the time limit alone waits again rather than trickle in the
    // few blocks freed so far.
    bool WaitForRoom(int64_t engineMs) {
        std::unique_lock<std::mutex> guard(mutex_);
        producerWaiting_ = true;
        const bool woken = roomFreed_.wait_for(guard, EngineClock::ToWall(engineMs), [this] {
            return stopped_.load() || WritableBlocks(published_.load()) >= roomBatch_;
        });
        producerWaiting_ = false;
        return woken;
    }

    // --- consumer ---

    // Takes the oldest block not taken yet, and up to `maxBlocks` - 1 full blocks that follow it in
    // memory. False when none is ready, or after Stop.
    bool Take(TRun& run, int maxBlocks = 1) {
        if (stopped_) return false;
        const int64_t t = taken_.load(std::memory_order_relaxed);
        const int64_t p = published_.load();
        if (t == p) return false;
        const int64_t slot = Slot(t);
        int count = 1;
        int bytes = slots_[slot].Length;
        while (count < maxBlocks && t + count < p && slot + count < blocks_ &&
               slots_[slot + count - 1].Length == blockBytes_) {
            bytes += slots_[slot + count].Length;
            ++count;
        }
        run = {memory_.get() + slot * blockBytes_, bytes, count, slots_[slot + count - 1].Info};
        heldBytes_ -= bytes;
        taken_ = t + count;
        return true;
    }
    // Gives the oldest `blocks` taken blocks back to the producer.
    void Release(int blocks) {
        released_ = released_.load(std::memory_order_relaxed) + blocks;
        if (producerWaiting_ && WritableBlocks(published_.load()) >= roomBatch_) {
            std::lock_guard<std::mutex> guard(mutex_);
            roomFreed_.notify_one();
        }
    }
    // Waits up to `engineMs` until a batch of blocks is ready, the stream is closed, or Stop.
    void WaitForBlocks(int64_t engineMs) {
        std::unique_lock<std::mutex> guard(mutex_);
        consumerWaiting_ = true;
        blocksReady_.wait_for(guard, EngineClock::ToWall(engineMs),
                              [this] { return stopped_.load() || closed_.load() || ReadyBlocks() >= batch_; });
        consumerWaiting_ = false;
    }
    // Closed and every block taken.
    bool Drained() const { return closed_ && taken_.load() == published_.load(); }

    // --- either side ---

    // Ends the hand-over: Take finds nothing from now on, and both sides are woken.
    void Stop() {
        stopped_ = true;
        std::lock_guard<std::mutex> guard(mutex_);
        blocksReady_.notify_all();
        roomFreed_.notify_all();
    }
    bool Stopped() const { return stopped_; }
    // Blocks handed over and not taken yet.
    int ReadyBlocks() const { return static_cast<int>(published_.load() - taken_.load()); }
    // Bytes written and not taken yet, the open block's included.
    int64_t HeldBytes() const { return heldBytes_.load(); }

private:
    static constexpr size_t kAlignment = 4096;
    struct TSlot {
        int Length = 0;
        TInfo Info{};
    };
    struct TAlignedDelete {
        void operator()(uint8_t* p) const { ::operator delete[](p, std::align_val_t{kAlignment}); }
    };

    int64_t Slot(int64_t block) const { return block % blocks_; }
    // Blocks the producer may fill, the open one included: the pool's free blocks, and no more
    // than the held limit allows.
    int64_t WritableBlocks(int64_t p) const {
        return std::min<int64_t>(blocks_ - (p - released_.load()), heldLimit_ - (p - taken_.load()));
    }
    void Publish(int64_t p) {
        // Sequentially consistent with the waiting flags: either the consumer sees the new blocks
        // before it sleeps, or this side sees it waiting and wakes it.
        published_ = p;
        if (consumerWaiting_ && ReadyBlocks() >= batch_) {
            std::lock_guard<std::mutex> guard(mutex_);
            blocksReady_.notify_one();
        }
    }

    const int blockBytes_;
    const int blocks_;
    const int heldLimit_;
    const int batch_;      // ready blocks that wake a waiting consumer
    const int roomBatch_;  // free blocks that wake a waiting producer
    std::unique_ptr<uint8_t[], TAlignedDelete> memory_;
    std::vector<TSlot> slots_;  // a slot is written by the producer before it is published
    int openFill_ = 0;          // producer only

    std::atomic<int64_t> published_{0};
    std::atomic<int64_t> taken_{0};
    std::atomic<int64_t> released_{0};
    std::atomic<int64_t> heldBytes_{0};
    std::atomic<bool> closed_{false};
    std::atomic<bool> stopped_{false};
    std::atomic<bool> producerWaiting_{false};
    std::atomic<bool> consumerWaiting_{false};
    std::mutex mutex_;
    std::condition_variable roomFreed_;
    std::condition_variable blocksReady_;
};

}  // namespace kv
