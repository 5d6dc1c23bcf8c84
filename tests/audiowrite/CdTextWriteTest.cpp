// The CD-TEXT lead-in of an audio write, against the virtual recorder and drives that want it
// announced in other ways or not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "BurnHarness.h"
#include "audiowrite/CdTextEncoder.h"
#include "audiowrite/TThreadedWrite.h"
#include "virtualrecorder/Medium.h"

namespace kv {
namespace {

using test::TBurnHarness;
using test::TLoggedCommand;

// The recorder reads its quirks from the environment when it is made.
class TQuirks {
public:
    explicit TQuirks(const char* quirks) {
        if (*quirks) setenv("KELVADORE_VR_QUIRKS", quirks, 1);
    }
    ~TQuirks() { unsetenv("KELVADORE_VR_QUIRKS"); }
    TQuirks(const TQuirks&) = delete;
    TQuirks& operator=(const TQuirks&) = delete;
};

const std::vector<TCdTextFields> kTrackTexts = {
    {"Morning", "The Band", "A. Writer"}, {"Noon", "The Band", ""}, {"Night", "Guest", ""}};

// Three tracks with texts, the album's texts on the burner.
void DescribeAlbum(TBurnHarness& h, TWriteMethod method) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < kTrackTexts.size(); ++i) {
        paths.push_back((h.Dir / ("t" + std::to_string(i) + ".wav")).string());
        test::WriteWav(paths.back(), test::TestPcm(300 * 2352, static_cast<uint32_t>(i + 3)));
    }
    h.Describe(paths, 150, method);
    h.Burner->CDTitle = "Album";
    h.Burner->CDPerformer = "The Band";
    h.Burner->WriteCdText = true;
    // Describe made the tracks; the texts go on them in order.
    h.Burner->ClearTracks();
    h.Burner->SetWriteMethod(method);
    for (size_t i = 0; i < paths.size(); ++i) {
        ASSERT_TRUE(h.Burner->AddFile(paths[i], kFileTypeWav));
        h.Burner->AddTrack(0);
        h.Burner->SetTrackTexts(kTrackTexts[i]);
        ASSERT_TRUE(h.Burner->AddIndex(0, 0, 0));
        h.Burner->SetPreGap(150);
    }
}

std::vector<TCdTextPack> StoredPacks(TBurnHarness& h) {
    h.Recorder->Remove();
    std::string error;
    auto medium = vr::TMedium::Load(h.MediumPath, error, false);
    EXPECT_TRUE(medium) << error;
    return medium ? medium->State().CdText : std::vector<TCdTextPack>{};
}

// The lead-in entry of each cue sheet sent (8 bytes).
std::vector<std::vector<uint8_t>> LeadInEntries(const TBurnHarness& h) {
    std::vector<std::vector<uint8_t>> entries;
    for (const TLoggedCommand& c : h.Drive->Sent(0x5D))
        for (size_t at = 0; at + 8 <= c.DataOut.size(); at += 8)
            if ((c.DataOut[at] & 0x0F) == 1 && c.DataOut[at + 1] == 0) {
                entries.emplace_back(c.DataOut.begin() + static_cast<long>(at), c.DataOut.begin() + static_cast<long>(at) + 8);
                break;
            }
    return entries;
}

size_t Count(const std::vector<std::string>& messages, const std::string& text) {
    return static_cast<size_t>(std::count(messages.begin(), messages.end(), text));
}

TEST(CdTextWrite, SessionAtOnceCarriesThePacksInTheLeadInOfTheFirstSession) {
    TBurnHarness h;
    DescribeAlbum(h, TWriteMethod::wmDAO);
    const auto expected = EncodeCdText(h.Burner->DiscCdText());
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(h.Burn(), "");

    const auto leadIns = LeadInEntries(h);
    ASSERT_EQ(leadIns.size(), 1u);
    EXPECT_EQ(leadIns[0][3], 0x41) << "audio lead-in, R-W from the host";
    EXPECT_EQ(std::vector<uint8_t>(leadIns[0].begin() + 5, leadIns[0].end()), (std::vector<uint8_t>{0, 0, 0}));
    // The lead-in is written from the start READ DISC INFORMATION gives (97:15:35) up to -151.
    const auto writes = h.Drive->Sent(0x2A);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(static_cast<int32_t>(GetBE32(&writes.front().Cdb[2])), -12490);
    const uint8_t* first = writes.front().DataOut.data();
    EXPECT_EQ(CdTextPackFromSubchannel(first), expected[0]);
    EXPECT_EQ(CdTextPackFromSubchannel(first + 24), expected[1]);
    EXPECT_EQ(Count(h.Messages(), ">>> CD-TEXT: " + std::to_string(expected.size()) + " PACKS IN THE LEAD-IN"), 1u);

    EXPECT_EQ(StoredPacks(h), expected);
    const TCdText back = DecodeCdText(expected);
    EXPECT_EQ(back.Album.Title, "Album");
    EXPECT_EQ(back.Tracks, kTrackTexts);
}

TEST(CdTextWrite, DrivesThatRefuseTheFirstWayGetTheNextOrNone) {
    struct TCase {
        const char* Quirks;
        size_t CueSheets;     // sent in all
        bool Stored;          // the disc carries the packs
        uint8_t LastLeadInM;  // minute of the last lead-in entry sent
    };
    for (const TCase& c : {TCase{"cdtextmsf", 2, true, 97}, TCase{"nocdtext", 3, false, 0}}) {
        SCOPED_TRACE(c.Quirks);
        TQuirks quirks(c.Quirks);
        TBurnHarness h;
        DescribeAlbum(h, TWriteMethod::wmDAO);
        const auto expected = EncodeCdText(h.Burner->DiscCdText());
        EXPECT_EQ(h.Burn(), "");
        const auto leadIns = LeadInEntries(h);
        ASSERT_EQ(leadIns.size(), c.CueSheets);
        EXPECT_EQ(leadIns.back()[5], c.LastLeadInM);
        // The second way asks for data block type 3 with the lead-in's own start (97:15:35).
        EXPECT_EQ(leadIns[1][3], 0x41);
        EXPECT_EQ(std::vector<uint8_t>(leadIns[1].begin() + 5, leadIns[1].end()), (std::vector<uint8_t>{97, 15, 35}));
        const auto messages = h.Messages();
        EXPECT_EQ(Count(messages, std::string(">>> ") + kCdTextRefusedText), c.Stored ? 0u : 1u);
        EXPECT_EQ(StoredPacks(h), c.Stored ? expected : std::vector<TCdTextPack>{});
        if (!c.Stored) {
            EXPECT_EQ(leadIns.back()[3], 0x01) << "the plain cue sheet at last";
            // The page the write goes on with is block type 0 again.
            const auto selects = h.Drive->Sent(0x55);
            bool rawAfterLast = false;
            for (const auto& s : selects) rawAfterLast = s.DataOut.size() > 12 && s.DataOut[8 + 4] == 0x03;
            EXPECT_FALSE(rawAfterLast);
        }
    }
}

TEST(CdTextWrite, TrackAtOnceSaysOnceThatItCarriesNone) {
    {
        TBurnHarness h;
        DescribeAlbum(h, TWriteMethod::wmTAO);
        EXPECT_EQ(h.Burn(), "");
        EXPECT_EQ(Count(h.Messages(), std::string(">>> ") + kCdTextTrackAtOnceText), 1u);
        EXPECT_TRUE(StoredPacks(h).empty());
    }
    // Without CD-TEXT asked for, nothing is said about it.
    TBurnHarness plain;
    DescribeAlbum(plain, TWriteMethod::wmDAO);
    plain.Burner->WriteCdText = false;
    EXPECT_EQ(plain.Burn(), "");
    EXPECT_EQ(LeadInEntries(plain)[0][3], 0x01);
    for (const auto& m : plain.Messages()) EXPECT_EQ(m.find("CD-TEXT"), std::string::npos) << m;
    EXPECT_TRUE(StoredPacks(plain).empty());
}

}  // namespace
}  // namespace kv
