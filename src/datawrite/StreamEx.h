#pragma once
#include <cstdint>
#include <string>

namespace kv {

// Small streams with 64-bit positions for every file access of image building and streaming.
class TStreamEx {
public:
    enum : uint16_t { kFromBeginning = 0, kFromCurrent = 1, kFromEnd = 2 };
    TStreamEx() = default;
    virtual ~TStreamEx() = default;
    TStreamEx(const TStreamEx&) = delete;
    TStreamEx& operator=(const TStreamEx&) = delete;

    virtual void SetSize(int64_t newSize) { (void)newSize; }
    virtual int Read(void* buffer, int count) = 0;
    virtual int Write(const void* buffer, int count) = 0;
    virtual int64_t Seek(int64_t offset, uint16_t origin) = 0;
    int64_t GetSize();
};

// A stream over an operating-system file descriptor. Read and Write return the bytes moved,
// 0 when the call fails; LastErrno() tells why.
class THandleStreamEx : public TStreamEx {
public:
    explicit THandleStreamEx(int handle) : handle_(handle) {}
    void SetSize(int64_t newSize) override;  // throws std::system_error
    int Read(void* buffer, int count) override;
    int Write(const void* buffer, int count) override;
    int64_t Seek(int64_t offset, uint16_t origin) override;
    int Handle() const { return handle_; }
    int LastErrno() const { return lastErrno_; }

protected:
    int handle_ = -1;
    int lastErrno_ = 0;
};

// Opens or creates a file. Mode 0xFFFF creates (or truncates) it for writing; any other mode is
// an access value whose low two bits are 0 read, 1 write, 2 read-write (0x40: read, deny none).
// Throws std::system_error when the file cannot be opened or created.
class TFileStreamEx : public THandleStreamEx {
public:
    static constexpr uint16_t kCreate = 0xFFFF;
    static constexpr uint16_t kOpenReadShared = 0x40;

    TFileStreamEx(const std::string& fileName, uint16_t mode);
    // Takes over `handle`, a file just opened as `fileName`; throws (errno) when it is -1.
    TFileStreamEx(int handle, const std::string& fileName);
    ~TFileStreamEx() override;
    // Closes the handle and reports whether the close succeeded (a full disk can show here).
    bool Close();
};

}  // namespace kv
