// The CD-TEXT lead-in of a session-at-once recording: taken pack by pack, kept with the medium,
// answered by READ TOC format 5; drives that want it announced otherwise or not at all.
#include <cstring>

#include "DriveHarness.h"
#include "platform/CdTextPack.h"

namespace kv::vr::test {
namespace {

constexpr int32_t kLeadIn = -12490;  // the blank CD-R's ATIP lead-in, 97:15:35
constexpr int32_t kTrackBlocks = 400;

// One audio track; `leadInForm` 41h asks for CD-TEXT from the host, `leadInLba` where the lead-in
// entry points (-150 is 00:00:00).
std::vector<uint8_t> CueSheet(uint8_t leadInForm = 0x41, int32_t leadInLba = -150) {
    std::vector<uint8_t> sheet;
    for (auto e : {CueEntry(0x01, 0x00, 0, leadInForm, leadInLba), CueEntry(0x01, 0x01, 0, 0x00, -150),
                   CueEntry(0x01, 0x01, 1, 0x00, 0), CueEntry(0x01, 0xAA, 1, 0x01, kTrackBlocks)})
        sheet.insert(sheet.end(), e.begin(), e.end());
    return sheet;
}

// A title pack for the disc and one for track 1, then the three size-information packs.
std::vector<TCdTextPack> Packs() {
    std::vector<TCdTextPack> packs(5);
    const char* payloads[] = {"Disc title", "Track one"};
    for (size_t i = 0; i < packs.size(); ++i) {
        TCdTextPack& p = packs[i];
        p[0] = i < 2 ? 0x80 : 0x8F;
        p[1] = static_cast<uint8_t>(i < 2 ? i : i - 2);
        p[2] = static_cast<uint8_t>(i);
        if (i < 2) std::copy_n(payloads[i], std::strlen(payloads[i]), p.begin() + 4);
        SealCdTextPack(p);
    }
    return packs;
}

// `blocks` lead-in blocks holding `packs` round and round, starting with pack `from`.
std::vector<uint8_t> LeadInBlocks(const std::vector<TCdTextPack>& packs, uint32_t blocks, size_t from = 0) {
    std::vector<uint8_t> data(size_t{blocks} * kCdTextLeadInBlockBytes);
    for (size_t i = 0; i < size_t{blocks} * kCdTextPacksPerBlock; ++i)
        CdTextPackToSubchannel(packs[(from + i) % packs.size()], data.data() + i * 24);
    return data;
}

// Where READ DISC INFORMATION says the next lead-in starts (bytes 17-19, MSF).
int32_t LeadInStart(TDriveHarness& d) {
    TReply r = d.ReadDiscInfo();
    EXPECT_TRUE(r.Good() && r.Data.size() >= 20);
    return r.Data.size() >= 20 ? MsfToLba(r.Data[17], r.Data[18], r.Data[19]) : 0;
}

// The whole lead-in from its start, 300 blocks a WRITE; the first failure's sense.
TSense WriteLeadIn(TDriveHarness& d, const std::vector<TCdTextPack>& packs) {
    size_t next = 0;
    for (int32_t lba = LeadInStart(d); lba < -150;) {
        const uint32_t n = static_cast<uint32_t>(std::min(300, -150 - lba));
        TReply r = d.Write(lba, n, LeadInBlocks(packs, n, next));
        if (!r.Good()) return r.Sense();
        next += n * kCdTextPacksPerBlock;
        lba += static_cast<int32_t>(n);
    }
    return sense::kGood;
}

std::vector<uint8_t> TocPacks(TDriveHarness& d) {
    TReply r = d.Run({0x43, 0, 0x05, 0, 0, 0, 0, 0x10, 0x00, 0}, TDataDirection::In, {}, 4096);
    EXPECT_TRUE(r.Good()) << r.Sense();
    if (r.Data.size() < 4) return {};
    EXPECT_EQ(GetBE16(r.Data.data()), r.Data.size() - 2);
    return std::vector<uint8_t>(r.Data.begin() + 4, r.Data.end());
}

std::vector<uint8_t> Flat(const std::vector<TCdTextPack>& packs) {
    std::vector<uint8_t> bytes;
    for (const auto& p : packs) bytes.insert(bytes.end(), p.begin(), p.end());
    return bytes;
}

void WriteProgramAndClose(TDriveHarness& d) {
    for (int32_t lba = -150; lba < kTrackBlocks; lba += 50)
        ASSERT_TRUE(d.WritePattern(lba, static_cast<uint32_t>(std::min(50, kTrackBlocks - lba)), 2352).Good()) << lba;
    ASSERT_TRUE(d.Sync().Good());
}

using CdTextTest = TRecorderTest;

TEST_F(CdTextTest, TheLeadInsPacksAreKeptWithTheMediumAndReadBackByReadToc) {
    auto& d = Insert(EMediumKind::CdRw);
    EXPECT_TRUE(TocPacks(d).empty()) << "a blank disc has no CD-TEXT: an empty list";
    ASSERT_TRUE(d.SetSao().Good());
    ASSERT_TRUE(d.SendCueSheet(CueSheet()).Good());
    // The program area cannot come first: the lead-in was announced.
    EXPECT_EQ(d.WritePattern(-150, 1, 2352).Sense(), sense::kInvalidWriteAddress);
    const auto packs = Packs();
    ASSERT_EQ(WriteLeadIn(d, packs), sense::kGood);
    WriteProgramAndClose(d);
    EXPECT_EQ(TocPacks(d), Flat(packs)) << "one round of the packs";
    TReply audio = d.ReadCdAudio(0, 2);
    ASSERT_TRUE(audio.Good());
    EXPECT_EQ(audio.Data, TDriveHarness::Pattern(0, 2, 2352)) << "the lead-in took nothing of the program";

    auto& again = Reload();
    EXPECT_EQ(TocPacks(again), Flat(packs)) << "kept in the medium file";
    ASSERT_TRUE(again.Blank(true).Good());
    ASSERT_TRUE(again.WaitReady());
    EXPECT_TRUE(TocPacks(again).empty()) << "gone with a blank";
}

TEST_F(CdTextTest, MalformedPacksAreRefusedWithInvalidFieldInParameterList) {
    struct TCase {
        const char* What;
        std::function<void(std::vector<TCdTextPack>&)> Spoil;
    };
    const TCase cases[] = {
        {"bad CRC", [](auto& p) { p[1][17] ^= 0xFF; }},
        {"sequence gap", [](auto& p) {
             p[1][2] = 2;
             SealCdTextPack(p[1]);
         }},
        {"first pack not number 0", [](auto& p) {
             p[0][2] = 7;
             SealCdTextPack(p[0]);
         }},
        {"no pack type", [](auto& p) {
             p[3][0] = 0x12;
             SealCdTextPack(p[3]);
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        auto& d = Insert(EMediumKind::CdR, 0, std::string(c.What) + ".kvm");
        ASSERT_TRUE(d.SetSao().Good());
        ASSERT_TRUE(d.SendCueSheet(CueSheet()).Good());
        auto packs = Packs();
        c.Spoil(packs);
        EXPECT_EQ(d.Write(kLeadIn, 2, LeadInBlocks(packs, 2)).Sense(), sense::kInvalidFieldInParameters);
    }
    // A later round must repeat the first: packs 0-4, then 0-2 and a pack out of turn.
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetSao().Good());
    ASSERT_TRUE(d.SendCueSheet(CueSheet()).Good());
    auto packs = Packs();
    auto data = LeadInBlocks(packs, 2);
    CdTextPackToSubchannel(packs[4], data.data() + 7 * 24);
    EXPECT_EQ(d.Write(kLeadIn, 2, data).Sense(), sense::kInvalidFieldInParameters);
}

TEST_F(CdTextTest, OnlyTheFirstSessionAndDrivesThatTakeItGetALeadIn) {
    {
        // A second session's lead-in carries no CD-TEXT.
        auto& d = Insert(EMediumKind::CdR);
        ASSERT_TRUE(d.SetTaoData(true).Good());
        ASSERT_TRUE(d.WritePattern(0, 300).Good());
        ASSERT_TRUE(d.Sync().Good());
        ASSERT_TRUE(d.Close(2).Good());
        ASSERT_TRUE(d.WaitReady());
        ASSERT_TRUE(d.SetSao().Good());
        const int32_t start = static_cast<int32_t>(d.TrackInfo(0xFF).Start);
        auto sheet = CueSheet();
        for (size_t at = 0; at < sheet.size(); at += 8) {
            if (sheet[at + 1] == 0x01) sheet[at + 1] = 0x02;  // the disc's second track
            const int32_t lba = MsfToLba(sheet[at + 5], sheet[at + 6], sheet[at + 7]) + start;
            const TMsf m = LbaToMsf(lba);
            sheet[at + 5] = m.M;
            sheet[at + 6] = m.S;
            sheet[at + 7] = m.F;
        }
        EXPECT_EQ(d.SendCueSheet(sheet).Sense(), sense::kInvalidFieldInParameters);
        sheet[3] = 0x01;
        EXPECT_TRUE(d.SendCueSheet(sheet).Good()) << "the same without CD-TEXT";
    }
    {
        // The lead-in entry may name the lead-in's own start, but no other.
        auto& d = Insert(EMediumKind::CdR, 0, "second.kvm");
        EXPECT_EQ(LeadInStart(d), kLeadIn);
        ASSERT_TRUE(d.SetSao().Good());
        EXPECT_EQ(d.SendCueSheet(CueSheet(0x41, kLeadIn + 75)).Sense(), sense::kInvalidFieldInParameters);
        ASSERT_TRUE(d.SendCueSheet(CueSheet(0x41, kLeadIn)).Good());
        ASSERT_TRUE(WriteLeadIn(d, Packs()).Good());
        WriteProgramAndClose(d);
        EXPECT_EQ(TocPacks(d), Flat(Packs()));
    }
}

// READ SUB-CHANNEL with SubQ: format 02h (catalogue number) or 03h (a track's ISRC).
TReply ReadSubChannel(TDriveHarness& d, uint8_t format, uint8_t track = 0, bool subQ = true) {
    return d.Run({0x42, 0, static_cast<uint8_t>(subQ ? 0x40 : 0), format, 0, 0, track, 0, 24, 0}, TDataDirection::In,
                 {}, 24);
}

TEST_F(CdTextTest, TheCatalogueNumberAndIsrcsOfTheCueSheetAnswerReadSubChannel) {
    auto& d = Insert(EMediumKind::CdR);
    TReply none = ReadSubChannel(d, 0x02);
    ASSERT_TRUE(none.Good()) << none.Sense();
    EXPECT_EQ(none.Data[8] & 0x80, 0) << "a blank disc has no catalogue number";

    // MCN (ADR 2, 7 + 6 digits) before the lead-in, ISRC (ADR 3, 6 + 6 characters) before track 1.
    std::vector<uint8_t> sheet = {0x02, '0', '7', '2', '4', '3', '8', '4', 0x02, '2', '6', '0', '9', '2', '7', 0};
    const auto plain = CueSheet();
    sheet.insert(sheet.end(), plain.begin(), plain.begin() + 8);
    for (const char* half : {"USKV12", "500001"}) {
        sheet.insert(sheet.end(), {0x03, 0x01});
        sheet.insert(sheet.end(), half, half + 6);
    }
    sheet.insert(sheet.end(), plain.begin() + 8, plain.end());
    ASSERT_TRUE(d.SetSao().Good());
    ASSERT_TRUE(d.SendCueSheet(sheet).Good());
    ASSERT_EQ(WriteLeadIn(d, Packs()), sense::kGood);
    WriteProgramAndClose(d);

    TReply mcn = ReadSubChannel(d, 0x02);
    ASSERT_TRUE(mcn.Good());
    ASSERT_EQ(mcn.Data.size(), 24u);
    EXPECT_EQ(GetBE16(&mcn.Data[2]), 20);
    EXPECT_EQ(mcn.Data[4], 0x02);
    EXPECT_EQ(mcn.Data[8], 0x80) << "MCVal";
    EXPECT_EQ(std::string(mcn.Data.begin() + 9, mcn.Data.begin() + 22), "0724384260927");
    TReply isrc = ReadSubChannel(d, 0x03, 1);
    ASSERT_TRUE(isrc.Good());
    EXPECT_EQ(isrc.Data[4], 0x03);
    EXPECT_EQ(isrc.Data[6], 1);
    EXPECT_EQ(isrc.Data[8], 0x80) << "TCVal";
    EXPECT_EQ(std::string(isrc.Data.begin() + 9, isrc.Data.begin() + 21), "USKV12500001");
    EXPECT_EQ(GetBE16(&ReadSubChannel(d, 0x02, 0, false).Data[2]), 0) << "without SubQ only the header";
    EXPECT_EQ(ReadSubChannel(d, 0x03, 9).Sense(), sense::kInvalidFieldInCdb) << "no such track";
    EXPECT_EQ(ReadSubChannel(d, 0x07).Sense(), sense::kInvalidFieldInCdb);
}

struct TQuirkCase {
    const char* Quirks;
    bool TakesAtZero, TakesAtStart, TakesRawPage;
};

class CdTextDriveTest : public TRecorderTest, public ::testing::WithParamInterface<TQuirkCase> {
protected:
    TDriveModel Model() const override {
        TDriveModel m;
        std::string error;
        EXPECT_TRUE(m.ApplyQuirks(GetParam().Quirks, error)) << error;
        return m;
    }
};

TEST_P(CdTextDriveTest, TheLeadInIsTakenAsTheDriveWantsIt) {
    const TQuirkCase& c = GetParam();
    auto& d = Insert(EMediumKind::CdR);
    auto raw = TDriveHarness::WritePage(2, 0x04, 0x03);
    EXPECT_EQ(d.ModeSelect(raw).Good(), c.TakesRawPage);
    ASSERT_TRUE(d.SetSao().Good());
    EXPECT_EQ(d.SendCueSheet(CueSheet(0x41, -150)).Good(), c.TakesAtZero);
    EXPECT_EQ(d.SendCueSheet(CueSheet(0x41, kLeadIn)).Good(), c.TakesAtStart);
    EXPECT_TRUE(d.SendCueSheet(CueSheet(0x01)).Good()) << "every drive takes a plain lead-in";
}

INSTANTIATE_TEST_SUITE_P(Quirks, CdTextDriveTest,
                         ::testing::Values(TQuirkCase{"", true, true, false}, TQuirkCase{"cdtextmsf", false, true, true},
                                           TQuirkCase{"nocdtext", false, false, false}));

}  // namespace
}  // namespace kv::vr::test
