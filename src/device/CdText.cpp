// Reading CD-TEXT: the packs READ TOC format 5 returns, turned back into texts.
#include "device/CdText.h"

#include <algorithm>
#include <map>

#include "platform/ByteOrder.h"

namespace kv {
namespace {

constexpr size_t kSizeInfoBytes = 36;  // three 8Fh packs
constexpr uint8_t kCharsetIso88591 = 0x00;
constexpr uint8_t kCharsetAscii = 0x01;

std::string Latin1ToUtf8(const std::string& latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (const char c : latin1) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

// The texts of one pack type by track (0 = the disc): the packs' payloads form one run of
// NUL-terminated texts, and a pack's track byte says whose text its first byte belongs to.
std::map<int, std::string> TextsOfType(const std::vector<const TCdTextPack*>& packs) {
    std::map<int, std::string> texts;
    std::string buffer;
    int track = 0;
    for (const TCdTextPack* p : packs) {
        if (buffer.empty()) track = (*p)[1];
        for (size_t i = 4; i < 4 + kCdTextPayloadBytes; ++i) {
            const char c = static_cast<char>((*p)[i]);
            if (c != 0) {
                buffer += c;
                continue;
            }
            // A single TAB repeats the previous track's text (for track 1 the disc's).
            if (buffer == "\t" && track >= 1) buffer = texts[track - 1];
            if (!buffer.empty() || !texts.contains(track)) texts[track] = buffer;
            buffer.clear();
            ++track;
        }
    }
    return texts;
}

}  // namespace

bool TCdText::Empty() const {
    if (!Album.Empty() || !UpcEan.empty()) return false;
    for (const auto& t : Tracks)
        if (!t.Empty()) return false;
    return std::all_of(Isrc.begin(), Isrc.end(), [](const std::string& code) { return code.empty(); });
}

std::vector<TCdTextPack> CdTextPacksOfTocReply(std::span<const uint8_t> reply) {
    std::vector<TCdTextPack> packs;
    if (reply.size() < 4) return packs;
    const size_t stated = GetBE16(reply.data());
    const size_t available = std::min(stated >= 2 ? stated - 2 : 0, reply.size() - 4);
    for (size_t at = 4; at + kCdTextPackBytes <= 4 + available; at += kCdTextPackBytes) {
        TCdTextPack p{};
        std::copy_n(reply.begin() + static_cast<std::ptrdiff_t>(at), kCdTextPackBytes, p.begin());
        packs.push_back(p);
    }
    return packs;
}

TCdText DecodeCdText(std::span<const TCdTextPack> packs) {
    TCdText result;
    std::map<uint8_t, std::vector<const TCdTextPack*>> byType;
    std::vector<uint8_t> sizeInfo;
    for (const TCdTextPack& p : packs) {
        if (!CdTextPackCrcGood(p) || CdTextPackBlock(p) != 0 || p[0] < 0x80 || p[0] > 0x8F) continue;
        if (CdTextPackDoubleByte(p)) return result;
        if (p[0] == kCdTextSizeInfo) {
            if (p[1] == sizeInfo.size() / kCdTextPayloadBytes)
                sizeInfo.insert(sizeInfo.end(), p.begin() + 4, p.begin() + 4 + kCdTextPayloadBytes);
            continue;
        }
        byType[p[0]].push_back(&p);
    }
    for (auto& [type, list] : byType)
        std::stable_sort(list.begin(), list.end(), [](const TCdTextPack* a, const TCdTextPack* b) { return (*a)[2] < (*b)[2]; });
    const bool sized = sizeInfo.size() == kSizeInfoBytes;
    if (sized && sizeInfo[0] != kCharsetIso88591 && sizeInfo[0] != kCharsetAscii) return result;

    const std::map<int, std::string> titles = TextsOfType(byType[kCdTextTitle]);
    const std::map<int, std::string> performers = TextsOfType(byType[kCdTextPerformer]);
    const std::map<int, std::string> songWriters = TextsOfType(byType[kCdTextSongWriter]);
    const std::map<int, std::string> codes = TextsOfType(byType[kCdTextCodes]);
    int first = sized ? sizeInfo[1] : 0, last = sized ? sizeInfo[2] : 0;
    if (!sized) {
        // Without size information the tracks are those the texts name.
        for (const auto* texts : {&titles, &performers, &songWriters, &codes})
            for (const auto& [track, text] : *texts)
                if (track > 0 && !text.empty()) {
                    first = first == 0 ? track : std::min(first, track);
                    last = std::max(last, track);
                }
    }
    auto text = [](const std::map<int, std::string>& texts, int track) {
        const auto it = texts.find(track);
        return it == texts.end() ? std::string() : Latin1ToUtf8(it->second);
    };
    result.Album = {text(titles, 0), text(performers, 0), text(songWriters, 0)};
    result.UpcEan = text(codes, 0);
    result.FirstTrack = static_cast<uint8_t>(std::clamp(first, 1, 99));
    for (int track = first; first >= 1 && track <= last && track <= 99; ++track) {
        result.Tracks.push_back({text(titles, track), text(performers, track), text(songWriters, track)});
        result.Isrc.push_back(text(codes, track));
    }
    return result;
}

}  // namespace kv
