#include "DriveHarness.h"

namespace kv::vr::test {
namespace {

struct TBlankCase {
    EMediumKind Kind;
    uint16_t Profile;
    uint8_t DiscStatus;
    bool Erasable;
    uint32_t Capacity;
};

class BlankMediaTest : public TRecorderTest, public ::testing::WithParamInterface<TBlankCase> {};

TEST_P(BlankMediaTest, FreshMediumReportsWhatARealDriveReports) {
    const TBlankCase& c = GetParam();
    auto& d = Insert(c.Kind);
    EXPECT_EQ(d.Profile(), c.Profile);
    auto info = d.DiscInfo();
    EXPECT_EQ(info.Status, c.DiscStatus);
    EXPECT_EQ(info.Erasable, c.Erasable);
    EXPECT_EQ(info.Sessions, 1);
    EXPECT_EQ(info.LastTrackLast, 1);

    TReply capacities = d.ReadFormatCapacities();
    ASSERT_TRUE(capacities.Good()) << capacities.Sense();
    ASSERT_GE(capacities.Data.size(), 12u);
    EXPECT_EQ(capacities.Data[3] % 8, 0);
    EXPECT_EQ(GetBE32(&capacities.Data[4]), c.Capacity);

    const bool overwritable = Traits(c.Kind).Overwritable;
    if (!overwritable) {
        // The invisible track spans the whole medium and is where writing starts.
        auto track = d.TrackInfo(0xFF);
        EXPECT_EQ(track.Number, 1);
        EXPECT_TRUE(track.Blank);
        EXPECT_TRUE(track.NwaValid);
        EXPECT_EQ(track.Nwa, 0u);
        EXPECT_EQ(track.Free, c.Capacity);
        EXPECT_EQ(d.ReadToc(0).Sense(), sense::kInvalidFieldInCdb);  // no TOC on a blank disc
        TReply capacity = d.ReadCapacity();
        ASSERT_TRUE(capacity.Good());
        EXPECT_EQ(GetBE32(&capacity.Data[0]), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(AllWritableMedia, BlankMediaTest,
                         ::testing::Values(TBlankCase{EMediumKind::CdR, 0x0009, 0, false, 359849},
                                           TBlankCase{EMediumKind::CdRw, 0x000A, 0, true, 359849},
                                           TBlankCase{EMediumKind::DvdR, 0x0011, 0, false, 2298496},
                                           TBlankCase{EMediumKind::DvdRwSequential, 0x0014, 0, true, 2298496},
                                           TBlankCase{EMediumKind::DvdRwRestricted, 0x0013, 2, true, 2298496},
                                           TBlankCase{EMediumKind::DvdPlusR, 0x001B, 0, false, 2295104},
                                           TBlankCase{EMediumKind::DvdPlusRw, 0x001A, 0, true, 2295104},
                                           TBlankCase{EMediumKind::DvdPlusRDualLayer, 0x002B, 0, false,
                                                      4173824},
                                           TBlankCase{EMediumKind::DvdRam, 0x0012, 3, true, 2236704}));

using MediaIdentityTest = TRecorderTest;

TEST_F(MediaIdentityTest, AtipTellsCdRFromCdRwAndGivesTheLeadOutLimit) {
    auto& d = Insert(EMediumKind::CdRw);
    TReply atip = d.ReadToc(4, 0, true);
    ASSERT_TRUE(atip.Good());
    ASSERT_EQ(atip.Data.size(), 28u);
    EXPECT_EQ(GetBE16(&atip.Data[0]), 0x1A);
    EXPECT_EQ(atip.Data[6] & 0xC0, 0xC0);  // rewritable
    EXPECT_EQ(atip.Data[12], 79);
    EXPECT_EQ(atip.Data[13], 59);
    EXPECT_EQ(atip.Data[14], 74);
    EXPECT_GE(atip.Data[8], 90);  // lead-in lies before LBA -150

    auto& dvd = Insert(EMediumKind::DvdR, 0, "dvd.kvm");
    EXPECT_EQ(dvd.ReadToc(4).Sense(), sense::kInvalidFieldInCdb);
}

TEST_F(MediaIdentityTest, InquiryAndFeaturesDescribeTheDrive) {
    auto& d = Insert(EMediumKind::DvdPlusR);
    TReply inquiry = d.Inquiry();
    ASSERT_TRUE(inquiry.Good());
    EXPECT_EQ(inquiry.Data[0], 0x05);
    EXPECT_EQ(std::string(inquiry.Data.begin() + 8, inquiry.Data.begin() + 36),
              "KELVADORVIRTUAL RECORDER1.00");
    EXPECT_EQ(GetBE16(&inquiry.Data[58]), 0x02A0);  // MMC-3

    // One-feature requests return the feature whether current or not, with its write bit.
    for (uint16_t feature : {0x2A, 0x2B, 0x2F, 0x3B}) {
        TReply r = d.GetConfiguration(2, feature);
        ASSERT_TRUE(r.Good());
        ASSERT_GE(r.Data.size(), 12u) << feature;
        EXPECT_EQ(GetBE16(&r.Data[8]), feature);
    }
    EXPECT_EQ(d.GetConfiguration(2, 0x2B).Data[10] & 1, 1);  // current on DVD+R
    EXPECT_EQ(d.GetConfiguration(2, 0x2A).Data[10] & 1, 0);
    // Current-only listing contains the DVD+R feature but no CD writing features.
    TReply current = d.GetConfiguration(1, 0);
    bool sawPlusR = false, sawCdTao = false;
    for (size_t at = 8; at + 4 <= current.Data.size(); at += 4 + current.Data[at + 3]) {
        sawPlusR |= GetBE16(&current.Data[at]) == 0x2B;
        sawCdTao |= GetBE16(&current.Data[at]) == 0x2D;
    }
    EXPECT_TRUE(sawPlusR);
    EXPECT_FALSE(sawCdTao);
    EXPECT_EQ(d.GetConfiguration(3, 0).Sense(), sense::kInvalidFieldInCdb);
}

TEST_F(MediaIdentityTest, EmptyTrayAndEject) {
    TVirtualRecorder empty("virtual:recorder", TDriveModel{});
    TDriveHarness d(empty);
    EXPECT_TRUE(d.Inquiry().Good());
    EXPECT_EQ(d.Tur().Sense(), sense::kNoMedium);
    // REQUEST SENSE tells the present condition even when the last command did not fail.
    EXPECT_TRUE(d.Inquiry().Good());
    EXPECT_EQ(d.RequestSense().Data[12], 0x3A);
    EXPECT_EQ(d.Profile(), 0);
    EXPECT_EQ(d.ReadDiscInfo().Sense(), sense::kNoMedium);
    EXPECT_TRUE(d.SetCdSpeed(0xFFFF, 0xFFFF).Good());  // accepted without a disc

    auto& loaded = Insert(EMediumKind::CdR);
    EXPECT_TRUE(loaded.Prevent(true).Good());
    EXPECT_EQ(loaded.Eject().Sense(), sense::kRemovalPrevented);
    EXPECT_TRUE(loaded.Prevent(false).Good());
    EXPECT_TRUE(loaded.Eject().Good());
    EXPECT_EQ(loaded.Tur().Sense(), sense::kNoMediumTrayOpen);
    EXPECT_TRUE(loaded.Load().Good());
    EXPECT_TRUE(loaded.WaitReady());
    EXPECT_EQ(loaded.Profile(), 0x0009);
}

TEST_F(MediaIdentityTest, ReadCommandsRefuseWhatIsNotThere) {
    auto& d = Insert(EMediumKind::CdR);
    EXPECT_EQ(d.Read(16, 1).Sense(), sense::kLbaOutOfRange);
    EXPECT_EQ(d.Run({0xFF, 0, 0, 0, 0, 0}).Sense(), sense::kInvalidOpcode);
    EXPECT_EQ(d.ReadTrackInfo(0).Sense(), sense::kInvalidFieldInCdb);
    EXPECT_EQ(d.ReadTrackInfo(5).Sense(), sense::kInvalidFieldInCdb);
}

class QuirkModelTest : public TRecorderTest {
protected:
    TDriveModel Model() const override {
        TDriveModel m;
        m.Vendor = "PIONEER";
        m.Product = "DVD-RW  DVR-111D";
        m.Revision = "1.29";
        m.JustLinkPage = true;
        m.BlankCdrFfdQuirk = true;
        return m;
    }
};

TEST_F(QuirkModelTest, ModelIdentityAndQuirksAreConfigurable) {
    auto& d = Insert(EMediumKind::CdR);
    TReply inquiry = d.Inquiry();
    EXPECT_EQ(std::string(inquiry.Data.begin() + 8, inquiry.Data.begin() + 16), "PIONEER ");
    TReply capacities = d.ReadFormatCapacities();
    EXPECT_EQ(GetBE32(&capacities.Data[4]), 0xFFFD0001u);
    TReply page30 = d.ModeSense(0x30);
    ASSERT_TRUE(page30.Good());
    EXPECT_EQ(page30.Data[8], 0x30);
    EXPECT_EQ(page30.Data[9], 0x0E);

    // After something is written the marker gives way to the real size.
    ASSERT_TRUE(d.SetTaoData().Good());
    ASSERT_TRUE(d.WritePattern(0, 300).Good());
    ASSERT_TRUE(d.Sync().Good());
    EXPECT_EQ(GetBE32(&d.ReadFormatCapacities().Data[4]), 359849u);
}

TEST_F(MediaIdentityTest, GenericDriveHasNoVendorPage30) {
    auto& d = Insert(EMediumKind::CdR);
    EXPECT_EQ(d.ModeSense(0x30).Sense(), sense::kInvalidFieldInCdb);
    EXPECT_EQ(d.ModeSense(0x05, 3).Sense(), sense::kSavingNotSupported);
}

}  // namespace
}  // namespace kv::vr::test
