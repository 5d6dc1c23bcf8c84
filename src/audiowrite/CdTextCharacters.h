#pragma once
#include <string>
#include <string_view>

namespace kv {

// A UTF-8 text as the ISO 8859-1 bytes a CD-TEXT pack holds: characters of that set as they are
// (a letter followed by a combining accent is joined where the set has the pair), Latin letters
// with other marks as their base letters, Cyrillic transliterated, typographic dashes, quotes
// and ellipses as their ASCII forms, anything else as '?'. Control characters become spaces (a
// lone TAB would mean "same as the previous track"), and no byte of the result is 00h.
std::string CdTextLatin1(std::string_view utf8);

}  // namespace kv
