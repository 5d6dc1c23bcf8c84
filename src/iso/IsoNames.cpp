#include "iso/IsoNames.h"

#include <algorithm>
#include <cstring>

namespace kv {

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

namespace {

// Decodes one UTF-8 sequence at `i`; returns the number of bytes used, 0 when not valid.
size_t DecodeUtf8(const std::string& s, size_t i, char32_t& cp) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, value = b0 & 0x1F, minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, value = b0 & 0x0F, minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, value = b0 & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(i + k) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    cp = value;
    return len;
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        size_t used = DecodeUtf8(text, i, cp);
        if (used == 0) {
            cp = static_cast<unsigned char>(text[i]);
            used = 1;
        }
        i += used;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

size_t Utf16Length(const std::string& text) { return Utf8ToUtf16(text).size(); }

size_t Utf8PrefixForUnits(const std::string& text, size_t units) {
    size_t taken = 0;
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        size_t used = DecodeUtf8(text, i, cp);
        if (used == 0) used = 1;  // a byte that is not UTF-8 counts as one Latin-1 character
        const size_t need = cp >= 0x10000 && used == 4 ? 2 : 1;
        if (taken + need > units) return i;
        taken += need;
        i += used;
    }
    return text.size();
}

std::vector<uint8_t> Utf16BEBytes(const std::string& text) {
    std::u16string units = Utf8ToUtf16(text);
    std::vector<uint8_t> bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t u : units) {
        bytes.push_back(static_cast<uint8_t>(u >> 8));
        bytes.push_back(static_cast<uint8_t>(u & 0xFF));
    }
    return bytes;
}

void FillField8(uint8_t* dest, size_t n, const std::string& text) {
    std::string upper = UpperAscii(text);
    size_t take = std::min(n, upper.size());
    // Never leave half of a multi-byte character at the end of the field.
    if (take < upper.size()) {
        while (take > 0 && (static_cast<unsigned char>(upper[take]) & 0xC0) == 0x80) --take;
    }
    std::memset(dest, ' ', n);
    std::memcpy(dest, upper.data(), take);
}

void FillFieldJoliet(uint8_t* dest, size_t n, const std::string& text) {
    std::vector<uint8_t> bytes = Utf16BEBytes(text);
    while (bytes.size() < n) {
        bytes.push_back(0x00);
        bytes.push_back(' ');
    }
    std::memcpy(dest, bytes.data(), n);
}

}  // namespace kv
