#include "DeviceFixture.h"
#include "Replies.h"

namespace kv::test {
namespace {

class WriteParametersTest : public DeviceFixture {
protected:
    std::shared_ptr<TRecordingDrive> drive;
    void SetUp() override {
        DeviceFixture::SetUp();
        drive = AddDrive();
        Select();
        device.Capabilities = 0;
        device.CapabilitiesPage = TCapabilitiesPage{};
    }
    // The drive's current page 05h at `offset`, with a recognisable tail (bytes 16 to 53).
    void PageAt(size_t offset) {
        std::vector<uint8_t> reply(512, 0);
        reply[offset] = 0x05;
        reply[offset + 1] = 0x32;
        for (size_t i = 16; i < 54; ++i) reply[offset + i] = static_cast<uint8_t>(0x80 + i);
        drive->Always(0x5A, TRecordingDrive::WithData(reply));
    }
    // The page as sent: after the 8-byte header of the MODE SELECT parameter list.
    std::vector<uint8_t> Sent() {
        const auto rec = drive->Recorded();
        EXPECT_FALSE(rec.empty());
        const auto& select = rec.back();
        EXPECT_EQ(select.Cdb, (std::vector<uint8_t>{0x55, 0x10, 0, 0, 0, 0, 0, 0, 0x3C, 0}));
        EXPECT_EQ(select.DataOut.size(), 60u);
        for (size_t i = 0; i < 8; ++i) EXPECT_EQ(select.DataOut[i], 0) << "header byte " << i;
        return std::vector<uint8_t>(select.DataOut.begin() + 8, select.DataOut.end());
    }
};

TEST_F(WriteParametersTest, DvdRamNeverTouchesTheDrive) {
    EXPECT_TRUE(device.SetWriteParameters(true, true, kMediumDvdRam, true));
    EXPECT_TRUE(drive->Recorded().empty());
}

TEST_F(WriteParametersTest, SettingsByMedium) {
    struct TRow {
        uint8_t Medium;
        bool KeepOpen;
        uint8_t Byte2, Byte3, LinkSize, Byte6;
        uint32_t Packet;
    };
    const std::vector<TRow> rows = {
        {kMediumCdR, false, 0x01, 0xC4, 0, 0, 0},         {kMediumCdRw, false, 0x01, 0xC4, 0, 0, 0},
        {kMediumDvdRom, false, 0x01, 0xC4, 0, 0, 0},      {kMediumDdcdRw, false, 0x01, 0xC4, 0, 0, 0},
        {kMediumDvdR, false, 0x20, 0xE5, 0x10, 0, 16},  // BUFE of the DVD-R default cleared without protection
           {kMediumDvdRwRestricted, false, 0x20, 0xC5, 0x10, 0, 0},
        {kMediumDvdRwSequential, false, 0x20, 0xC5, 0x10, 0, 0},
        {kMediumDvdPlusRw, false, 0x22, 0x04, 0x10, 0, 0}, {kMediumDvdPlusR, false, 0x22, 0xC4, 0, 0, 16},
        {kMediumDvdPlusRDl, true, 0x22, 0xC4, 0, 0, 0},   {kMediumDvdPlusRDl, false, 0x22, 0x04, 0, 0, 0},
    };
    PageAt(8);
    for (const auto& r : rows) {
        drive->Clear();
        ASSERT_TRUE(device.SetWriteParameters(false, false, r.Medium, r.KeepOpen));
        const auto page = Sent();
        const std::string where = "medium " + std::to_string(r.Medium);
        EXPECT_EQ(drive->Recorded()[0].Cdb, (std::vector<uint8_t>{0x5A, 0, 0x05, 0, 0, 0, 0, 0x02, 0x00, 0})) << where;
        EXPECT_EQ(page[0], 0x05) << where;
        EXPECT_EQ(page[1], 0x32) << where;
        EXPECT_EQ(page[2], r.Byte2) << where;
        EXPECT_EQ(page[3], r.Byte3) << where;
        EXPECT_EQ(page[4], 0x08) << where;
        EXPECT_EQ(page[5], r.LinkSize) << where;
        EXPECT_EQ(page[6], r.Byte6) << where;
        EXPECT_EQ(GetBE32(page.data() + 10), r.Packet) << where;
        EXPECT_EQ(GetBE16(page.data() + 14), 150) << where;
        EXPECT_EQ(page[16], 0x90) << where << ": catalog number kept";
        EXPECT_EQ(page[51], 0x80 + 51) << where << ": subheader kept";
    }
}

TEST_F(WriteParametersTest, PageBehindBlockDescriptorLosesItsTail) {
    PageAt(16);
    ASSERT_TRUE(device.SetWriteParameters(false, false, kMediumCdR, false));
    const auto page = Sent();
    EXPECT_EQ(page[0], 0x05);
    EXPECT_EQ(page[44], 0x80 + 44);
    for (size_t i = 45; i < 52; ++i) EXPECT_EQ(page[i], 0) << i;
}

TEST_F(WriteParametersTest, TestWriteFinalizeAndModelBits) {
    PageAt(8);
    device.Capabilities = WriteTest;
    device.FinalizeDisc = false;
    ASSERT_TRUE(device.SetWriteParameters(true, false, kMediumCdR, false));
    auto page = Sent();
    EXPECT_EQ(page[2], 0x11) << "test write bit";
    EXPECT_EQ(page[3], 0x04) << "a test write closes the session";

    drive->Clear();
    device.FinalizeDisc = true;
    ASSERT_TRUE(device.SetWriteParameters(false, false, kMediumCdR, false));
    EXPECT_EQ(Sent()[3], 0x04);

    drive->Clear();
    device.Capabilities = 0;
    ASSERT_TRUE(device.SetWriteParameters(true, false, kMediumCdR, false));
    EXPECT_EQ(Sent()[2], 0x01) << "no test write without the capability";

    drive->Clear();
    device.SetLinkSizeValid = true;
    ASSERT_TRUE(device.SetWriteParameters(false, false, kMediumCdR, false));
    EXPECT_EQ(Sent()[2], 0x21);
}

TEST_F(WriteParametersTest, UnderrunProtectionRules) {
    PageAt(8);
    device.Capabilities = TCapability::UnderrunProtection | WriteTest;
    ASSERT_TRUE(device.SetWriteParameters(false, true, kMediumCdR, false));
    EXPECT_EQ(Sent()[2], 0x41);
    drive->Clear();
    ASSERT_TRUE(device.SetWriteParameters(false, false, kMediumCdR, false));
    EXPECT_EQ(Sent()[2], 0x01);

    // DVD-RW: the test bit never survives, BUFE comes back only from the capabilities page.
    drive->Clear();
    ASSERT_TRUE(device.SetWriteParameters(true, true, kMediumDvdRwSequential, false));
    EXPECT_EQ(Sent()[2], 0x20);
    drive->Clear();
    device.CapabilitiesPage.Raw[4] = 0x80;
    ASSERT_TRUE(device.SetWriteParameters(true, true, kMediumDvdRwSequential, false));
    EXPECT_EQ(Sent()[2], 0x60);

    // DVD+R DL keeps what the capability set decided; others take the page's word too.
    drive->Clear();
    device.Capabilities = 0;
    ASSERT_TRUE(device.SetWriteParameters(false, true, kMediumDvdPlusRDl, false));
    EXPECT_EQ(Sent()[2], 0x22);
    drive->Clear();
    ASSERT_TRUE(device.SetWriteParameters(false, true, kMediumCdR, false));
    EXPECT_EQ(Sent()[2], 0x41);
    drive->Clear();
    device.Capabilities = TCapability::UnderrunProtection;
    ASSERT_TRUE(device.SetWriteParameters(false, true, kMediumDvdPlusRDl, false));
    EXPECT_EQ(Sent()[2], 0x62);
}

TEST_F(WriteParametersTest, FailedModeSenseSendsNothing) {
    drive->Always(0x5A, Failed());
    EXPECT_FALSE(device.SetWriteParameters(false, false, kMediumCdR, false));
    EXPECT_EQ(drive->Opcodes(), (std::vector<uint8_t>{0x5A}));
    PageAt(8);
    drive->Always(0x55, Failed());
    EXPECT_FALSE(device.SetWriteParameters(false, false, kMediumCdR, false));
}

}  // namespace
}  // namespace kv::test
