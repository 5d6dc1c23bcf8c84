#pragma once
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kv {

// Medium codes of MediumType; below kMediumDvdRom is CD media, from it on DVD media, from
// kMediumBdRom on Blu-ray media.
enum TMediumCode : uint8_t {
    kMediumUnknown = 0,
    kMediumCdRom = 1,
    kMediumCdR = 2,
    kMediumCdRw = 3,
    kMediumDvdRom = 4,
    kMediumDvdR = 5,
    kMediumDvdRam = 6,
    kMediumDvdRw = 7,
    kMediumDvdRwRestricted = 8,
    kMediumDvdRwSequential = 9,
    kMediumDvdPlusRw = 10,
    kMediumDvdPlusR = 11,
    kMediumDvdPlusRDl = 12,
    kMediumDdcdRom = 13,
    kMediumDdcdR = 14,
    kMediumDdcdRw = 15,
    kMediumBdRom = 16,
    kMediumBdR = 17,
    kMediumBdRDl = 18,
    kMediumBdRe = 19,
    kMediumBdReDl = 20,
};
inline constexpr size_t kMediumCount = 21;

// Disc status of READ DISC INFORMATION (byte 2, bits 1-0).
inline constexpr uint8_t kDiscStatusEmpty = 0;
inline constexpr uint8_t kDiscStatusAppendable = 1;
inline constexpr uint8_t kDiscStatusComplete = 2;
extern const std::array<std::string_view, kMediumCount> MediumNames;
// The name of a medium code; "UNKNOWN" for codes out of range.
std::string_view MediumName(unsigned code);
inline bool IsCdMedium(unsigned code) { return code < kMediumDvdRom; }
inline bool IsBluRayMedium(unsigned code) { return code >= kMediumBdRom && code < kMediumCount; }
inline bool IsBluRayRecordableMedium(unsigned code) { return code == kMediumBdR || code == kMediumBdRDl; }
inline bool IsBluRayRewritableMedium(unsigned code) { return code == kMediumBdRe || code == kMediumBdReDl; }
inline bool IsOneOf(uint8_t medium, std::initializer_list<uint8_t> codes) {
    for (const uint8_t code : codes)
        if (code == medium) return true;
    return false;
}

// KB/s (1000 bytes) of a nominal "1X" on the medium: 176.4 on CD, 1385 on DVD, 4495 on BD.
inline constexpr double kBdSpeedOneX = 4495;
double NominalSpeedOneX(unsigned code);

// Medium code of a current profile (GET CONFIGURATION); 0 for profiles that have none. Single-
// and dual-layer BD share their profiles: this gives the single-layer code.
uint8_t MediumOfProfile(uint16_t profile);
// Name and rewritability of a current profile; "???????" for unknown ones.
std::string_view ProfileName(uint16_t profile);
bool ProfileErasable(uint16_t profile);

// Capability set of a drive.
enum TCapability : uint32_t {
    ReadCDR = 0x1,
    ReadCDRW = 0x2,
    ReadMethod2 = 0x4,
    ReadDVD = 0x8,
    ReadDVDR = 0x10,
    ReadDVDRW = 0x20,
    ReadDVDRAM = 0x40,
    ReadDVDPLUSR = 0x80,
    ReadDVDPLUSRDL = 0x100,
    ReadDVDPLUSRW = 0x200,
    WriteCDR = 0x400,
    WriteCDRW = 0x800,
    WriteTest = 0x1000,
    WriteDVDR = 0x2000,
    WriteDVDRW = 0x4000,
    WriteDVDRAM = 0x8000,
    WriteDVDPLUSR = 0x10000,
    WriteDVDPLUSRDL = 0x20000,
    WriteDVDPLUSRW = 0x40000,
    WriteISRC = 0x80000,
    UnderrunProtection = 0x100000,
    ReadBD = 0x200000,
    WriteBDR = 0x400000,
    WriteBDRE = 0x800000,
};

// Capabilities mode page (2Ah) as read with current values; the words in host order.
struct TCapabilitiesPage {
    std::array<uint8_t, 128> Raw{};
    uint16_t MaxReadSpeed = 0;       // KB/s
    uint16_t BufferSizeKB = 0;
    uint16_t CurrentReadSpeed = 0;   // KB/s
    uint16_t MaxWriteSpeed = 0;      // KB/s
    uint16_t CurrentWriteSpeed = 0;  // KB/s
};

// The disc information record.
struct TDisc {
    bool Ready = false;
    uint32_t Capacity = 0;
    uint32_t ReportedBlocks = 0;
    int32_t BlockSize = 0;
    uint8_t FirstSession = 0;
    uint8_t LastSession = 0;
    uint8_t LastSessionState = 0;
    uint8_t DiscStatus = 0;
    uint16_t Profile = 0;
    std::string ProfileName;
    bool Erasable = false;
};

// CD time codes: 75 frames a second, 60 seconds a minute.
struct TMsf {
    uint32_t M = 0;
    uint32_t S = 0;
    uint32_t F = 0;
};
inline uint32_t MSFToFrames(uint32_t m, uint32_t s, uint32_t f) { return m * 4500 + s * 75 + f; }
inline uint32_t HMSFToFrames(uint32_t h, uint32_t m, uint32_t s, uint32_t f) { return h * 270000 + MSFToFrames(m, s, f); }
inline TMsf FramesToMSF(uint32_t n) { return {n / 4500, (n / 75) % 60, n % 75}; }

}  // namespace kv
