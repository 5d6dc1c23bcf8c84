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
    {ReadBD, "ReadBD"},
    {WriteBDR, "WriteBDR"},
    {WriteBDRE, "WriteBDRE"},
};

std::string Speed(uint16_t kbs, uint8_t medium) {
    char text[48];
    std::snprintf(text, sizeof text, "%u KB/s (%.1fx)", unsigned{kbs}, kbs / NominalSpeedOneX(medium));
    return text;
}

// "2.01" for 0201h; "none" for a disc without UDF.
std::string UdfRevisionText(uint16_t revision) {
    if (revision == 0) return "none";
    char text[16];
    std::snprintf(text, sizeof text, "%x.%02x", unsigned{revision} >> 8, unsigned{revision} & 0xFF);
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

int RunDiscInfo(const std::vector<std::string>& args) {
    bool sessions = false;
    for (const auto& a : args) {
        if (a != "--sessions") {
            std::cerr << "kelvadore-cli discinfo: unknown argument " << a << "\n";
            return 2;
        }
        sessions = true;
    }
    TSCSIDevice device;
    std::string whyNot;
    if (!jobs::SelectDrive(device, Context().DriveId, &whyNot)) {
        std::cerr << "kelvadore-cli: " << whyNot << "\n";
        return 1;
    }
    jobs::TDiscInfoJob job(device);
    job.ListSessions = sessions;
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
              << "medium:             " << MediumName(medium) << " (" << unsigned{medium}
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
              << "udf:                " << UdfRevisionText(report.UdfRevision) << "\n"
              << "capabilities:      ";
    for (const auto& [bit, name] : kCapabilityNames)
        if (report.Capabilities & bit) std::cout << " " << name;
    std::cout << "\n"
              << "max read speed:     " << Speed(report.MaxReadSpeed, medium) << "\n"
              << "max write speed:    " << Speed(report.MaxWriteSpeed, medium) << "\n"
              << "current write speed: " << Speed(report.CurrentWriteSpeed, medium) << "\n"
              << "write speeds:      ";
    for (uint32_t kbs : report.WriteSpeeds) std::cout << " " << kbs;
    std::cout << (report.WriteSpeeds.empty() ? "\n" : " KB/s\n");
    // The sessions list: each recorded session with the size of its volume, then the free space.
    for (const jobs::TSessionRow& row : report.SessionRows)
        std::cout << (row.Number ? "session " + std::to_string(row.Number) + ":" : std::string("free:     ")) << "          "
                  << row.SizeBytes << " bytes\n";
    if (!report.LastError.empty()) std::cout << "last error:         " << report.LastError << "\n";
    PrintDiscTexts(report);
    return 0;
}

const TCliRegistration kDiscInfo({"discinfo", "[--sessions]",
                                  "medium, disc record, sessions, used/free/total blocks, UDF revision, capabilities and "
                                  "speeds; with --sessions each session's size",
                                  RunDiscInfo});

}  // namespace
}  // namespace kv::cli
