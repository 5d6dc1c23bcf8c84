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
    std::vector<size_t> later;  // names to shorten or to tell apart
    for (size_t i = 0; i < entries.size(); ++i) {
        names[i] = UdfCs0(entries[i].Name);
        if (names[i].size() > kUdfMaxNameBytes) later.push_back(i);
    }
    // Usually every name fits and the names differ: one sort tells, without a set of them all.
    std::vector<size_t> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return names[a] < names[b] || (names[a] == names[b] && a < b); });
    for (size_t k = 1; k < order.size(); ++k)
        if (names[order[k]] == names[order[k - 1]] && names[order[k]].size() <= kUdfMaxNameBytes)
            later.push_back(order[k]);
    if (later.empty()) return names;

    // Names that fit as they are come first, so that a shortened one never takes their place.
    std::sort(later.begin(), later.end());
    std::set<std::vector<uint8_t>> taken;
    for (size_t i = 0, next = 0; i < names.size(); ++i) {
        if (next < later.size() && later[next] == i) {
            ++next;
            continue;
        }
        taken.insert(names[i]);
    }
    for (size_t i : later) {
        const std::u16string units = Utf8ToUtf16(entries[i].Name);
        for (unsigned n = 1;; ++n) {
            const std::string tail = n == 1 ? std::string() : "~" + std::to_string(n);
            std::vector<uint8_t> candidate =
                UdfCs0(Fitted(units, entries[i].IsDirectory, std::u16string(tail.begin(), tail.end())));
            if (taken.insert(candidate).second) {
                names[i] = std::move(candidate);
                break;
            }
        }
    }
    return names;
}

}  // namespace kv
