#pragma once
#include <span>

namespace kv {

// The catalogues the program carries inside itself, as the lines of their INI form ("[section]",
// "//comment", "item=text"). Texts keep their escapes (%0D %0A %25) and "<#name>" placeholders.
std::span<const char* const> ReservedCatalogueLines();  // section 0
std::span<const char* const> DefaultCatalogueLines();   // sections 1 to 29, English

}  // namespace kv
