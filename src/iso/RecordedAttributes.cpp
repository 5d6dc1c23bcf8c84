#include "iso/RecordedAttributes.h"

namespace kv {
namespace {

constexpr uint32_t kDefaultDirectoryMode = kModeDirectory | 0755;
constexpr uint32_t kDefaultFileMode = kModeRegular | 0644;

}  // namespace

TRecordedAttributes RecordedAttributes(const TFEntry* e, bool isDirectory, bool rootOwner,
                                       const TLocalDateTime& fallbackTime) {
    TRecordedAttributes a;
    const bool known = e && e->Posix.Known;
    const uint32_t type = isDirectory ? kModeDirectory : e && e->IsSymlink() ? kModeSymlink : kModeRegular;
    uint32_t permissions = (known         ? e->Posix.Mode
                            : isDirectory ? kDefaultDirectoryMode
                                          : kDefaultFileMode) &
                           07777;
    a.Uid = known ? e->Posix.Uid : 0;
    a.Gid = known ? e->Posix.Gid : 0;
    if (rootOwner) {
        // Readable by all, executable by all where anyone could execute, writable by none.
        a.Uid = a.Gid = 0;
        permissions = type == kModeSymlink                             ? 0777
                      : type == kModeDirectory || (permissions & 0111) ? 0555
                                                                       : 0444;
    }
    a.Mode = type | permissions;
    a.Modified = e ? &e->DateTime : &fallbackTime;
    a.Accessed = known && e->Posix.AccessTime.IsValid() ? &e->Posix.AccessTime : a.Modified;
    a.Changed = known && e->Posix.ChangeTime.IsValid() ? &e->Posix.ChangeTime : a.Modified;
    return a;
}

}  // namespace kv
