#include <cstring>

#include "DeviceFixture.h"
#include "Replies.h"

namespace kv::test {
namespace {

class MediaTest : public DeviceFixture {
protected:
    std::shared_ptr<TRecordingDrive> drive;
    void SetUp() override {
        DeviceFixture::SetUp();
        drive = AddDrive();
        Select();
    }
    // A drive that knows nothing: every query fails unless scripted.
    void AllQueriesFail() {
        for (uint8_t op : {0x46, 0x43, 0x51, 0x52, 0x23, 0x25, 0x28, 0x5A}) drive->Always(op, Failed());
    }
    static TRecordingDrive::TReply CapabilitiesReply(size_t offset, std::vector<std::pair<size_t, uint8_t>> bytes) {
        std::vector<uint8_t> r(255, 0);
        r[offset] = 0x2A;
        for (auto [i, v] : bytes) r[offset + i] = v;
        return TRecordingDrive::WithData(r);
    }
};

TEST_F(MediaTest, MediumTypeFromProfiles) {
    const std::vector<std::pair<uint16_t, uint8_t>> profiles = {
        {0x08, 1},  {0x09, 2},  {0x0A, 3},  {0x10, 4},  {0x11, 5},  {0x12, 6},  {0x13, 8}, {0x14, 9},
        {0x1A, 10}, {0x1B, 11}, {0x2B, 12}, {0x20, 13}, {0x21, 14}, {0x22, 15},
    };
    for (auto [profile, code] : profiles) {
        drive->Queue(0x46, ConfigurationReply(profile));
        EXPECT_EQ(device.MediumType(), code) << std::hex << profile;
    }
    EXPECT_EQ(MediumNames[11], "DVD+R");
    EXPECT_EQ(MediumNames[8], "DVD-RW");
    EXPECT_EQ(MediumNames[9], "DVD-RW");
    EXPECT_EQ(MediumNames[12], "DVD+R DL");
    EXPECT_EQ(MediumNames[0], "UNKNOWN");
}

// BD-R and BD-RE share their profile between one and two layers: the disc information unit
// (READ DISC STRUCTURE, media type BD) tells them apart; a drive refusing it has a single layer.
TEST_F(MediaTest, BluRayMediaFromProfilesAndTheirLayers) {
    auto discInformation = [](uint8_t layers) {
        std::vector<uint8_t> r(20, 0);
        r[4] = 'D';
        r[5] = 'I';
        r[16] = static_cast<uint8_t>(layers << 4);
        return TRecordingDrive::WithData(r);
    };
    drive->Queue(0x46, ConfigurationReply(0x40));
    EXPECT_EQ(device.MediumType(), kMediumBdRom);
    for (auto [profile, single, dual] : {std::tuple{0x41, kMediumBdR, kMediumBdRDl}, {0x43, kMediumBdRe, kMediumBdReDl}}) {
        drive->Queue(0x46, ConfigurationReply(static_cast<uint16_t>(profile)));
        drive->Queue(0xAD, discInformation(1));
        EXPECT_EQ(device.MediumType(), single);
        drive->Queue(0x46, ConfigurationReply(static_cast<uint16_t>(profile)));
        drive->Queue(0xAD, discInformation(2));
        EXPECT_EQ(device.MediumType(), dual);
        drive->Queue(0x46, ConfigurationReply(static_cast<uint16_t>(profile)));
        drive->Queue(0xAD, Failed());
        EXPECT_EQ(device.MediumType(), single);
    }
    const auto sent = drive->Recorded();
    const auto structure = std::find_if(sent.begin(), sent.end(), [](const auto& c) { return c.Cdb[0] == 0xAD; });
    ASSERT_NE(structure, sent.end());
    EXPECT_EQ(structure->Cdb[1], 0x01) << "media type BD";
    EXPECT_EQ(structure->Cdb[7], 0x00) << "disc information";
    EXPECT_EQ(MediumName(kMediumBdRDl), "BD-R DL");
    EXPECT_EQ(MediumName(kMediumBdReDl), "BD-RE DL");
    EXPECT_EQ(MediumName(200), "UNKNOWN");
    EXPECT_TRUE(ProfileErasable(0x43));
    EXPECT_FALSE(ProfileErasable(0x41));

    // Write speeds from GET PERFORMANCE (BD speeds pass 65,535 KB/s): fastest first, each once,
    // as far as the reply's length says.
    std::vector<uint8_t> perf(8 + 5 * 16, 0);
    PutBE32(perf.data(), 4 + 4 * 16);
    for (auto [i, kbs] : {std::pair{0, 35960u}, {1, 71920u}, {2, 35960u}, {3, 0u}, {4, 8990u}})
        PutBE32(perf.data() + 8 + i * 16 + 12, kbs);
    drive->Queue(0xAC, TRecordingDrive::WithData(perf));
    EXPECT_EQ(device.ReadMediumWriteSpeeds(), (std::vector<uint32_t>{71920, 35960}));
    EXPECT_EQ(drive->Recorded().back().Cdb[10], 0x03);
    drive->Queue(0xAC, Failed());
    EXPECT_TRUE(device.ReadMediumWriteSpeeds().empty());
}

TEST_F(MediaTest, MediumTypeWithoutConfigurationUsesAtipThenDiscInformation) {
    AllQueriesFail();
    drive->Queue(0x43, AtipReply(true, true, 79, 59, 74));
    EXPECT_EQ(device.MediumType(), 3);
    drive->Queue(0x43, AtipReply(false, true, 79, 59, 74));
    EXPECT_EQ(device.MediumType(), 2);
    drive->Queue(0x43, AtipReply(false, false, 0, 0, 0));
    EXPECT_EQ(device.MediumType(), 1);
    drive->Queue(0x46, ConfigurationReply(0x0050));  // a profile without a medium code (HD DVD-ROM)
    drive->Queue(0x51, DiscInfoReply(1, 0, true, 1, 1));
    EXPECT_EQ(device.MediumType(), 3);
    EXPECT_EQ(device.MediumType(), 1) << "only TEST UNIT READY answered";
    drive->Always(0x00, TRecordingDrive::CheckCondition(2, 0x3A, 0));
    EXPECT_EQ(device.MediumType(), 0);
}

TEST_F(MediaTest, CapabilitiesFromPageFeaturesAndModel) {
    drive->Queue(0x5A, CapabilitiesReply(8, {{2, 0x3F}, {3, 0x37}, {4, 0x00}, {8, 0x1B}, {9, 0x90}, {18, 0}, {19, 0}}));
    drive->Queue(0x5A, Failed());  // page 30h: no just-link
    drive->Queue(0x46, ConfigurationReply(0, 0x2A, 1));
    drive->Queue(0x46, ConfigurationReply(0, 0x3B, 0));
    drive->Queue(0x46, ConfigurationReply(0, 0x00, 1));  // 2Fh not listed
    drive->Queue(0x5A, CapabilitiesReply(8, {{8, 0x1B}, {9, 0x90}, {12, 0x08}, {18, 0}, {19, 0}, {20, 0}, {21, 0}}));
    ASSERT_TRUE(device.ReadCapabilities());
    const uint32_t expected = ReadCDR | ReadCDRW | ReadMethod2 | ReadDVD | ReadDVDR | ReadDVDRW | ReadDVDRAM |
                              WriteCDR | WriteCDRW | WriteTest | WriteDVDR | WriteDVDRW | WriteDVDRAM | ReadDVDPLUSR |
                              ReadDVDPLUSRW | WriteDVDPLUSR | WriteDVDPLUSRW | ReadDVDPLUSRDL;
    EXPECT_EQ(device.Capabilities, expected);
    EXPECT_EQ(device.CapabilitiesPage.MaxReadSpeed, 7056);
    EXPECT_EQ(device.CapabilitiesPage.BufferSizeKB, 2048);
    EXPECT_EQ(device.CapabilitiesPage.MaxWriteSpeed, 1385) << "0 reads as 1385";
    EXPECT_EQ(device.CapabilitiesPage.CurrentWriteSpeed, 1385);
    EXPECT_EQ(device.DeviceMaxWriteSpeed, 1385);
    EXPECT_EQ(device.DeviceMaxReadSpeed, 7056);
    const auto ops = drive->Recorded();
    EXPECT_EQ(ops[0].Cdb[2], 0xAA) << "default values first";
    EXPECT_EQ(ops[1].Cdb[2], 0x30);
    EXPECT_EQ(ops[2].Cdb[3], 0x2A);
    EXPECT_EQ(ops[3].Cdb[3], 0x3B);
    EXPECT_EQ(ops[4].Cdb[3], 0x2F);
    EXPECT_EQ(ops[5].Cdb[3], 0x40);
    EXPECT_EQ(ops[6].Cdb[3], 0x41);
    EXPECT_EQ(ops[7].Cdb[2], 0x2A);

    // A BD writer: BD Read listed, BD Write with class 0 bitmaps for BD-RE (byte 9) and BD-R (17).
    drive->Clear();
    drive->Queue(0x5A, CapabilitiesReply(8, {{2, 0x3F}}));
    drive->Queue(0x5A, Failed());
    for (int i = 0; i < 3; ++i) drive->Queue(0x46, Failed());
    drive->Queue(0x46, ConfigurationReply(0x41, 0x40));
    auto bdWrite = [](uint8_t re, uint8_t r) {
        std::vector<uint8_t> reply(40, 0);
        PutBE16(reply.data() + 8, 0x41);
        reply[17] = re;
        reply[25] = r;
        return TRecordingDrive::WithData(reply);
    };
    drive->Queue(0x46, bdWrite(0x07, 0x03));
    drive->Queue(0x5A, CapabilitiesReply(8, {}));
    ASSERT_TRUE(device.ReadCapabilities());
    EXPECT_EQ(device.Capabilities & (ReadBD | WriteBDR | WriteBDRE), ReadBD | WriteBDR | WriteBDRE);
    // A BD-ROM drive lists BD Read only; a writer of BD-RE alone has an empty BD-R bitmap.
    for (auto [feature, bdExpected] : {std::pair{bdWrite(0x07, 0), ReadBD | WriteBDRE}, {Failed(), ReadBD}}) {
        drive->Clear();
        drive->Queue(0x5A, CapabilitiesReply(8, {{2, 0x3F}}));
        drive->Queue(0x5A, Failed());
        for (int i = 0; i < 3; ++i) drive->Queue(0x46, Failed());
        drive->Queue(0x46, ConfigurationReply(0x41, 0x40));
        drive->Queue(0x46, feature);
        drive->Queue(0x5A, CapabilitiesReply(8, {}));
        ASSERT_TRUE(device.ReadCapabilities());
        EXPECT_EQ(device.Capabilities & (ReadBD | WriteBDR | WriteBDRE), bdExpected);
    }

    // Page behind a block descriptor (offset 16), underrun protection from just-link and the model.
    drive->Clear();
    drive->Queue(0x5A, CapabilitiesReply(16, {{3, 0x01}}));
    std::vector<uint8_t> justLink(128, 0);
    justLink[8] = 0x30;
    drive->Queue(0x5A, TRecordingDrive::WithData(justLink));
    drive->Always(0x46, Failed());
    drive->Queue(0x5A, CapabilitiesReply(16, {{20, 0x06}, {21, 0xE4}}));
    ASSERT_TRUE(device.ReadCapabilities());
    EXPECT_EQ(device.Capabilities, WriteCDR | TCapability::UnderrunProtection);
    EXPECT_EQ(device.CapabilitiesPage.CurrentWriteSpeed, 1764);

    drive->Always(0x5A, Failed());
    EXPECT_FALSE(device.ReadCapabilities());
    EXPECT_EQ(device.Capabilities, 0u);
    EXPECT_EQ(device.ReadCurrentWriteSpeed(), 0);
    EXPECT_EQ(device.ReadMaxWriteSpeed(), 0);
}

TEST_F(MediaTest, DiscRecordOfAppendableCdR) {
    drive->Queue(0x43, TRecordingDrive::WithData({0, 10, 1, 2}));      // TOC: tracks 1..2
    drive->Queue(0x43, TRecordingDrive::WithData({0, 10, 2, 2}));      // TOC from track 2
    drive->Queue(0x43, TRecordingDrive::WithData({0, 2, 1, 2}));       // sessions 1..2
    drive->Queue(0x43, AtipReply(false, true, 79, 59, 74));            // ATIP
    drive->Always(0x46, ConfigurationReply(0x09));
    drive->Always(0x23, Failed());
    drive->Always(0x51, DiscInfoReply(1, 0, false, 3, 3));
    TDisc disc;
    device.GetDiscInformation(disc);
    EXPECT_TRUE(disc.Ready);
    EXPECT_EQ(disc.FirstSession, 1);
    EXPECT_EQ(disc.LastSession, 2);
    EXPECT_EQ(disc.Capacity, 359999u);
    EXPECT_EQ(disc.ReportedBlocks, 0u);
    EXPECT_EQ(disc.BlockSize, 0);
    EXPECT_EQ(disc.Profile, 0x09);
    EXPECT_EQ(disc.ProfileName, "CD-R");
    EXPECT_EQ(disc.DiscStatus, 1);
    EXPECT_EQ(disc.LastSessionState, 0);
    EXPECT_FALSE(disc.Erasable);
    EXPECT_EQ(device.Disc.LastSession, 2) << "the component keeps its copy";
    const auto rec = drive->Recorded();
    EXPECT_EQ(rec[2].Cdb[6], 2) << "second READ TOC starts at the last track";
    EXPECT_EQ(device.SessionCount(), 2) << "three sessions, the last one empty";
}

TEST_F(MediaTest, DiscRecordOfDvdPlusRAndBlankDiscs) {
    drive->Always(0x43, Failed());
    drive->Always(0x46, ConfigurationReply(0x1B));
    drive->Always(0x52, TrackInfoReply(0, 0, 2295104, 2295104, 0));
    drive->Always(0x23, FormatCapacityReply(2295104));
    drive->Always(0x51, DiscInfoReply(0, 0, false, 1, 1));
    TDisc disc;
    device.GetDiscInformation(disc);
    EXPECT_EQ(disc.ProfileName, "DVD+R");
    EXPECT_FALSE(disc.Erasable);
    EXPECT_EQ(disc.ReportedBlocks, 2295104u);
    EXPECT_EQ(disc.Capacity, 2295104u);
    EXPECT_EQ(disc.BlockSize, 2048);
    EXPECT_EQ(device.MediumType(), 11);

    // No TOC, no configuration, no disc information: READ CAPACITY decides.
    AllQueriesFail();
    drive->Queue(0x25, TRecordingDrive::WithData({0, 0x05, 0x7E, 0x4F, 0, 0, 0x08, 0}));
    device.GetDiscInformation(disc);
    EXPECT_TRUE(disc.Ready);
    EXPECT_EQ(disc.FirstSession, 0);
    EXPECT_EQ(disc.LastSession, 0);
    EXPECT_EQ(disc.ProfileName, "");
    EXPECT_EQ(disc.ReportedBlocks, 0x57E4Fu);
    EXPECT_EQ(disc.Capacity, 0x57E4Fu);
    EXPECT_EQ(disc.BlockSize, 2048);
}

TEST_F(MediaTest, DriveThatStaysNotReadyGivesEmptyRecord) {
    drive->Always(0x00, TRecordingDrive::CheckCondition(2, 0x04, 0x01));
    drive->Always(0x51, TRecordingDrive::CheckCondition(2, 0x04, 0x01));
    TDisc disc;
    disc.Capacity = 99;
    device.GetDiscInformation(disc);
    EXPECT_FALSE(disc.Ready);
    EXPECT_EQ(disc.Capacity, 0u);
    EXPECT_EQ(disc.ProfileName, "");
    for (const auto& rec : drive->Recorded()) EXPECT_TRUE(rec.Cdb[0] == 0x00 || rec.Cdb[0] == 0x51);
}

TEST_F(MediaTest, SessionCountAndDiscStatus) {
    drive->Queue(0x51, DiscInfoReply(0, 0, false, 1, 1));
    EXPECT_EQ(device.SessionCount(), 0) << "empty disc";
    drive->Queue(0x51, DiscInfoReply(2, 3, false, 3, 5));
    EXPECT_EQ(device.SessionCount(), 3);
    drive->Queue(0x51, Failed());
    EXPECT_EQ(device.SessionCount(), 0);
    drive->Queue(0x51, DiscInfoReply(2, 3, false, 3, 5));
    EXPECT_EQ(device.DiscStatus(), 2);
    drive->Queue(0x51, Failed());
    EXPECT_EQ(device.DiscStatus(), 0xFFFF);
}

TEST_F(MediaTest, CdBlockCounts) {
    drive->Always(0x46, ConfigurationReply(0x09));
    drive->Always(0x51, DiscInfoReply(1, 0, false, 3, 3));  // two closed sessions, open third
    drive->Always(0x52, TrackInfoReply(20000, 21000, 300000, 0, 0));
    EXPECT_EQ(device.UsedBlocks(), 21000u);
    bool sawTrack3 = false;
    for (const auto& rec : drive->Recorded())
        if (rec.Cdb[0] == 0x52 && rec.Cdb[5] == 3) sawTrack3 = true;
    EXPECT_TRUE(sawTrack3) << "the track after the closed sessions";
    EXPECT_EQ(device.FreeBlocks(), 300000u);

    // Blank CD-R: no ATIP and a format capacity that is no block count.
    drive->Always(0x51, DiscInfoReply(0, 0, false, 1, 1));
    drive->Always(0x43, Failed());
    drive->Always(0x23, FormatCapacityReply(0xFFFD0001));
    drive->Always(0x52, TrackInfoReply(0, 0, 359847, 359847, 0));
    EXPECT_EQ(device.TotalBlocks(), 359847u);

    drive->Always(0x43, AtipReply(false, true, 79, 59, 74));
    EXPECT_EQ(device.TotalBlocks(), 359999u);
    // An ATAPI drive that ignores the format answers with the plain TOC: no ATIP in it.
    drive->Always(0x43, TRecordingDrive::WithData({0, 18, 1, 1, 0, 0x14, 1, 0, 0, 0, 0, 0, 0, 0x14, 0xAA, 0, 0, 0, 1, 0x3B}));
    EXPECT_EQ(device.TotalBlocks(), 359847u);

    drive->Always(0x51, DiscInfoReply(2, 3, false, 1, 1));
    EXPECT_EQ(device.FreeBlocks(), 0u) << "complete disc";
}

TEST_F(MediaTest, DvdBlockCounts) {
    // DVD+RW: used space is the ISO 9660 volume on it.
    drive->Always(0x46, ConfigurationReply(0x1A));
    drive->Always(0x51, DiscInfoReply(2, 3, true, 1, 1));
    drive->Always(0x52, TrackInfoReply(0, 0, 0, 2295104, 0));
    drive->Always(0x23, FormatCapacityReply(2295104));
    std::vector<uint8_t> pvd(2048, 0);
    pvd[0] = 1;
    std::memcpy(pvd.data() + 1, "CD001", 5);
    PutLE32(pvd.data() + 80, 1234);
    drive->Always(0x28, TRecordingDrive::WithData(pvd));
    EXPECT_EQ(device.UsedBlocks(), 1234u);
    EXPECT_EQ(device.FreeBlocks(), 2295104u - 1234u);
    EXPECT_EQ(device.TotalBlocks(), 2295104u);
    drive->Always(0x52, TrackInfoReply(0, 0, 0, 100, 0));
    EXPECT_EQ(device.FreeBlocks(), 0u) << "a volume larger than the track never wraps around";
    drive->Always(0x28, Failed());
    EXPECT_EQ(device.IsoVolumeSize(), 0u);

    // DVD-R: next writable address and free blocks.
    drive->Always(0x46, ConfigurationReply(0x11));
    drive->Always(0x52, TrackInfoReply(0, 5000, 2290000, 2295104, 4999));
    EXPECT_EQ(device.UsedBlocks(), 5000u);
    EXPECT_EQ(device.FreeBlocks(), 2290000u);
    EXPECT_EQ(device.TotalBlocks(), 2295000u);
    // Finalized: the complete track's next writable address is not valid (and reads 0), so its
    // recorded end counts instead.
    drive->Always(0x52, TrackInfoReply(16, 0, 0, 5000, 5015, false));
    EXPECT_EQ(device.UsedBlocks(), 5016u);
    EXPECT_EQ(device.FreeBlocks(), 0u);
    EXPECT_EQ(device.TotalBlocks(), 5016u);

    // DVD-RW restricted overwrite, formatted, empty.
    drive->Always(0x46, ConfigurationReply(0x13));
    drive->Always(0x52, TrackInfoReply(0, 0, 500, 1000, 0));
    EXPECT_EQ(device.FreeBlocks(), 2295104u - 1000u);
    EXPECT_EQ(device.UsedBlocks(), 1000u);
    drive->Always(0x52, Failed());
    EXPECT_EQ(device.UsedBlocks(), 0u);
    EXPECT_EQ(device.FreeBlocks(), 0u);
    EXPECT_EQ(device.TotalBlocks(), 0u);
}

TEST_F(MediaTest, ErasableAndJustLink) {
    drive->Queue(0x51, DiscInfoReply(2, 3, true, 1, 1));
    EXPECT_TRUE(device.DiscIsErasable());
    drive->Queue(0x51, Failed());
    drive->Queue(0x46, ConfigurationReply(0x13));
    EXPECT_TRUE(device.DiscIsErasable());
    EXPECT_EQ(TSCSIDevice::CurrentMedium.load(), 8);
    drive->Queue(0x51, Failed());
    drive->Queue(0x46, ConfigurationReply(0x11));
    EXPECT_FALSE(device.DiscIsErasable());

    std::vector<uint8_t> page(128, 0);
    page[16] = 0x30;
    drive->Queue(0x5A, TRecordingDrive::WithData(page));
    EXPECT_TRUE(device.IsJustLinkCapable());
    EXPECT_EQ(drive->Recorded().back().Cdb, (std::vector<uint8_t>{0x5A, 0, 0x30, 0, 0, 0, 0, 0, 0x80, 0}));
    drive->Queue(0x5A, TRecordingDrive::WithData(std::vector<uint8_t>(128, 0)));
    EXPECT_FALSE(device.IsJustLinkCapable());
}

TEST(TimeCodes, MsfAndFrames) {
    EXPECT_EQ(MSFToFrames(79, 59, 74), 359999u);
    EXPECT_EQ(HMSFToFrames(1, 0, 0, 1), 270001u);
    const TMsf msf = FramesToMSF(359999);
    EXPECT_EQ(msf.M, 79u);
    EXPECT_EQ(msf.S, 59u);
    EXPECT_EQ(msf.F, 74u);
    const TMsf over = FramesToMSF(4500 * 100 + 75 * 2 + 3);
    EXPECT_EQ(over.M, 100u);
    EXPECT_EQ(over.S, 2u);
    EXPECT_EQ(over.F, 3u);
}

}  // namespace
}  // namespace kv::test
