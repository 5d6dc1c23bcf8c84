// Blu-ray media in the virtual recorder: what a BD writer answers about them and what it does
// with the commands that record, close and format them.
#include <sys/stat.h>

#include "DriveHarness.h"
#include "virtualrecorder/BluRayMedia.h"

namespace kv::vr::test {
namespace {

using BluRayTest = TRecorderTest;

constexpr uint32_t kWhole = 12219392, kDefault = 11826176, kSmallestSpare = 12088320;

std::vector<uint8_t> FormatList(uint32_t blocks, uint8_t type, uint8_t subType, uint32_t parameter = 0) {
    std::vector<uint8_t> list(12, 0);
    list[1] = 0x02;  // Immed
    list[3] = 8;
    PutBE32(&list[4], blocks);
    list[8] = static_cast<uint8_t>(type << 2 | subType);
    PutBE24(&list[9], parameter);
    return list;
}

// READ FORMAT CAPACITIES as (blocks, type byte, parameter) rows, the current descriptor first.
std::vector<TBdFormat> FormatCapacities(TDriveHarness& d) {
    TReply r = d.ReadFormatCapacities();
    EXPECT_TRUE(r.Good()) << r.Sense();
    std::vector<TBdFormat> rows;
    for (size_t at = 4; at + 8 <= r.Data.size() && at < 4u + r.Data[3]; at += 8)
        rows.push_back({GetBE32(&r.Data[at]), r.Data[at + 4], GetBE24(&r.Data[at + 5])});
    return rows;
}

bool FeatureCurrent(TDriveHarness& d, uint16_t feature) {
    TReply r = d.GetConfiguration(2, feature);
    return r.Data.size() > 10 && GetBE16(&r.Data[8]) == feature && (r.Data[10] & 1);
}

TEST_F(BluRayTest, BdRTakesSessionsAtTheNextClusterAndIsFinalizedBy110b) {
    auto& d = Insert(EMediumKind::BdR);
    EXPECT_EQ(d.Profile(), 0x0041);
    EXPECT_TRUE(FeatureCurrent(d, 0x0040));
    EXPECT_TRUE(FeatureCurrent(d, 0x0041));
    // As an iHBS112 and a WH16NS40 answer for a blank BD-R: the whole disc unformatted, then 00h and
    // 32h with the default, the largest and the smallest spare.
    EXPECT_EQ(FormatCapacities(d), (std::vector<TBdFormat>{{kWhole, 0x01, 2048},
                                                           {kDefault, 0x00 << 2, 0x3000},
                                                           {kDefault, 0x32 << 2, 0},
                                                           {5796864, 0x32 << 2, 0},
                                                           {kSmallestSpare, 0x32 << 2, 0}}));
    auto info = d.DiscInfo();
    EXPECT_EQ(info.Status, 0);
    EXPECT_EQ(info.Sessions, 1);
    EXPECT_EQ(info.FirstTrackLast, 1);
    EXPECT_EQ(info.LastTrackLast, 1);
    auto track = d.TrackInfo(1);
    EXPECT_TRUE(track.Blank && track.NwaValid);
    EXPECT_EQ(track.Start, 0u);
    EXPECT_EQ(track.Nwa, 0u);
    EXPECT_EQ(track.Free, kWhole);
    EXPECT_EQ(track.Size, kWhole);
    EXPECT_EQ(d.ReadTrackInfo(1).Data[6] & 0x20, 0x20) << "packet bit of a sequential recording range";
    EXPECT_EQ(GetBE32(&d.ReadCapacity().Data[0]), 0u);

    // No write parameters page: the first WRITE goes to the next writable address as it is.
    ASSERT_TRUE(d.WritePattern(0, 40).Good());
    EXPECT_EQ(d.WritePattern(100, 8).Sense(), sense::kInvalidWriteAddress);
    ASSERT_TRUE(d.Sync().Good());
    ASSERT_TRUE(d.Close(1, 1).Good());
    ASSERT_TRUE(d.Close(2).Good());
    info = d.DiscInfo();
    EXPECT_EQ(info.Status, 1);
    EXPECT_EQ(info.LastState, 0);
    EXPECT_EQ(info.Sessions, 2);
    EXPECT_EQ(info.FirstTrackLast, 2);
    EXPECT_EQ(info.LastTrackLast, 2);
    track = d.TrackInfo(1);
    EXPECT_EQ(track.Size, 64u) << "closed to the end of its 32-block cluster";
    EXPECT_FALSE(track.NwaValid);
    track = d.TrackInfo(2);
    EXPECT_TRUE(track.Blank && track.NwaValid);
    EXPECT_EQ(track.Session, 2);
    EXPECT_EQ(track.Nwa, 64u);
    EXPECT_EQ(track.Free, kWhole - 64);
    TReply toc = d.ReadToc(0);
    ASSERT_TRUE(toc.Good());
    EXPECT_EQ(toc.Data[5], 0x14);
    EXPECT_EQ(toc.Data[14], 0xAA);
    EXPECT_EQ(GetBE32(&toc.Data[16]), 64u);

    ASSERT_TRUE(d.WritePattern(64, 32).Good());
    ASSERT_TRUE(d.Close(1, 2).Good());
    EXPECT_EQ(d.Close(5).Sense(), sense::kInvalidFieldInCdb) << "101b finalizes DVD+R, not BD-R";
    ASSERT_TRUE(d.Close(6).Good());
    info = d.DiscInfo();
    EXPECT_EQ(info.Status, 2);
    EXPECT_EQ(info.LastState, 3);
    EXPECT_EQ(info.Sessions, 2);
    EXPECT_EQ(d.WritePattern(96, 32).Sense(), sense::kInvalidWriteAddress);
    EXPECT_EQ(GetBE32(&d.ReadCapacity().Data[0]), 95u);
    EXPECT_EQ(GetBE32(&d.ReadToc(1).Data[8]), 64u);
    EXPECT_EQ(d.Read(64, 32).Data, TDriveHarness::Pattern(64, 32, 2048));
    EXPECT_EQ(d.Read(0, 40).Data, TDriveHarness::Pattern(0, 40, 2048));
    EXPECT_EQ(d.Blank(true).Sense(), sense::kCannotWriteMedium);
}

TEST_F(BluRayTest, FormatsAreTheOnesRealDrivesOfferAndTakeTheirTime) {
    // BD-R: sequential recording with spare areas only while blank; pseudo-overwrite is refused.
    auto& r = Insert(EMediumKind::BdR);
    EXPECT_EQ(r.Format(FormatList(kSmallestSpare, 0x32, 0)).Sense(), sense::kInvalidFieldInParameters);
    EXPECT_EQ(r.Format(FormatList(kWhole, 0x32, 1)).Sense(), sense::kInvalidFieldInParameters) << "no spare";
    ASSERT_TRUE(r.Format(FormatList(kSmallestSpare, 0x32, 1)).Good());
    ASSERT_TRUE(r.WaitReady());
    EXPECT_EQ(FormatCapacities(r), (std::vector<TBdFormat>{{kSmallestSpare, 0x02, 2048}}));
    auto info = r.DiscInfo();
    EXPECT_EQ(info.Status, 1) << "formatted and empty reads as appendable";
    EXPECT_EQ(info.LastState, 0);
    EXPECT_EQ(r.TrackInfo(1).Free, kSmallestSpare);
    EXPECT_EQ(r.Format(FormatList(kDefault, 0x00, 1)).Sense(), sense::kCannotFormatMedium);

    // BD-RE: as an LG BE06LU10 lists them for a blank disc.
    auto& d = Insert(EMediumKind::BdRe, 0, "re.kvm");
    EXPECT_EQ(FormatCapacities(d), (std::vector<TBdFormat>{{kWhole, 0x01, 2048},
                                                           {kDefault, 0x00 << 2, 0x3000},
                                                           {kDefault, 0x30 << 2, 0x3000},
                                                           {11564032, 0x30 << 2, 0x5000},
                                                           {kSmallestSpare, 0x30 << 2, 0x1000},
                                                           {kWhole, 0x31 << 2, 0x800}}));
    EXPECT_EQ(d.DiscInfo().Status, 0);
    EXPECT_TRUE(d.DiscInfo().Erasable);
    EXPECT_EQ(d.WritePattern(0, 32).Sense(), sense::kMediumNotFormatted);
    EXPECT_EQ(d.Format(FormatList(kDefault, 0x30, 0)).Sense(), sense::kInvalidFieldInParameters)
        << "a quick reformat needs an earlier format";
    EXPECT_EQ(d.Format(FormatList(kWhole, 0x30, 3)).Sense(), sense::kInvalidFieldInParameters) << "spare too small";
    // Quick certification with the default spare, the parameter as listed; with Immed the drive
    // reports the format in progress until it ends.
    ASSERT_TRUE(d.Format(FormatList(kDefault, 0x30, 3, 0x3000)).Good());
    TReply busy = d.Tur();
    EXPECT_EQ(busy.Sense(), sense::kFormatInProgress);
    ASSERT_TRUE(d.WaitReady());
    EXPECT_EQ(FormatCapacities(d).front(), (TBdFormat{kDefault, 0x02, 2048}));
    info = d.DiscInfo();
    EXPECT_EQ(info.Status, 2);
    EXPECT_EQ(GetBE32(&d.ReadCapacity().Data[0]), kDefault - 1);
    EXPECT_TRUE(FeatureCurrent(d, 0x0020)) << "random writable once formatted";
    EXPECT_TRUE(FeatureCurrent(d, 0x0023));

    // Written in place anywhere in the formatted area; nothing to close, no BLANK.
    ASSERT_TRUE(d.WritePattern(1000, 16).Good());
    ASSERT_TRUE(d.WritePattern(kDefault - 32, 32).Good());
    ASSERT_TRUE(d.WritePattern(1000, 16, 2048, 9).Good());
    EXPECT_EQ(d.WritePattern(kDefault, 32).Sense(), sense::kLbaOutOfRange);
    EXPECT_EQ(d.Read(1000, 16).Data, TDriveHarness::Pattern(1000, 16, 2048, 9));
    EXPECT_EQ(d.Close(1, 1).Sense(), sense::kInvalidFieldInCdb);
    EXPECT_EQ(d.Close(2).Sense(), sense::kInvalidFieldInCdb);
    EXPECT_EQ(d.Blank(true).Sense(), sense::kInvalidFieldInCdb);

    // A quick reformat keeps nothing; 31h leaves no spare at all.
    ASSERT_TRUE(d.Format(FormatList(kDefault, 0x30, 0, 0x3000)).Good());
    ASSERT_TRUE(d.WaitReady());
    EXPECT_EQ(d.Read(1000, 16).Data, std::vector<uint8_t>(16 * 2048, 0));
    ASSERT_TRUE(d.Format(FormatList(kWhole, 0x31, 1, 0x800)).Good());
    ASSERT_TRUE(d.WaitReady());
    EXPECT_EQ(FormatCapacities(d).front(), (TBdFormat{kWhole, 0x02, 2048}));

    // Full certification reads every block back: it takes far longer than a quick format.
    EngineClock::SetTimeScale(1000);
    ASSERT_TRUE(d.Format(FormatList(kDefault, 0x30, 2, 0x3000)).Good());
    EngineClock::SleepMs(60000);
    EXPECT_EQ(d.Tur().Sense(), sense::kFormatInProgress);
    EXPECT_LT(d.Tur().Progress(), 65535 / 20);
}

TEST_F(BluRayTest, SpeedsIdentityAndTheDiscInformationUnit) {
    auto& d = Insert(EMediumKind::BdR);
    // GET PERFORMANCE, write speeds: 12X down to 2X at 4,495 kB/s a X, reading at 8X.
    TReply perf = d.Run({0xAC, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0x03, 0}, TDataDirection::In, {}, 8 + 16 * 16);
    ASSERT_TRUE(perf.Good());
    std::vector<uint32_t> speeds;
    for (size_t at = 8; at + 16 <= perf.Data.size(); at += 16) {
        speeds.push_back(GetBE32(&perf.Data[at + 12]));
        EXPECT_EQ(GetBE32(&perf.Data[at + 8]), 35960u);
        EXPECT_EQ(GetBE32(&perf.Data[at + 4]), kWhole - 1);
    }
    EXPECT_EQ(speeds, (std::vector<uint32_t>{53940, 44950, 35960, 26970, 17980, 8990}));
    // SET STREAMING of 20,000 kB/s: the drive rounds down to 4X.
    std::vector<uint8_t> stream(28, 0);
    PutBE32(&stream[20], 20000);
    PutBE32(&stream[24], 1000);
    PutBE32(&stream[16], 1000);
    ASSERT_TRUE(d.Run({0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0}, TDataDirection::Out, stream).Good());
    TReply current = d.Run({0xAC, 0x04, 0, 0, 0, 0, 0, 0, 0, 1, 0x00, 0}, TDataDirection::In, {}, 24);
    EXPECT_EQ(GetBE32(&current.Data[8 + 12]), 17980u);

    TReply di = d.Run({0xAD, 0x01, 0, 0, 0, 0, 0, 0x00, 0x10, 0x04, 0, 0}, TDataDirection::In, {}, 4100);
    ASSERT_TRUE(di.Good());
    ASSERT_EQ(di.Data.size(), 4100u);
    EXPECT_EQ(std::string(di.Data.begin() + 4, di.Data.begin() + 6), "DI");
    EXPECT_EQ(std::string(di.Data.begin() + 12, di.Data.begin() + 15), "BDR");
    EXPECT_EQ(di.Data[16] >> 4, 1) << "layers";
    EXPECT_EQ(d.Run({0xAD, 0x00, 0, 0, 0, 0, 0, 0x00, 0x08, 0x04, 0, 0}, TDataDirection::In, {}, 2052).Sense(),
              sense::kIncompatibleMedium)
        << "no DVD structure on a BD";

    auto& dl = Insert(EMediumKind::BdRDualLayer, 0, "dl.kvm");
    EXPECT_EQ(dl.Profile(), 0x0041);
    TReply layers = dl.Run({0xAD, 0x01, 0, 0, 0, 0, 0, 0x00, 0, 20, 0, 0}, TDataDirection::In, {}, 20);
    EXPECT_EQ(layers.Data[16] >> 4, 2);
    EXPECT_EQ(dl.TrackInfo(1).Free, 2 * kWhole);

    // A pressed BD-ROM: profile 0040h, nothing recordable; the drive still offers its BD-R speeds.
    auto& rom = Insert(EMediumKind::BdRom, 5000, "rom.kvm");
    EXPECT_EQ(rom.Profile(), 0x0040);
    EXPECT_FALSE(FeatureCurrent(rom, 0x0041));
    EXPECT_EQ(rom.WritePattern(0, 32).Sense(), sense::kCannotWriteMedium);
    EXPECT_EQ(rom.Format(FormatList(kDefault, 0x00, 1)).Sense(), sense::kCannotFormatMedium);
    EXPECT_EQ(rom.DiscInfo().Status, 2);
    // Highest profile first in the list of all profiles.
    TReply all = rom.GetConfiguration(0, 0);
    EXPECT_EQ(GetBE16(&all.Data[12]), 0x0043);

    // Drives without BD: a DVD writer sees no usable medium; a BD reader does not write one.
    TDriveModel dvdOnly;
    std::string error;
    ASSERT_TRUE(dvdOnly.ApplyQuirks("nobd", error)) << error;
    TVirtualRecorder dvd("virtual:dvd", dvdOnly);
    ASSERT_TRUE(dvd.InsertFile(PathFor("dl.kvm"), error)) << error;
    TDriveHarness dh(dvd);
    for (int i = 0; i < 100 && dh.Tur().Sense() == sense::kBecomingReady; ++i) EngineClock::SleepMs(100);
    EXPECT_EQ(dh.Tur().Sense(), sense::kIncompatibleMediumInstalled);
    dvd.Remove();
    TDriveModel reader;
    ASSERT_TRUE(reader.ApplyQuirks("nobdwrite", error)) << error;
    TVirtualRecorder bdRom("virtual:bdrom", reader);
    ASSERT_TRUE(bdRom.InsertFile(PathFor("dl.kvm"), error)) << error;
    TDriveHarness rh(bdRom);
    ASSERT_TRUE(rh.WaitReady());
    EXPECT_TRUE(FeatureCurrent(rh, 0x0040));
    EXPECT_FALSE(FeatureCurrent(rh, 0x0041));
    EXPECT_EQ(rh.WritePattern(0, 32).Sense(), sense::kCannotWriteMedium);
}

TEST_F(BluRayTest, MediumFilesOfLargeDiscsStaySparseAndKeepTheirState) {
    // Data near the end of a dual-layer BD-RE: the file holds only what was written.
    const uint32_t formatted = 2 * kDefault;
    {
        auto& d = Insert(EMediumKind::BdReDualLayer);
        ASSERT_TRUE(d.Format(FormatList(formatted, 0x00, 0, 0x6000)).Good());
        ASSERT_TRUE(d.WaitReady());
        ASSERT_TRUE(d.WritePattern(0, 32).Good());
        ASSERT_TRUE(d.WritePattern(formatted - 32, 32).Good());
        ASSERT_TRUE(d.Write(4096, 512, std::vector<uint8_t>(512 * 2048, 0)).Good());
        ASSERT_TRUE(d.Sync().Good());
    }
    auto& again = Reload();
    EXPECT_EQ(FormatCapacities(again).front(), (TBdFormat{formatted, 0x02, 2048}));
    EXPECT_EQ(again.Read(formatted - 32, 32).Data, TDriveHarness::Pattern(formatted - 32, 32, 2048));
    struct stat st {};
    ASSERT_EQ(::stat(PathFor("disc.kvm").c_str(), &st), 0);
    EXPECT_LT(st.st_blocks * 512, 2 << 20) << "a 1 MiB run of zeros and 128 KiB of data";

    // Compaction copies live sectors into a new file: runs of zeros stay holes there too.
    recorder_.reset();
    std::string error;
    auto file = TMediumFile::Create(PathFor("zeros.kvm"), "kvmedium 1\n", error);
    ASSERT_TRUE(file) << error;
    const std::vector<uint8_t> zeros(size_t{8192} * 2048, 0);
    for (int32_t lba = 0; lba < 65536; lba += 8192) ASSERT_TRUE(file->Write(lba, 8192, 2048, zeros.data()));
    const auto data = TDriveHarness::Pattern(70000, 16, 2048);
    ASSERT_TRUE(file->Write(70000, 16, 2048, data.data()));
    file->Drop(70008, 70016);
    ASSERT_TRUE(file->Commit("kvmedium 1\n", error)) << error;
    ASSERT_EQ(::stat(PathFor("zeros.kvm").c_str(), &st), 0);
    EXPECT_GT(st.st_size, 128 << 20);
    EXPECT_LT(st.st_blocks * 512, 1 << 20);
    std::vector<uint8_t> sector(2352);
    EXPECT_EQ(file->Read(30000, sector.data()), 2048);
    EXPECT_EQ(std::vector<uint8_t>(sector.begin(), sector.begin() + 2048), std::vector<uint8_t>(2048, 0));
    EXPECT_EQ(file->Read(70001, sector.data()), 2048);
    EXPECT_TRUE(std::equal(sector.begin(), sector.begin() + 2048, data.begin() + 2048));
    EXPECT_EQ(file->Read(70010, sector.data()), 0);
}

}  // namespace
}  // namespace kv::vr::test
