#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

// Upper-cases a-z only: ISO 9660 names are built from the model's 8-bit text without any
// locale-dependent folding.
std::string UpperAscii(std::string text);

// UTF-8 to UTF-16 code units. Bytes that are not valid UTF-8 (a Linux file name may be any
// byte string) are taken as Latin-1, the way an 8-bit code page maps them.
std::u16string Utf8ToUtf16(const std::string& text);

// Number of UTF-16 code units of a UTF-8 text, i.e. the Joliet length of a name.
size_t Utf16Length(const std::string& text);

// Bytes of the longest prefix of a UTF-8 text that takes at most `units` UTF-16 code units and
// ends between two characters.
size_t Utf8PrefixForUnits(const std::string& text, size_t units);

// Big-endian UCS-2/UTF-16 bytes, two per code unit (Joliet identifiers and fields).
std::vector<uint8_t> Utf16BEBytes(const std::string& text);

// Descriptor text fields. 8-bit form: upper-cased, space-filled, cut to n bytes (never inside
// a UTF-8 sequence). Joliet form: as given, space-filled, UTF-16 big-endian, first n bytes.
void FillField8(uint8_t* dest, size_t n, const std::string& text);
void FillFieldJoliet(uint8_t* dest, size_t n, const std::string& text);

// ISO 9660 9.1: a directory record is 33 bytes plus the identifier, plus one pad byte when the
// identifier length is even (so that every record has an even length).
inline size_t DirRecordLength(size_t identifierLength) {
    return 33 + identifierLength + (identifierLength % 2 == 0 ? 1 : 0);
}

// ISO 9660 9.4: a path table record is 8 bytes plus the identifier, padded to an even length.
inline size_t PathTableRecordLength(size_t identifierLength) { return 8 + identifierLength + identifierLength % 2; }

// A directory record length is one byte (ISO 9660 9.1.1).
inline constexpr size_t kMaxDirRecordLength = 255;

}  // namespace kv
