#include "iso/UdfNames.h"

#include <algorithm>
#include <set>

#include "iso/IsoNames.h"
#include "iso/UdfPrimitives.h"

namespace kv {
namespace {

// An extension longer than this is part of the name, not something a reader opens files by.
constexpr size_t kKeptExtensionUnits = 16;

bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}

bool IsWide(const std::u16string& units) {
    return std::any_of(units.begin(), units.end(), [](char16_t u) { return u > 0xFF; });
}

// `units` cut to `room` characters with `tail` (empty or "~N") before a file's extension.
std::u16string Cut(const std::u16string& units, bool isDirectory, const std::u16string& tail, size_t room) {
    std::u16string stem = units, extension;
    const size_t dot = isDirectory ? std::u16string::npos : units.find_last_of(u'.');
    if (dot != std::u16string::npos && dot > 0 && units.size() - dot <= kKeptExtensionUnits) {
        stem = units.substr(0, dot);
        extension = units.substr(dot);
    }
    const size_t keep = room > extension.size() + tail.size() ? room - extension.size() - tail.size() : 0;
    if (stem.size() > keep) {
        stem.resize(keep);
        if (!stem.empty() && IsHighSurrogate(stem.back())) stem.pop_back();
    }
    return stem + tail + extension;
}

// `units` made to fit with `tail`: 254 characters when what is kept is all below U+0100, else 127.
std::u16string Fitted(const std::u16string& units, bool isDirectory, const std::u16string& tail) {
    const std::u16string narrow = Cut(units, isDirectory, tail, kUdfMaxNameBytes - 1);
    return IsWide(narrow) ? Cut(units, isDirectory, tail, (kUdfMaxNameBytes - 1) / 2) : narrow;
}

}  // namespace

std::vector<std::vector<uint8_t>> UdfDirectoryNames(const std::vector<TUdfNameRequest>& entries) {
    std::vector<std::vector<uint8_t>> names(entries.size());
    std::set<std::vector<uint8_t>> taken;
    std::vector<std::u16string> units(entries.size());
    // Names that fit as they are come first, so that a shortened one never takes their place.
    std::vector<size_t> later;
    for (size_t i = 0; i < entries.size(); ++i) {
        units[i] = Utf8ToUtf16(entries[i].Name);
        std::vector<uint8_t> exact = UdfCs0(units[i]);
        if (exact.size() <= kUdfMaxNameBytes && taken.insert(exact).second)
            names[i] = std::move(exact);
        else
            later.push_back(i);
    }
    for (size_t i : later) {
        for (unsigned n = 1;; ++n) {
            const std::string tail = n == 1 ? std::string() : "~" + std::to_string(n);
            std::vector<uint8_t> candidate =
                UdfCs0(Fitted(units[i], entries[i].IsDirectory, std::u16string(tail.begin(), tail.end())));
            if (taken.insert(candidate).second) {
                names[i] = std::move(candidate);
                break;
            }
        }
    }
    return names;
}

}  // namespace kv
