#include "jobs/CueImage.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "audiowrite/AudioTrackModes.h"
#include "audiowrite/TCueSheetBuilder.h"

namespace kv::jobs {
namespace {

namespace fs = std::filesystem;

constexpr uintmax_t kMaxSheetBytes = 1 << 20;

uint8_t TrackModeOf(TCueTrackType type) {
    switch (type) {
        case TCueTrackType::Audio: return 0;
        case TCueTrackType::Mode1Cooked: return 2;
        case TCueTrackType::Mode1Raw: return 3;
        case TCueTrackType::Mode2Raw: return 5;
    }
    return 0;
}

// Frames of a BINARY file: each track's sectors are its own size, so the byte offset of a track
// is the sum of the sectors before it, each of its track's size.
bool BinaryFileFrames(const TCueFile& file, uintmax_t size, int64_t& frames, std::string& error) {
    uintmax_t offset = 0;
    int64_t position = 0;
    uint32_t sector = 0;
    for (const TCueTrack& t : file.Tracks) {
        const int64_t first = t.Indexes.front().Frames;
        offset += static_cast<uintmax_t>(first - position) * sector;
        position = first;
        sector = CueSectorBytes(t.Type);
    }
    if (offset > size) {
        error = "FILE \"" + file.Name + "\" ENDS BEFORE ITS LAST TRACK";
        return false;
    }
    const uintmax_t rest = size - offset;
    if (!IsAudioTrack(file.Tracks.back().Type) && rest % sector != 0) {
        error = "FILE \"" + file.Name + "\" DOES NOT END ON A WHOLE SECTOR OF ITS LAST TRACK";
        return false;
    }
    frames = position + static_cast<int64_t>((rest + sector - 1) / sector);
    return true;
}

}  // namespace

bool IsCueSheetPath(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".cue";
}

bool LoadCueSheet(const std::string& path, TCueDocument& document, std::string& error) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    std::ifstream in(path, std::ios::binary);
    if (ec || !in || size > kMaxSheetBytes) {
        error = "CAN'T OPEN FILE \"" + path + "\" OR FILE IS IN USES BY OTHER SOFTWARE";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseCueSheet(text.str(), document, error);
}

bool DescribeCueImage(TCueSheetBuilder& b, const TCueDocument& document, const std::string& sheetFolder,
                      std::string& error) {
    b.ClearTracks();
    b.SetWriteMethod(TWriteMethod::wmSAO);
    b.MediaCatalogNumber = document.Catalog;
    // TITLE, PERFORMER and SONGWRITER become the lead-in's CD-TEXT.
    b.WriteCdText = document.HasTexts();
    b.CDTitle = document.Texts.Title;
    b.CDPerformer = document.Texts.Performer;
    b.CDSongWriter = document.Texts.Songwriter;
    auto refused = [&] {
        error = b.LastRefusal();
        return false;
    };
    for (const TCueFile& file : document.Files) {
        const fs::path name(file.Name);
        const std::string path = name.is_absolute() ? file.Name : (fs::path(sheetFolder) / name).string();
        if (file.Type == TCueFileType::Wave) {
            if (!b.AddFile(path, kFileTypeWav)) return refused();
        } else {
            std::error_code ec;
            const uintmax_t size = fs::file_size(path, ec);
            int64_t frames = 0;
            if (ec) {
                error = "CAN'T FIND FILE \"" + path + "\"";
                return false;
            }
            if (!BinaryFileFrames(file, size, frames, error) || !b.AddFile(path, kFileTypeRaw)) {
                if (error.empty()) return refused();
                return false;
            }
            b.SetFileFrames(frames);
        }
        for (const TCueTrack& t : file.Tracks) {
            if (!b.AddTrack(TrackModeOf(t.Type))) return refused();
            b.SetTrackTexts({t.Texts.Title, t.Texts.Performer, t.Texts.Songwriter});
            b.SetPreGap(static_cast<int32_t>(t.Pregap));
            b.SetTrackFlags(t.CopyPermitted, t.FourChannel, t.PreEmphasis);
            b.SetFirstIndexNumber(t.HasIndexZero() ? 0 : 1);
            if (!t.Isrc.empty() && !b.SetIsrc(t.Isrc)) return refused();
            for (const TCueIndex& i : t.Indexes) {
                const int64_t f = i.Frames;
                if (!b.AddIndex(static_cast<uint8_t>(f / 4500), static_cast<uint8_t>((f / 75) % 60),
                                static_cast<uint8_t>(f % 75)))
                    return refused();
            }
        }
    }
    return true;
}

}  // namespace kv::jobs
