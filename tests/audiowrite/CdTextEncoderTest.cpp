#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audiowrite/CdTextCharacters.h"
#include "audiowrite/CdTextEncoder.h"
#include "device/CdText.h"
#include "platform/CdTextPack.h"

namespace kv {
namespace {

TCdTextPack PackOf(std::initializer_list<uint8_t> head, const std::string& payload = {}) {
    TCdTextPack p{};
    std::copy(head.begin(), head.end(), p.begin());
    std::copy(payload.begin(), payload.end(), p.begin() + 4);
    return p;
}

std::string Payload(const TCdTextPack& p) { return std::string(p.begin() + 4, p.begin() + 16); }
std::string Text(std::initializer_list<char> bytes) { return std::string(bytes); }

TEST(CdTextPacks, CrcAndSubChannelFormMatchTheReferenceVectors) {
    struct TVector {
        TCdTextPack Pack;
        uint8_t Crc0, Crc1;
    };
    const TVector vectors[] = {
        {PackOf({0x80, 0x00, 0x00, 0x00}, "Joyful Night"), 0xF0, 0xF7},
        {PackOf({0x8F, 0x00, 0x13, 0x00, 0x00, 0x01, 0x03, 0x00, 0x05, 0x05, 0x04}), 0x9B, 0xFE},
        {PackOf({0x8F, 0x00, 0x2A, 0x00, 0x01, 0x01, 0x03, 0x00, 0x06, 0x05, 0x04, 0x05, 0x07, 0x06, 0x01, 0x02}),
         0x48, 0x65},
    };
    for (const auto& v : vectors) {
        TCdTextPack p = v.Pack;
        SealCdTextPack(p);
        EXPECT_EQ(p[16], v.Crc0);
        EXPECT_EQ(p[17], v.Crc1);
        EXPECT_TRUE(CdTextPackCrcGood(p));
        p[5] ^= 0x01;
        EXPECT_FALSE(CdTextPackCrcGood(p));
    }
    // Every 3 bytes become four 6-bit symbols in bits 5-0.
    TCdTextPack p = vectors[2].Pack;
    SealCdTextPack(p);
    uint8_t sub[24];
    CdTextPackToSubchannel(p, sub);
    const std::vector<uint8_t> expected = {0x23, 0x30, 0x00, 0x2A, 0x00, 0x00, 0x04, 0x01, 0x00, 0x30, 0x00, 0x06,
                                           0x01, 0x10, 0x10, 0x05, 0x01, 0x30, 0x18, 0x01, 0x00, 0x24, 0x21, 0x25};
    EXPECT_EQ(std::vector<uint8_t>(sub, sub + 24), expected);
    EXPECT_EQ(CdTextPackFromSubchannel(sub), p);
}

// An album of three tracks: a disc title that ends one byte into the second pack, a track title
// longer than a pack, a performer repeated from track 1 to track 2, no songwriters.
TEST(CdTextPacks, AnAlbumIsEncodedFieldByFieldAndReadsBack) {
    TCdText album;
    album.Album = {"Joyful Nights", "Choir", ""};
    album.Tracks = {{"Song of Joy in the Morning", "Choir", ""}, {"Evening", "Choir", ""}, {"Night", "Solo", ""}};
    const std::vector<TCdTextPack> packs = EncodeCdText(album);
    ASSERT_EQ(packs.size(), 10u);
    struct TExpected {
        uint8_t Type, Track, Sequence, Position;
        std::string Payload;
    };
    const std::string z(1, '\0');
    const TExpected expected[] = {
        {0x80, 0, 0, 0, "Joyful Night"},
        // The disc's title ends here: 12 characters of it were in the pack before.
        {0x80, 0, 1, 12, "s" + z + "Song of Jo"},
        {0x80, 1, 2, 10, "y in the Mor"},
        {0x80, 1, 3, 15, "ning" + z + "Evening"},  // 22 characters sent: the field says 15 at most
        {0x80, 2, 4, 7, z + "Night" + z + std::string(5, '\0')},
        {0x81, 0, 5, 0, "Choir" + z + "Choir" + z},
        // Track 2 repeats track 1's performer: a single TAB.
        {0x81, 2, 6, 0, "\t" + z + "Solo" + z + std::string(5, '\0')},
        {0x8F, 0, 7, 0, Text({0x00, 0x01, 0x03, 0x00, 0x05, 0x02, 0, 0, 0, 0, 0, 0})},
        {0x8F, 1, 8, 0, Text({0, 0, 0, 0, 0, 0, 0, 0x03, 0x09, 0, 0, 0})},
        {0x8F, 2, 9, 0, Text({0, 0, 0, 0, 0x09, 0, 0, 0, 0, 0, 0, 0})},
    };
    for (size_t i = 0; i < packs.size(); ++i) {
        SCOPED_TRACE("pack " + std::to_string(i));
        EXPECT_EQ(packs[i][0], expected[i].Type);
        EXPECT_EQ(packs[i][1], expected[i].Track);
        EXPECT_EQ(packs[i][2], expected[i].Sequence);
        EXPECT_EQ(packs[i][3], expected[i].Position) << "block 0, single-byte";
        EXPECT_EQ(Payload(packs[i]), expected[i].Payload);
        EXPECT_TRUE(CdTextPackCrcGood(packs[i]));
    }
    const TCdText back = DecodeCdText(packs);
    EXPECT_EQ(back.Album, album.Album);
    EXPECT_EQ(back.FirstTrack, 1);
    EXPECT_EQ(back.Tracks, album.Tracks);

    // A damaged pack is left out by the reader; the rest still reads.
    std::vector<TCdTextPack> damaged = packs;
    damaged[5][6] ^= 0x20;
    EXPECT_EQ(DecodeCdText(damaged).Tracks[2].Performer, "Solo");
    EXPECT_EQ(DecodeCdText(damaged).Album.Title, "Joyful Nights");
}

TEST(CdTextPacks, TextsBecomeIso88591OrTheirNearestAscii) {
    const std::string latin1Cafe = Text({'C', 'a', 'f', static_cast<char>(0xE9)});
    EXPECT_EQ(CdTextLatin1("Café"), latin1Cafe);
    EXPECT_EQ(CdTextLatin1("Cafe\xCC\x81"), latin1Cafe) << "e + combining acute is é";
    EXPECT_EQ(CdTextLatin1("Łódź"), "L" + Text({static_cast<char>(0xF3)}) + "dz");
    EXPECT_EQ(CdTextLatin1("Œuvre – “Live”…"), "OEuvre - \"Live\"...");
    EXPECT_EQ(CdTextLatin1("Москва"), "Moskva");
    EXPECT_EQ(CdTextLatin1("東京"), "??");
    EXPECT_EQ(CdTextLatin1("a\tb\nc"), "a b c") << "a lone TAB would mean 'as before'";
    EXPECT_EQ(CdTextLatin1(std::string("x\xFFy", 3)), "x?y") << "bytes that are no UTF-8";
    EXPECT_EQ(CdTextLatin1("5 €"), "5 EUR");

    // What a pack carries is never a UTF-8 sequence and reads back as the same text.
    TCdText disc;
    disc.Album.Title = "Élan — Straße";
    disc.Tracks = {{"Ça ira", "Björk", ""}};
    const auto packs = EncodeCdText(disc);
    ASSERT_FALSE(packs.empty());
    const std::string first = Payload(packs[0]);
    EXPECT_EQ(first.substr(0, 4), Text({static_cast<char>(0xC9), 'l', 'a', 'n'}));
    const TCdText back = DecodeCdText(packs);
    EXPECT_EQ(back.Album.Title, "Élan - Straße");
    EXPECT_EQ(back.Tracks[0].Title, "Ça ira");
    EXPECT_EQ(back.Tracks[0].Performer, "Björk");
}

TEST(CdTextPacks, TextsAreCutToWhatOneBlockHolds) {
    TCdText disc;
    disc.Album.Title = std::string(300, 'A');
    disc.Tracks = {{"short", "", ""}};
    EXPECT_EQ(DecodeCdText(EncodeCdText(disc)).Album.Title, std::string(kCdTextMaxTextBytes, 'A'));

    // 99 tracks with long, different titles and performers cannot all keep 159 characters.
    TCdText full;
    full.Album = {"Album", "Artist", ""};
    for (int i = 0; i < 99; ++i)
        full.Tracks.push_back({std::to_string(i) + std::string(150, 't'), std::to_string(i) + std::string(150, 'p'), ""});
    const auto packs = EncodeCdText(full);
    EXPECT_LE(packs.size(), kCdTextMaxPacks);
    EXPECT_EQ(packs.back()[2], packs.size() - 1) << "sequence numbers fit one byte";
    const TCdText back = DecodeCdText(packs);
    ASSERT_EQ(back.Tracks.size(), 99u);
    EXPECT_LT(back.Tracks[98].Title.size(), 150u);
    EXPECT_EQ(back.Tracks[98].Title.substr(0, 2), "98");
    EXPECT_EQ(full.Tracks[42].Performer.substr(0, back.Tracks[42].Performer.size()), back.Tracks[42].Performer);
}

TEST(CdTextPacks, CodesAndEmptyDiscs) {
    TCdText disc;
    disc.Tracks = {{}, {}};
    EXPECT_TRUE(EncodeCdText(disc).empty()) << "nothing to say, no packs";

    disc.UpcEan = "0724384260927";
    disc.Isrc = {"USRC17607839", "not-an-isrc"};
    const TCdText back = DecodeCdText(EncodeCdText(disc));
    EXPECT_EQ(back.UpcEan, "0724384260927");
    EXPECT_EQ(back.Isrc, (std::vector<std::string>{"USRC17607839", ""}));
    EXPECT_TRUE(back.Album.Empty());

    disc.UpcEan = "12345";  // no UPC/EAN: left out
    disc.Isrc.clear();
    EXPECT_TRUE(EncodeCdText(disc).empty());
}

}  // namespace
}  // namespace kv
