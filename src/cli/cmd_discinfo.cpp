#include <cstdio>
#include <iostream>
#include <string>
#include <utility>

#include "cli/CliCommand.h"
#include "jobs/DriveSelection.h"
#include "device/SCSIDevice.h"

namespace kv::cli {
namespace {

constexpr std::pair<uint32_t, const char*> kCapabilityNames[] = {
    {ReadCDR, "ReadCDR"},
    {ReadCDRW, "ReadCDRW"},
    {ReadMethod2, "ReadMethod2"},
    {ReadDVD, "ReadDVD"},
    {ReadDVDR, "ReadDVDR"},
    {ReadDVDRW, "ReadDVDRW"},
    {ReadDVDRAM, "ReadDVDRAM"},
    {ReadDVDPLUSR, "ReadDVDPLUSR"},
    {ReadDVDPLUSRDL, "ReadDVDPLUSRDL"},
    {ReadDVDPLUSRW, "ReadDVDPLUSRW"},
    {WriteCDR, "WriteCDR"},
    {WriteCDRW, "WriteCDRW"},
    {WriteTest, "WriteTest"},
    {WriteDVDR, "WriteDVDR"},
    {WriteDVDRW, "WriteDVDRW"},
    {WriteDVDRAM, "WriteDVDRAM"},
    {WriteDVDPLUSR, "WriteDVDPLUSR"},
    {WriteDVDPLUSRDL, "WriteDVDPLUSRDL"},
    {WriteDVDPLUSRW, "WriteDVDPLUSRW"},
    {WriteISRC, "WriteISRC"},
    {TCapability::UnderrunProtection, "UnderrunProtection"},
};

std::string Speed(uint16_t kbs, bool cd) {
    char text[48];
    std::snprintf(text, sizeof text, "%u KB/s (%.1fx)", unsigned{kbs}, kbs / (cd ? 176.4 : 1385.0));
    return text;
}

int RunDiscInfo(const std::vector<std::string>&) {
    TSCSIDevice device;
    std::string whyNot;
    if (!jobs::SelectDrive(device, Context().DriveId, &whyNot)) {
        std::cerr << "kelvadore-cli: " << whyNot << "\n";
        return 1;
    }
    // The disc record first: it waits for a drive that is still spinning up.
    TDisc disc;
    device.GetDiscInformation(disc);
    const uint8_t medium = device.MediumType();
    // The block counts write the write parameters page of the current medium first.
    TSCSIDevice::CurrentMedium = medium;
    const uint16_t sessions = device.SessionCount();
    const uint32_t used = device.UsedBlocks();
    const uint32_t free = device.FreeBlocks();
    const uint32_t total = device.TotalBlocks();

    std::cout << "drive:              " << device.Device() << "\n"
              << "medium:             " << MediumNames[medium < kMediumCount ? medium : 0] << " (" << unsigned{medium}
              << ")\n"
              << "ready:              " << (disc.Ready ? "yes" : "no") << "\n"
              << "capacity:           " << disc.Capacity << "\n"
              << "reported blocks:    " << disc.ReportedBlocks << "\n"
              << "block size:         " << disc.BlockSize << "\n"
              << "first session:      " << unsigned{disc.FirstSession} << "\n"
              << "last session:       " << unsigned{disc.LastSession} << "\n"
              << "last session state: " << unsigned{disc.LastSessionState} << "\n"
              << "disc status:        " << unsigned{disc.DiscStatus} << "\n";
    char profile[8];
    std::snprintf(profile, sizeof profile, "%04Xh", unsigned{disc.Profile});
    std::cout << "profile:            " << profile << " " << disc.ProfileName << "\n"
              << "erasable:           " << (disc.Erasable ? "yes" : "no") << "\n"
              << "sessions:           " << sessions << "\n"
              << "used blocks:        " << used << "\n"
              << "free blocks:        " << free << "\n"
              << "total blocks:       " << total << "\n"
              << "capabilities:      ";
    for (const auto& [bit, name] : kCapabilityNames)
        if (device.Capabilities & bit) std::cout << " " << name;
    const bool cd = IsCdMedium(medium);
    std::cout << "\n"
              << "max read speed:     " << Speed(device.DeviceMaxReadSpeed, cd) << "\n"
              << "max write speed:    " << Speed(device.DeviceMaxWriteSpeed, cd) << "\n"
              << "current write speed: " << Speed(device.CapabilitiesPage.CurrentWriteSpeed, cd) << "\n";
    if (!device.LastError().empty()) std::cout << "last error:         " << device.LastError() << "\n";
    return 0;
}

const TCliRegistration kDiscInfo({"discinfo", "",
                                  "medium, disc record, sessions, used/free/total blocks, capabilities and speeds",
                                  RunDiscInfo});

}  // namespace
}  // namespace kv::cli
