#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "datawrite/WriteTarget.h"

namespace kv {

class TZelBurner;

// Medium-dependent facts of a data write.
bool IsOverwritableForDescriptorCopy(uint8_t medium);
bool NeedsStreamingDescriptor(uint8_t medium);
// "4.0X (5,540 KB/s)" on DVD and BD media, "40X (7,056 KB/s)" on CD media and DVD+R DL.
std::string WriteSpeedText(uint8_t medium, uint32_t kbs);

// Disc output of the write thread: the drive setup before the data, the WRITEs with their
// retries, and the flush, close and reset of the drive afterwards.
class TDriveWriteTarget : public TWriteTarget {
public:
    static constexpr int kBusyAttempts = 10000;
    static constexpr int kBusyRetryMs = 600;
    static constexpr int kCloseAttempts = 1000;
    static constexpr int kBufferPollBlocks = 5;
    static constexpr int kDvdWriteBytes = 65536;

    // `imageSectors`: sectors of the stream; `fromImageFile`: the stream is an image file, which
    // is written from sector 0 and gets no descriptor copy.
    TDriveWriteTarget(TZelBurner& burner, int64_t imageSectors, bool fromImageFile);
    bool Setup(std::string& error) override;
    bool WriteBlock(const uint8_t* data, int length, std::string& error) override;
    bool Finish(bool success, std::string& error) override;
    bool IsFile() const override { return false; }

private:
    void SendStreaming();
    void PrepareDvdR();
    void AnnounceStart(uint16_t speed);
    bool WriteDescriptorCopy(std::string& error);
    bool WriteUdfAnchorCopy(std::string& error);
    bool WriteFirstBlock(uint32_t lba, const uint8_t* data, int length, std::string& error);
    bool FormatUnformattedDvdPlusRw();
    bool WriteWithRetries(uint32_t lba, const uint8_t* data, int length, std::string& error);
    void PollBuffer();
    void FlushDrive();
    void CloseDisc();
    void CloseCdSession();
    void ResetDrive();

    TZelBurner& burner_;
    int64_t imageSectors_;
    bool fromImageFile_;
    uint8_t medium_ = 0;
    uint32_t sessionStart_ = 0;
    uint8_t sessionNumber_ = 1;
    bool bufferQueryWorks_ = false;
    bool firstBlock_ = true;
    int bufferCountdown_ = kBufferPollBlocks;
    int64_t sectorCounter_ = 0;
    std::vector<uint8_t> padded_;
};

}  // namespace kv
