// kelvadore-cli media ...: virtual media files for the virtual recorder.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "virtualrecorder/MediumTools.h"

namespace kv::cli {
namespace {

int Fail(const std::string& message) {
    std::cerr << "kelvadore-cli: " << message << "\n";
    return 1;
}

int MediaUsage(const std::string& usage) {
    std::cerr << "usage: kelvadore-cli " << usage << "\n";
    return 2;
}

const char* const kCreateUsage =
    "media create --type TYPE [--capacity BLOCKS] FILE [--from-image ISO | --from-audio WAV...]";

int RunCreate(const std::vector<std::string>& args) {
    std::string type, file, image;
    std::vector<std::string> wavs;
    uint32_t capacity = 0;
    bool audio = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--type" || a == "--capacity" || a == "--from-image") && i + 1 < args.size()) {
            const std::string& v = args[++i];
            if (a == "--type") {
                type = v;
            } else if (a == "--from-image") {
                image = v;
            } else {
                char* end = nullptr;
                const unsigned long n = std::strtoul(v.c_str(), &end, 10);
                if (end == v.c_str() || *end != 0 || n == 0 || n > vr::kMaxMediumBlocks)
                    return Fail("--capacity takes a block count, got '" + v + "'");
                capacity = static_cast<uint32_t>(n);
            }
        } else if (a == "--from-audio") {
            audio = true;
        } else if (a.rfind("--", 0) == 0) {
            return Fail("unknown option '" + a + "'");
        } else if (file.empty()) {
            file = a;
        } else if (audio) {
            wavs.push_back(a);
        } else {
            return MediaUsage(kCreateUsage);
        }
    }
    if (type.empty() || file.empty()) return MediaUsage(kCreateUsage);
    const auto kind = vr::KindFromCliName(type);
    if (!kind) return Fail("unknown medium type '" + type + "' (one of " + vr::KnownCliNames() + ")");
    std::string error;
    bool ok = false;
    if (!image.empty()) {
        if (!vr::Traits(*kind).Pressed)
            return Fail("--from-image makes a pressed disc: use --type cdrom, dvdrom or bdrom");
        ok = vr::PressImage(file, *kind, image, error);
    } else if (audio) {
        if (*kind != vr::EMediumKind::CdRom)
            return Fail("--from-audio makes a pressed audio CD: use --type cdrom");
        ok = vr::PressAudio(file, wavs, error);
    } else {
        ok = vr::CreateBlankMedium(file, *kind, capacity, error);
    }
    if (!ok) return Fail(error);
    std::cout << "created " << file << " (" << vr::Traits(*kind).DisplayName << ")\n";
    return 0;
}

int RunInfo(const std::vector<std::string>& args) {
    if (args.size() != 1) return MediaUsage("media info FILE");
    std::string text, error;
    if (!vr::DescribeMedium(args[0], text, error)) return Fail(error);
    std::cout << text;
    return 0;
}

int RunExport(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    unsigned session = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--session" && i + 1 < args.size()) {
            char* end = nullptr;
            const unsigned long n = std::strtoul(args[i + 1].c_str(), &end, 10);
            if (end == args[i + 1].c_str() || *end != 0 || n == 0 || n > 999)
                return Fail("--session takes a session number, got '" + args[i + 1] + "'");
            session = static_cast<unsigned>(n);
            ++i;
        } else if (args[i].rfind("--", 0) == 0) {
            return Fail("unknown option '" + args[i] + "'");
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2) return MediaUsage("media export [--session N] FILE OUT.iso");
    std::string error;
    if (!vr::ExportImage(positional[0], positional[1], session, error)) return Fail(error);
    return 0;
}

int RunExportAudio(const std::vector<std::string>& args) {
    if (args.size() != 2) return MediaUsage("media export-audio FILE DIR");
    std::string error;
    if (!vr::ExportAudio(args[0], args[1], error)) return Fail(error);
    return 0;
}

const TCliRegistration kCreate(
    {"media create", "--type TYPE [--capacity BLOCKS] FILE [--from-image ISO | --from-audio WAV...]",
     "create a virtual medium file: blank, or pressed from an ISO image or WAV files", RunCreate});
const TCliRegistration kInfo({"media info", "FILE",
                              "show a virtual medium's sessions, tracks, state and sizes", RunInfo});
const TCliRegistration kExport(
    {"media export", "[--session N] FILE OUT.iso",
     "write every recorded data sector of a virtual medium at its absolute position", RunExport});
const TCliRegistration kExportAudio(
    {"media export-audio", "FILE DIR",
     "write each audio track of a virtual medium as a WAV file plus a cue sheet", RunExportAudio});

}  // namespace
}  // namespace kv::cli
