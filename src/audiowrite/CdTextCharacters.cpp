#include "audiowrite/CdTextCharacters.h"

#include <array>
#include <cstdint>

namespace kv {
namespace {

// U+0100-U+017F (Latin Extended-A) by their base letters; '#' marks the four ligatures below.
constexpr std::string_view kLatinExtendedA =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi##JjKkkLlLlLlLlLlNnNnNnnNnOoOoOo##"
    "RrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";
static_assert(kLatinExtendedA.size() == 0x80);

// U+0410-U+044F, upper case then lower case.
constexpr std::array<std::string_view, 32> kCyrillicUpper = {
    "A", "B", "V", "G", "D",  "E", "Zh", "Z",  "I",  "Y",    "K",  "L", "M", "N", "O",  "P",
    "R", "S", "T", "U", "F", "Kh", "Ts", "Ch", "Sh", "Shch", "\"", "Y", "'", "E", "Yu", "Ya"};
constexpr std::array<std::string_view, 32> kCyrillicLower = {
    "a", "b", "v", "g", "d",  "e", "zh", "z",  "i",  "y",    "k",  "l", "m", "n", "o",  "p",
    "r", "s", "t", "u", "f", "kh", "ts", "ch", "sh", "shch", "\"", "y", "'", "e", "yu", "ya"};

// ISO 8859-1 C0h-FFh as base letter and combining mark (g grave, a acute, c circumflex, t tilde,
// d diaeresis, r ring, x cedilla); '?' where the character is no such pair.
constexpr std::string_view kComposedBase = "AAAAAA?CEEEEIIII?NOOOOO??UUUUY??aaaaaa?ceeeeiiii?nooooo??uuuuy?y";
constexpr std::string_view kComposedMark = "gactdr?xgacdgacd?tgactd??gacda??gactdr?xgacdgacd?tgactd??gacda?d";
static_assert(kComposedBase.size() == 64 && kComposedMark.size() == 64);

char MarkLetter(uint32_t combining) {
    switch (combining) {
        case 0x0300: return 'g';
        case 0x0301: return 'a';
        case 0x0302: return 'c';
        case 0x0303: return 't';
        case 0x0308: return 'd';
        case 0x030A: return 'r';
        case 0x0327: return 'x';
        default: return 0;
    }
}

// The next code point of `s` from `at`; U+FFFD for a byte that starts no valid sequence.
uint32_t NextCodePoint(std::string_view s, size_t& at) {
    const auto b0 = static_cast<unsigned char>(s[at++]);
    if (b0 < 0x80) return b0;
    const int extra = b0 >= 0xF0 && b0 < 0xF5 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC2 && b0 < 0xE0 ? 1 : -1;
    if (extra < 0 || at + static_cast<size_t>(extra) > s.size()) return 0xFFFD;
    uint32_t cp = b0 & (0x3F >> extra);
    for (int i = 0; i < extra; ++i) {
        const auto b = static_cast<unsigned char>(s[at]);
        if ((b & 0xC0) != 0x80) return 0xFFFD;
        cp = cp << 6 | (b & 0x3F);
        ++at;
    }
    const bool overlong = (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
    return overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000) ? 0xFFFD : cp;
}

std::string_view Transliterated(uint32_t cp) {
    if (cp >= 0x0100 && cp < 0x0180) {
        switch (cp) {
            case 0x0132: return "IJ";
            case 0x0133: return "ij";
            case 0x0152: return "OE";
            case 0x0153: return "oe";
            default: return kLatinExtendedA.substr(cp - 0x0100, 1);
        }
    }
    if (cp >= 0x0410 && cp < 0x0430) return kCyrillicUpper[cp - 0x0410];
    if (cp >= 0x0430 && cp < 0x0450) return kCyrillicLower[cp - 0x0430];
    switch (cp) {
        case 0x0401: return "Yo";
        case 0x0451: return "yo";
        case 0x02BC: case 0x2018: case 0x2019: case 0x201A: case 0x201B: case 0x2032: return "'";
        case 0x201C: case 0x201D: case 0x201E: case 0x201F: case 0x2033: return "\"";
        case 0x2010: case 0x2011: case 0x2012: case 0x2013: case 0x2014: case 0x2015: case 0x2212: return "-";
        case 0x2026: return "...";
        case 0x2022: return "*";
        case 0x2039: return "<";
        case 0x203A: return ">";
        case 0x2044: return "/";
        case 0x20AC: return "EUR";
        case 0x2122: return "TM";
        default: return "?";
    }
}

}  // namespace

std::string CdTextLatin1(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) {
        const uint32_t cp = NextCodePoint(utf8, at);
        if (cp < 0x20 || cp == 0x7F) {
            out += ' ';
        } else if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) {
            out += static_cast<char>(cp);
        } else if (cp < 0xA0) {
            // C1 control characters carry nothing to show.
        } else if (cp >= 0x0300 && cp < 0x0370) {
            // A combining mark: joined with the letter before it where ISO 8859-1 has the pair,
            // else dropped, which leaves the base letter.
            const char mark = MarkLetter(cp);
            for (size_t i = 0; mark && !out.empty() && i < kComposedBase.size(); ++i)
                if (kComposedBase[i] == out.back() && kComposedMark[i] == mark) {
                    out.back() = static_cast<char>(0xC0 + i);
                    break;
                }
        } else {
            out += Transliterated(cp);
        }
    }
    return out;
}

}  // namespace kv
