#include "DriveHarness.h"

namespace kv::vr::test {
namespace {

using ModePageTest = TRecorderTest;

// Pages the engine sends (write type, byte 3, block type, link size, packet size, session format).
struct TPage {
    uint8_t Byte2, Byte3, BlockType, LinkSize;
    uint32_t PacketSize;
    uint8_t SessionFormat;
};

std::vector<uint8_t> Build(const TPage& p) {
    auto page = TDriveHarness::WritePage(0, p.Byte3, p.BlockType);
    page[2] = p.Byte2;
    page[5] = p.LinkSize;
    PutBE32(&page[10], p.PacketSize);
    page[8] = p.SessionFormat;
    return page;
}

TEST_F(ModePageTest, EveryPageTheEngineBuildsIsAccepted) {
    auto& d = Insert(EMediumKind::CdR);
    const TPage pages[] = {
        {0x41, 0x04, 0x08, 0, 0, 0},      // CD TAO data, finalize
        {0x41, 0xC4, 0x08, 0, 0, 0},      // CD TAO data, open
        {0x60, 0xE5, 0x08, 0x10, 16, 0},  // DVD-R incremental
        {0x20, 0xC5, 0x08, 0x10, 0, 0},   // DVD-RW
        {0x22, 0x04, 0x08, 0x10, 0, 0},   // DVD+RW
        {0x22, 0xC4, 0x08, 0, 16, 0},     // DVD+R
        {0x41, 0xC0, 0x00, 0, 0, 0},      // audio TAO track
        {0x41, 0x04, 0x0D, 0, 0, 0x20},   // audio burner's non-audio TAO setting
        {0x42, 0x04, 0x00, 0, 0, 0},      // audio SAO
        {0x51, 0x04, 0x08, 0, 0, 0},      // test write
    };
    for (const auto& p : pages) {
        TReply r = d.ModeSelect(Build(p));
        EXPECT_TRUE(r.Good()) << std::hex << int{p.Byte2} << "/" << int{p.Byte3} << ": " << r.Sense();
    }
    TReply back = d.ModeSense(0x05);
    ASSERT_TRUE(back.Good());
    EXPECT_EQ(GetBE16(&back.Data[0]), back.Data.size() - 2);
    EXPECT_EQ(back.Data[8], 0x05);
    EXPECT_EQ(back.Data[10], 0x51);
}

TEST_F(ModePageTest, PagesARealDriveRejectsLeaveTheCurrentPageUnchanged) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoData(true).Good());
    const std::vector<uint8_t> before = d.ModeSense(0x05).Data;

    auto raw = Build({0x43, 0x04, 0x08, 0, 0, 0});  // raw write type
    EXPECT_EQ(d.ModeSelect(raw).Sense(), sense::kInvalidFieldInParameters);
    auto reservedBlockType = Build({0x41, 0x04, 0x05, 0, 0, 0});
    EXPECT_EQ(d.ModeSelect(reservedBlockType).Sense(), sense::kInvalidFieldInParameters);
    auto reservedMultisession = Build({0x41, 0x84, 0x08, 0, 0, 0});
    EXPECT_EQ(d.ModeSelect(reservedMultisession).Sense(), sense::kInvalidFieldInParameters);
    auto fixedPacketWithoutSize = Build({0x40, 0x24, 0x08, 0, 0, 0});
    EXPECT_EQ(d.ModeSelect(fixedPacketWithoutSize).Sense(), sense::kInvalidFieldInParameters);
    auto badSessionFormat = Build({0x41, 0x04, 0x08, 0, 0, 0x30});
    EXPECT_EQ(d.ModeSelect(badSessionFormat).Sense(), sense::kInvalidFieldInParameters);
    auto wrongLength = Build({0x41, 0x04, 0x08, 0, 0, 0});
    wrongLength[1] = 0x20;
    EXPECT_EQ(d.ModeSelect(wrongLength).Sense(), sense::kInvalidFieldInParameters);
    auto capabilities = d.ModeSense(0x2A).Data;
    capabilities.erase(capabilities.begin(), capabilities.begin() + 8);
    EXPECT_EQ(d.ModeSelect(capabilities).Sense(), sense::kInvalidFieldInParameters);

    // A list shorter than the page it announces, and a save request.
    std::vector<uint8_t> list(8, 0);
    auto page = Build({0x41, 0x04, 0x08, 0, 0, 0});
    list.insert(list.end(), page.begin(), page.begin() + 20);
    EXPECT_EQ(d.Run({0x55, 0x10, 0, 0, 0, 0, 0, 0, 28, 0}, TDataDirection::Out, list).Sense(),
              sense::kParameterListLength);
    EXPECT_EQ(d.Run({0x55, 0x11, 0, 0, 0, 0, 0, 0, 60, 0}, TDataDirection::Out, std::vector<uint8_t>(60, 0))
                  .Sense(),
              sense::kInvalidFieldInCdb);

    EXPECT_EQ(d.ModeSense(0x05).Data, before);
}

TEST_F(ModePageTest, BlockDescriptorInTheListIsSkipped) {
    auto& d = Insert(EMediumKind::CdR);
    std::vector<uint8_t> list(16, 0);
    list[7] = 8;
    auto page = Build({0x42, 0x04, 0x00, 0, 0, 0});
    list.insert(list.end(), page.begin(), page.end());
    ASSERT_TRUE(d.Run({0x55, 0x10, 0, 0, 0, 0, 0, 0, 68, 0}, TDataDirection::Out, list).Good());
    EXPECT_EQ(d.ModeSense(0x05).Data[10], 0x42);
}

class PlainDriveTest : public TRecorderTest {
protected:
    TDriveModel Model() const override {
        TDriveModel m;
        m.UnderrunFree = false;
        m.TestWrite = false;
        m.Dvd = false;
        return m;
    }
};

TEST_F(PlainDriveTest, FeaturesTheDriveLacksAreRefusedAndNotAdvertised) {
    auto& d = Insert(EMediumKind::CdR);
    EXPECT_EQ(d.ModeSelect(TDriveHarness::WritePage(1, 0x04, 8, true, false)).Sense(),
              sense::kInvalidFieldInParameters);
    EXPECT_EQ(d.ModeSelect(TDriveHarness::WritePage(1, 0x04, 8, false, true)).Sense(),
              sense::kInvalidFieldInParameters);
    EXPECT_TRUE(d.ModeSelect(TDriveHarness::WritePage(1, 0x04, 8, false, false)).Good());
    TReply caps = d.ModeSense(0x2A, 2);
    ASSERT_TRUE(caps.Good());
    EXPECT_EQ(caps.Data[8 + 3] & 0x34, 0);                   // no DVD-R, DVD-RAM or test write
    EXPECT_EQ(caps.Data[8 + 4] & 0x80, 0);                   // no underrun protection
    EXPECT_EQ(d.GetConfiguration(2, 0x2B).Data.size(), 8u);  // no DVD+R feature at all

    // A DVD in a CD-only drive is no usable medium.
    std::string error;
    auto dvd = TMedium::Create(PathFor("dvd.kvm"), EMediumKind::DvdPlusR, 0, error);
    ASSERT_TRUE(dvd) << error;
    recorder_->Insert(std::move(dvd));
    TSense seen = sense::kBecomingReady;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (seen == sense::kBecomingReady && std::chrono::steady_clock::now() < deadline) seen = d.Tur().Sense();
    EXPECT_EQ(seen, sense::kIncompatibleMediumInstalled);
    EXPECT_EQ(d.Profile(), 0);
    EXPECT_EQ(d.ReadDiscInfo().Sense(), sense::kIncompatibleMediumInstalled);
}

TEST_F(ModePageTest, CapabilitiesPageFollowsTheSelectedSpeed) {
    auto& d = Insert(EMediumKind::CdR);
    TReply caps = d.ModeSense(0x2A);
    ASSERT_TRUE(caps.Good());
    const uint8_t* p = &caps.Data[8];
    EXPECT_EQ(p[0], 0x2A);
    EXPECT_EQ(p[1] + 2u, caps.Data.size() - 8);
    const uint16_t descriptors = GetBE16(p + 30);
    EXPECT_GT(descriptors, 0);
    EXPECT_EQ(GetBE16(p + 20), GetBE16(p + 18));
    // SET CD SPEED rounds down to a supported speed.
    ASSERT_TRUE(d.SetCdSpeed(0xFFFF, 2000).Good());
    caps = d.ModeSense(0x2A);
    EXPECT_EQ(GetBE16(&caps.Data[8 + 28]), 1764);
    EXPECT_EQ(GetBE16(&d.ModeSense(0x2A, 2).Data[8 + 28]), GetBE16(&caps.Data[8 + 18]));  // default: maximum
    const std::vector<uint8_t> changeable = d.ModeSense(0x2A, 1).Data;
    EXPECT_TRUE(std::all_of(changeable.begin() + 10, changeable.end(), [](uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace kv::vr::test
