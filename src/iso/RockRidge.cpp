#include "iso/RockRidge.h"

#include <algorithm>
#include <string>

#include "platform/ByteOrder.h"

namespace kv {
namespace {

// RRIP 1.12 names its extension IEEE_P1282 (earlier versions RRIP_1991A, with a 36-byte PX).
constexpr std::string_view kExtensionId = "IEEE_P1282";
constexpr std::string_view kExtensionDescriptor = "THE IEEE P1282 PROTOCOL PROVIDES SUPPORT FOR POSIX FILE SYSTEM SEMANTICS";
constexpr std::string_view kExtensionSource =
    "PLEASE CONTACT THE IEEE STANDARDS DEPARTMENT, PISCATAWAY, NJ, USA FOR THE P1282 SPECIFICATION";

constexpr size_t kEntryMax = 255;  // an entry's length is one byte (SUSP 4.1)
constexpr size_t kEntryHeader = 4;

using TEntry = std::vector<uint8_t>;

TEntry Header(char a, char b, size_t length) {
    TEntry e{static_cast<uint8_t>(a), static_cast<uint8_t>(b), static_cast<uint8_t>(length), 1};  // version 1
    e.resize(length, 0);
    return e;
}

void PutBoth(TEntry& e, size_t at, uint32_t value) { PutBoth32(e.data() + at, value); }

// NM (RRIP 4.1.4): the name, in pieces of at most 250 bytes, each but the last marked CONTINUE.
void AppendNames(std::vector<TEntry>& out, std::string_view name) {
    constexpr size_t kPiece = kEntryMax - 5;
    for (size_t at = 0; at < name.size(); at += kPiece) {
        const size_t n = std::min(kPiece, name.size() - at);
        TEntry e = Header('N', 'M', 5 + n);
        e[4] = at + n < name.size() ? 0x01 : 0x00;
        std::copy_n(name.data() + at, n, e.begin() + 5);
        out.push_back(std::move(e));
    }
}

// SL (RRIP 4.1.3): the target as component records -- ROOT for a leading "/", CURRENT and PARENT
// for "." and "..", the text of every other component -- spread over as many SL entries as they
// need. A component that does not fit the rest of an entry is split, its first pieces marked
// CONTINUE; an SL entry followed by more of the same link is marked CONTINUE too.
void AppendLink(std::vector<TEntry>& out, std::string_view target) {
    struct TComponent {
        uint8_t Flags;
        std::string_view Text;
    };
    std::vector<TComponent> components;
    size_t at = 0;
    if (!target.empty() && target.front() == '/') {
        components.push_back({0x08, {}});
        at = 1;
    }
    while (at <= target.size()) {
        size_t slash = target.find('/', at);
        if (slash == std::string_view::npos) slash = target.size();
        const std::string_view part = target.substr(at, slash - at);
        if (part == ".")
            components.push_back({0x02, {}});
        else if (part == "..")
            components.push_back({0x04, {}});
        else if (!part.empty())
            components.push_back({0x00, part});
        at = slash + 1;
    }
    TEntry current = Header('S', 'L', 5);
    auto close = [&](bool more) {
        current[4] = more ? 0x01 : 0x00;
        current[2] = static_cast<uint8_t>(current.size());
        out.push_back(std::move(current));
        current = Header('S', 'L', 5);
    };
    for (const TComponent& c : components) {
        std::string_view rest = c.Text;
        do {
            if (current.size() + 2 + (rest.empty() ? 0 : 1) > kEntryMax) close(true);
            const size_t n = std::min(rest.size(), kEntryMax - current.size() - 2);
            const bool continues = n < rest.size();
            current.push_back(static_cast<uint8_t>(c.Flags | (continues ? 0x01 : 0x00)));
            current.push_back(static_cast<uint8_t>(n));
            current.insert(current.end(), rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(n));
            rest.remove_prefix(n);
        } while (!rest.empty());
    }
    close(false);
}

TEntry ExtensionReference() {
    TEntry e = Header('E', 'R', 8 + kExtensionId.size() + kExtensionDescriptor.size() + kExtensionSource.size());
    e[4] = static_cast<uint8_t>(kExtensionId.size());
    e[5] = static_cast<uint8_t>(kExtensionDescriptor.size());
    e[6] = static_cast<uint8_t>(kExtensionSource.size());
    e[7] = 1;  // extension version
    auto it = std::copy(kExtensionId.begin(), kExtensionId.end(), e.begin() + 8);
    it = std::copy(kExtensionDescriptor.begin(), kExtensionDescriptor.end(), it);
    std::copy(kExtensionSource.begin(), kExtensionSource.end(), it);
    return e;
}

void Append(std::vector<uint8_t>& to, const TEntry& e) { to.insert(to.end(), e.begin(), e.end()); }

}  // namespace

void SetContinuation(uint8_t* entry, uint32_t sector, uint32_t offset, uint32_t length) {
    PutBoth32(entry + 4, sector);
    PutBoth32(entry + 12, offset);
    PutBoth32(entry + 20, length);
}

TSystemUse BuildSystemUse(const TRockRidgeFields& f, size_t room) {
    // An identifier that leaves no room even for a CE entry (a caller's overlong ISO name) gets a
    // record without Rock Ridge rather than one longer than 255 bytes.
    if (room < kContinuationEntryLength) return {};
    std::vector<TEntry> entries;
    if (f.RootDot) {
        // SUSP 5.3: SP opens the System Use of the root's first record; nothing to skip.
        TEntry sp = Header('S', 'P', 7);
        sp[4] = 0xBE;
        sp[5] = 0xEF;
        entries.push_back(std::move(sp));
    }
    TEntry px = Header('P', 'X', 44);
    PutBoth(px, 4, f.Mode);
    PutBoth(px, 12, f.Links);
    PutBoth(px, 20, f.Uid);
    PutBoth(px, 28, f.Gid);
    PutBoth(px, 36, f.Serial);
    entries.push_back(std::move(px));
    // TF (RRIP 4.1.6): modification, access and attribute change, in short form.
    TEntry tf = Header('T', 'F', 5 + 3 * 7);
    tf[4] = 0x0E;
    std::copy(f.Modified.begin(), f.Modified.end(), tf.begin() + 5);
    std::copy(f.Accessed.begin(), f.Accessed.end(), tf.begin() + 12);
    std::copy(f.Changed.begin(), f.Changed.end(), tf.begin() + 19);
    entries.push_back(std::move(tf));
    if (!f.Name.empty()) AppendNames(entries, f.Name);
    if (!f.LinkTarget.empty()) AppendLink(entries, f.LinkTarget);
    // The extension reference is long (183 bytes) and never fits beside the rest of the root's
    // record, so it always opens the continuation.
    const size_t forcedOut = f.RootDot ? entries.size() : entries.size() + 1;
    if (f.RootDot) entries.push_back(ExtensionReference());

    TSystemUse use;
    size_t total = 0;
    for (const TEntry& e : entries) total += e.size();
    size_t i = 0;
    if (total <= room && !f.RootDot) {
        for (const TEntry& e : entries) Append(use.Field, e);
        i = entries.size();
    } else {
        while (i < entries.size() && i < forcedOut && use.Field.size() + entries[i].size() + kContinuationEntryLength <= room)
            Append(use.Field, entries[i++]);
        use.FieldContinuation = use.Field.size();
        Append(use.Field, Header('C', 'E', kContinuationEntryLength));
    }
    while (i < entries.size()) {
        std::vector<uint8_t> area;
        while (i < entries.size()) {
            const bool last = i + 1 == entries.size();
            const size_t need = entries[i].size() + (last ? 0 : kContinuationEntryLength);
            // The last entry may take the room a further CE would have needed.
            if (area.size() + need > kContinuationAreaMax &&
                !(last && area.size() + entries[i].size() <= kContinuationAreaMax))
                break;
            Append(area, entries[i++]);
        }
        if (i < entries.size()) {
            use.AreaContinuation.push_back(area.size());
            Append(area, Header('C', 'E', kContinuationEntryLength));
        }
        use.Areas.push_back(std::move(area));
    }
    if (use.Field.size() % 2) use.Field.push_back(0);
    return use;
}

}  // namespace kv
