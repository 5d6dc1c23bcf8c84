#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "datawrite/ImageOutputFile.h"

namespace kv {

// Where the write thread puts the blocks: the recorder or an ISO file.
class TWriteTarget {
public:
    virtual ~TWriteTarget() = default;
    virtual bool Setup(std::string& error) = 0;
    // Writes `length` bytes: one cache block, or up to BlocksPerWrite() of them in a row.
    virtual bool WriteBlock(const uint8_t* data, int length, std::string& error) = 0;
    virtual int BlocksPerWrite() const { return 1; }
    // Ends the write; `success` tells whether every block arrived. False with an error text when
    // the end itself fails.
    virtual bool Finish(bool success, std::string& error) = 0;
    virtual bool IsFile() const = 0;
};

// File output: the drive is never addressed, also after an error or abort.
class TFileWriteTarget : public TWriteTarget {
public:
    explicit TFileWriteTarget(const std::string& path) : file_(path) {}
    bool Setup(std::string& error) override;
    bool WriteBlock(const uint8_t* data, int length, std::string& error) override;
    bool Finish(bool success, std::string& error) override;
    bool IsFile() const override { return true; }
    // A file takes a megabyte a write: fewer system calls, and the reader refills as much meanwhile.
    int BlocksPerWrite() const override { return 16; }

private:
    TImageOutputFile file_;
};

}  // namespace kv
