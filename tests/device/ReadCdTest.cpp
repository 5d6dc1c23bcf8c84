#include "DeviceFixture.h"

namespace kv::test {
namespace {

class ReadCdTest : public DeviceFixture {};

// CD-DA sector type, 24-bit transfer length, user data only, 2352 bytes a block coming in.
TEST_F(ReadCdTest, SendsCdDaUserDataCdb) {
    auto drive = AddDrive();
    Select();
    std::vector<uint8_t> buffer(27 * 2352);
    ASSERT_TRUE(device.ReadCD(0x01020304, 27, buffer.data()));
    const auto rec = drive->Recorded();
    ASSERT_EQ(rec.size(), 1u);
    const std::vector<uint8_t> cdb = {0xBE, 0x04, 0x01, 0x02, 0x03, 0x04, 0x00, 0x00, 0x1B, 0x10, 0x00, 0x00};
    EXPECT_EQ(rec[0].Cdb, cdb);
    EXPECT_EQ(rec[0].Direction, TDataDirection::In);
    EXPECT_EQ(rec[0].Length, 27u * 2352u);
}

}  // namespace
}  // namespace kv::test
