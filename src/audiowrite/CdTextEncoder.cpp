#include "audiowrite/CdTextEncoder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

#include "audiowrite/CdTextCharacters.h"

namespace kv {
namespace {

constexpr size_t kSizeInfoPacks = 3;
constexpr uint8_t kCharsetIso88591 = 0x00;
constexpr uint8_t kLanguageEnglish = 0x09;  // EBU Tech 3264

struct TTypeTexts {
    uint8_t Type = 0;
    std::vector<std::string> Texts;  // the disc's, then each track's (ISO 8859-1)
    bool Shortened = true;           // takes part in the cut to fit the block
};

bool AllDigits(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

// ISRC: country and owner (5 letters or digits), year and serial (7 digits).
bool IsIsrc(const std::string& s) {
    if (s.size() != 12) return false;
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (i < 5 ? !(std::isdigit(c) || std::isupper(c)) : !std::isdigit(c)) return false;
    }
    return true;
}

// The bytes of one type as the packs carry them: each text NUL-terminated, a track's text equal
// to the previous track's as a single TAB. Also where each text starts.
std::string TypeStream(const std::vector<std::string>& texts, size_t limit, std::vector<size_t>& starts) {
    std::string stream;
    starts.clear();
    for (size_t i = 0; i < texts.size(); ++i) {
        starts.push_back(stream.size());
        const std::string text = texts[i].substr(0, limit);
        // Track 2 on; the first track's text is never abbreviated against the disc's.
        if (i >= 2 && !text.empty() && text == texts[i - 1].substr(0, limit))
            stream += '\t';
        else
            stream += text;
        stream += '\0';
    }
    return stream;
}

size_t PacksFor(size_t bytes) { return (bytes + kCdTextPayloadBytes - 1) / kCdTextPayloadBytes; }

size_t TotalPacks(const std::vector<TTypeTexts>& types, size_t limit) {
    size_t packs = kSizeInfoPacks;
    std::vector<size_t> starts;
    for (const auto& t : types) packs += PacksFor(TypeStream(t.Texts, t.Shortened ? limit : SIZE_MAX, starts).size());
    return packs;
}

}  // namespace

std::vector<TCdTextPack> EncodeCdText(const TCdText& in) {
    std::vector<TCdTextPack> packs;
    const size_t trackCount = std::min<size_t>(in.Tracks.size(), 99);
    if (trackCount == 0) return packs;

    std::vector<TTypeTexts> types;
    const std::array<std::string TCdTextFields::*, 3> fields = {&TCdTextFields::Title, &TCdTextFields::Performer,
                                                                &TCdTextFields::SongWriter};
    for (size_t f = 0; f < fields.size(); ++f) {
        TTypeTexts t{static_cast<uint8_t>(kCdTextTitle + f), {CdTextLatin1(in.Album.*fields[f])}, true};
        for (size_t i = 0; i < trackCount; ++i) t.Texts.push_back(CdTextLatin1(in.Tracks[i].*fields[f]));
        types.push_back(std::move(t));
    }
    TTypeTexts codes{kCdTextCodes, {in.UpcEan.size() == 13 && AllDigits(in.UpcEan) ? in.UpcEan : ""}, false};
    for (size_t i = 0; i < trackCount; ++i)
        codes.Texts.push_back(i < in.Isrc.size() && IsIsrc(in.Isrc[i]) ? in.Isrc[i] : "");
    types.push_back(std::move(codes));
    // A type is sent only when it says something: then with a text for the disc and every track.
    std::erase_if(types, [](const TTypeTexts& t) {
        return std::all_of(t.Texts.begin(), t.Texts.end(), [](const std::string& s) { return s.empty(); });
    });
    if (types.empty()) return packs;

    // The longest cut that fits the block.
    size_t limit = kCdTextMaxTextBytes;
    while (limit > 0 && TotalPacks(types, limit) > kCdTextMaxPacks) --limit;

    std::array<uint8_t, 16> counts{};
    uint8_t sequence = 0;
    std::vector<size_t> starts;
    for (const auto& t : types) {
        const std::string stream = TypeStream(t.Texts, t.Shortened ? limit : SIZE_MAX, starts);
        for (size_t at = 0; at < stream.size(); at += kCdTextPayloadBytes) {
            // Whose text the pack's first byte belongs to, and how much of it earlier packs hold.
            const size_t owner = static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), at) - starts.begin()) - 1;
            const size_t position = std::min<size_t>(at - starts[owner], 15);
            TCdTextPack p{};
            p[0] = t.Type;
            p[1] = static_cast<uint8_t>(owner == 0 ? 0 : in.FirstTrack + owner - 1);
            p[2] = sequence++;
            p[3] = static_cast<uint8_t>(position);  // block 0, single-byte characters
            const size_t n = std::min(kCdTextPayloadBytes, stream.size() - at);
            std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(at), n, p.begin() + 4);
            SealCdTextPack(p);
            packs.push_back(p);
            ++counts[t.Type & 0x0F];
        }
    }
    counts[kCdTextSizeInfo & 0x0F] = kSizeInfoPacks;

    std::array<uint8_t, kSizeInfoPacks * kCdTextPayloadBytes> info{};
    info[0] = kCharsetIso88591;
    info[1] = in.FirstTrack;
    info[2] = static_cast<uint8_t>(in.FirstTrack + trackCount - 1);
    info[3] = 0;  // no copyright flags
    std::copy(counts.begin(), counts.end(), info.begin() + 4);
    info[20] = static_cast<uint8_t>(sequence + kSizeInfoPacks - 1);  // last sequence number of block 0
    info[28] = kLanguageEnglish;
    for (size_t part = 0; part < kSizeInfoPacks; ++part) {
        TCdTextPack p{};
        p[0] = kCdTextSizeInfo;
        p[1] = static_cast<uint8_t>(part);
        p[2] = sequence++;
        std::copy_n(info.begin() + static_cast<std::ptrdiff_t>(part * kCdTextPayloadBytes), kCdTextPayloadBytes,
                    p.begin() + 4);
        SealCdTextPack(p);
        packs.push_back(p);
    }
    return packs;
}

}  // namespace kv
