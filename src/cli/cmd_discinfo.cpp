#include <cstdio>
#include <iostream>
#include <string>
#include <utility>

#include "cli/CliCommand.h"
#include "jobs/DiscInfoJob.h"
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

// `title "T", performer "P", songwriter "S"`, the fields that are not empty.
std::string TextsLine(const TCdTextFields& f) {
    std::string line;
    for (const auto& [name, text] : {std::pair{"title", &f.Title}, {"performer", &f.Performer}, {"songwriter", &f.SongWriter}})
        if (!text->empty()) line += (line.empty() ? "" : ", ") + std::string(name) + " \"" + *text + "\"";
    return line;
}

void PrintDiscTexts(const jobs::TDiscReport& report) {
    if (!report.CatalogNumber.empty()) std::cout << "catalog number:     " << report.CatalogNumber << "\n";
    const TCdText& text = report.CdText;
    if (text.Empty()) return;
    if (!text.Album.Empty()) std::cout << "cd-text album:      " << TextsLine(text.Album) << "\n";
    if (!text.UpcEan.empty()) std::cout << "cd-text upc/ean:    " << text.UpcEan << "\n";
    for (size_t i = 0; i < text.Tracks.size(); ++i) {
        const std::string isrc = i < text.Isrc.size() ? text.Isrc[i] : "";
        if (text.Tracks[i].Empty() && isrc.empty()) continue;
        char label[32];
        std::snprintf(label, sizeof label, "cd-text track %2zu:  ", text.FirstTrack + i);
        std::cout << label << TextsLine(text.Tracks[i]) << (isrc.empty() ? "" : ", isrc " + isrc) << "\n";
    }
}

int RunDiscInfo(const std::vector<std::string>&) {
    TSCSIDevice device;
    std::string whyNot;
    if (!jobs::SelectDrive(device, Context().DriveId, &whyNot)) {
        std::cerr << "kelvadore-cli: " << whyNot << "\n";
        return 1;
    }
    jobs::TDiscInfoJob job(device);
    if (!job.Start(&whyNot)) {
        std::cerr << "kelvadore-cli: " << whyNot << "\n";
        return 1;
    }
    job.Wait();
    // A drive without a disc is reported too: that is what the command is asked to show.
    const jobs::TDiscReport report = job.Report();
    const TDisc& disc = report.Disc;
    const uint8_t medium = report.Medium;
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
              << "sessions:           " << report.Sessions << "\n"
              << "used blocks:        " << report.UsedBlocks << "\n"
              << "free blocks:        " << report.FreeBlocks << "\n"
              << "total blocks:       " << report.TotalBlocks << "\n"
              << "capabilities:      ";
    for (const auto& [bit, name] : kCapabilityNames)
        if (report.Capabilities & bit) std::cout << " " << name;
    const bool cd = IsCdMedium(medium);
    std::cout << "\n"
              << "max read speed:     " << Speed(report.MaxReadSpeed, cd) << "\n"
              << "max write speed:    " << Speed(report.MaxWriteSpeed, cd) << "\n"
              << "current write speed: " << Speed(report.CurrentWriteSpeed, cd) << "\n";
    if (!report.LastError.empty()) std::cout << "last error:         " << report.LastError << "\n";
    PrintDiscTexts(report);
    return 0;
}

const TCliRegistration kDiscInfo({"discinfo", "",
                                  "medium, disc record, sessions, used/free/total blocks, capabilities and speeds",
                                  RunDiscInfo});

}  // namespace
}  // namespace kv::cli
