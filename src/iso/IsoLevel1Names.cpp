#include "iso/IsoLevel1Names.h"

#include <algorithm>
#include <cstdio>

namespace kv {
namespace {

constexpr size_t kBaseLength = 8;
constexpr size_t kExtensionLength = 3;

bool IsDChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; }

// Maps a UTF-8 text to d-characters: a-z upper-cased, one '_' for every other character
// (a multi-byte sequence counts once).
std::string ToDCharacters(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t len = 1;
        if (c >= 0xC0)
            while (i + len < text.size() && (static_cast<unsigned char>(text[i + len]) & 0xC0) == 0x80) ++len;
        char mapped = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
        out.push_back(c < 0x80 && IsDChar(mapped) ? mapped : '_');
        i += len;
    }
    return out;
}

void Split(const std::string& name, bool isDirectory, std::string& base, std::string& extension) {
    size_t dot = isDirectory ? std::string::npos : name.find_last_of('.');
    base = ToDCharacters(dot == std::string::npos ? name : name.substr(0, dot));
    extension = dot == std::string::npos ? std::string() : ToDCharacters(name.substr(dot + 1));
    if (base.size() > kBaseLength) base.resize(kBaseLength);
    if (extension.size() > kExtensionLength) extension.resize(kExtensionLength);
    if (base.empty()) base = "_";
}

std::string Join(const std::string& base, const std::string& extension, bool isDirectory) {
    return isDirectory ? base : base + "." + extension;
}

}  // namespace

std::string TIsoLevel1Namer::BaseForm(const std::string& longName, bool isDirectory) {
    std::string base, extension;
    Split(longName, isDirectory, base, extension);
    return Join(base, extension, isDirectory);
}

bool TIsoLevel1Namer::IsValid(const std::string& name, bool isDirectory) {
    size_t dot = name.find('.');
    if (isDirectory) {
        if (dot != std::string::npos || name.empty() || name.size() > kBaseLength) return false;
    } else {
        if (dot == std::string::npos || name.find('.', dot + 1) != std::string::npos) return false;
        if (dot == 0 || dot > kBaseLength || name.size() - dot - 1 > kExtensionLength) return false;
    }
    for (char c : name)
        if (c != '.' && !IsDChar(c)) return false;
    return true;
}

std::string TIsoLevel1Namer::Allocate(const std::string& directoryKey, const std::string& longName,
                                      bool isDirectory) {
    std::string base, extension;
    Split(longName, isDirectory, base, extension);
    std::unordered_set<std::string>& used = used_[directoryKey];
    std::string candidate = Join(base, extension, isDirectory);
    for (unsigned n = 1; used.count(candidate) != 0; ++n) {
        // "0N" stands where other systems put "~N": names keep the length users know from them,
        // and every character stays a d-character.
        std::string tail = "0" + std::to_string(n);
        if (tail.size() >= kBaseLength) break;  // ten million clashes: give up on uniqueness
        std::string shortened = base.substr(0, std::min(base.size(), kBaseLength - tail.size()));
        candidate = Join(shortened + tail, extension, isDirectory);
    }
    used.insert(candidate);
    return candidate;
}

std::string TIsoLevel1Namer::Allocate(const TDEntry& dir, const std::string& longName, bool isDirectory) {
    // Keyed by the record itself: two folders whose names differ only in case, or a name holding
    // a backslash, would share a path text.
    char key[32];
    std::snprintf(key, sizeof key, "%p", static_cast<const void*>(&dir));
    if (used_.find(key) == used_.end()) {
        std::unordered_set<std::string>& used = used_[key];
        for (const TFEntry* e = dir.FirstEntry; e; e = e->Next) used.insert(e->ShortName);
    }
    return Allocate(key, longName, isDirectory);
}

}  // namespace kv
