#include "device/Media.h"

#include <algorithm>

namespace kv {
namespace {

struct TProfile {
    uint16_t Code;
    std::string_view Name;
    bool Erasable;
    uint8_t Medium;
};

constexpr TProfile kProfiles[] = {
    {0x01, "Non-removable disk", false, kMediumUnknown},
    {0x02, "Removable disk", false, kMediumUnknown},
    {0x03, "MO Eraseable", true, kMediumUnknown},
    {0x04, "MO Write Once", false, kMediumUnknown},
    {0x05, "AS-MO", false, kMediumUnknown},
    {0x08, "CD-ROM", false, kMediumCdRom},
    {0x09, "CD-R", false, kMediumCdR},
    {0x0A, "CD-RW", true, kMediumCdRw},
    {0x10, "DVD-ROM", false, kMediumDvdRom},
    {0x11, "DVD-R", false, kMediumDvdR},
    {0x12, "DVD-RAM", false, kMediumDvdRam},
    {0x13, "DVD-RW Restricted Overwrite", true, kMediumDvdRwRestricted},
    {0x14, "DVD-RW Sequential Recording", true, kMediumDvdRwSequential},
    {0x1A, "DVD+RW", true, kMediumDvdPlusRw},
    {0x1B, "DVD+R", false, kMediumDvdPlusR},
    {0x20, "DDCD-ROM", false, kMediumDdcdRom},
    {0x21, "DDCD-R", false, kMediumDdcdR},
    {0x22, "DDCD-RW", true, kMediumDdcdRw},
    {0x40, "BD-ROM", false, kMediumBdRom},
    {0x41, "BD-R Sequential Recording", false, kMediumBdR},
    {0x42, "BD-R Random Recording", false, kMediumBdR},
    {0x43, "BD-RE", true, kMediumBdRe},
};
// DVD+R DL has a medium code but no profile name of its own.
constexpr uint16_t kProfileDvdPlusRDl = 0x2B;

const TProfile* Find(uint16_t profile) {
    const auto it = std::find_if(std::begin(kProfiles), std::end(kProfiles),
                                 [profile](const TProfile& p) { return p.Code == profile; });
    return it == std::end(kProfiles) ? nullptr : it;
}

}  // namespace

const std::array<std::string_view, kMediumCount> MediumNames = {
    "UNKNOWN", "CD-ROM", "CD-R",   "CD-RW", "DVD-ROM",  "DVD-R",    "DVD-RAM", "DVD-RW",
    "DVD-RW",  "DVD-RW", "DVD+RW", "DVD+R", "DVD+R DL", "DDCD-ROM", "DDCD-R",  "DDCD-RW",
    "BD-ROM",  "BD-R",   "BD-R DL", "BD-RE", "BD-RE DL",
};

std::string_view MediumName(unsigned code) { return MediumNames[code < kMediumCount ? code : 0u]; }

double NominalSpeedOneX(unsigned code) {
    if (IsCdMedium(code)) return 176.4;
    return IsBluRayMedium(code) ? kBdSpeedOneX : 1385;
}

uint8_t MediumOfProfile(uint16_t profile) {
    if (profile == kProfileDvdPlusRDl) return kMediumDvdPlusRDl;
    const TProfile* p = Find(profile);
    return p ? p->Medium : uint8_t{kMediumUnknown};
}

std::string_view ProfileName(uint16_t profile) {
    const TProfile* p = Find(profile);
    return p ? p->Name : "???????";
}

bool ProfileErasable(uint16_t profile) {
    const TProfile* p = Find(profile);
    return p && p->Erasable;
}

}  // namespace kv
