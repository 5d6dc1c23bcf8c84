// READ CD (BEh) for digital audio extraction.
#include "device/SCSIDevice.h"
#include "platform/ByteOrder.h"
#include "transport/RequestInterface.h"

namespace kv {

bool TSCSIDevice::ReadCD(uint32_t lba, uint32_t blocks, uint8_t* buffer) {
    constexpr uint32_t kCdDaBlockBytes = 2352;
    uint8_t cdb[12] = {0xBE, 0x04};  // expected sector type: CD-DA
    PutBE32(cdb + 2, lba);
    PutBE24(cdb + 6, blocks);
    cdb[9] = 0x10;  // user data only: no sync, header, EDC or subchannel
    return Command(cdb, kSrbEventNotify | kSrbDirIn, buffer, blocks * kCdDaBlockBytes, 10 * 1000);
}

}  // namespace kv
