#pragma once
#include <cstdint>
#include <string>

namespace kv {

class TSCSIDevice;

// How a write loop answers a failed WRITE of one block. A busy drive (status 08h) or one that is
// not ready (ASC 04h: its buffer is full, a long write is in progress) is asked again for as many
// tries as the writer allows. A failure without any reason (no sense: a platform I/O error, a
// timeout, a drive that answers "no sense") is tried again only for a few seconds in case it was
// passing: it is not a busy drive, and calling it one after a long wait hides what happened.
class TWriteRetry {
public:
    enum class EVerdict { Again, Busy, Failed };
    static constexpr int64_t kUnexplainedRetryMs = 3000;

    // `busyAttempts`: WRITEs of the block in all, the first included.
    // Made just before the first WRITE of the block.
    TWriteRetry(int busyAttempts, int64_t sleepMs);

    // Called after every failed WRITE of the block; sleeps before answering Again.
    EVerdict AfterFailure(const TSCSIDevice& device);

    // The reason of a failed WRITE for "WRITER ERROR [...]": the drive's text, or the text of an
    // empty sense when the failure left no text at all.
    static std::string Reason(const TSCSIDevice& device);

private:
    const int busyAttempts_;
    const int64_t sleepMs_;
    int attempts_ = 0;
    int64_t attemptStart_;
    int64_t unexplainedSince_ = -1;
};

}  // namespace kv
