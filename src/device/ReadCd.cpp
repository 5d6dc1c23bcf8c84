// READ CD (BEh): digital audio extraction, whole sectors and the sub-channels.
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

bool TSCSIDevice::ReadCdBlocks(uint32_t lba, uint32_t blocks, uint8_t sectorType, uint8_t fields, uint8_t subChannel,
                               uint8_t* buffer, uint32_t length) {
    uint8_t cdb[12] = {0xBE, static_cast<uint8_t>((sectorType & 0x07) << 2)};
    PutBE32(cdb + 2, lba);
    PutBE24(cdb + 6, blocks);
    cdb[9] = fields;
    cdb[10] = subChannel & 0x07;
    return Command(cdb, kSrbEventNotify | kSrbDirIn, buffer, length, 30 * 1000);
}

}  // namespace kv
