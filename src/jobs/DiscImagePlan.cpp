#include "jobs/DiscImagePlan.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

namespace kv::jobs {
namespace {

namespace fs = std::filesystem;

std::string WithExtension(const std::string& path, const char* extension) {
    fs::path p(path);
    p.replace_extension(extension);
    return p.string();
}

bool HasExtension(const std::string& path, const char* extension) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == extension;
}

// Q CONTROL bits of the TOC as cue FLAGS (Red Book: 2 digital copy permitted, 1 pre-emphasis,
// 8 four channels; a data track has only the copy bit).
void SetFlags(const TImageTrack& t, TCueTrack& c) {
    c.CopyPermitted = t.Control & 0x02;
    if (t.Audio) {
        c.PreEmphasis = t.Control & 0x01;
        c.FourChannel = t.Control & 0x08;
    }
}

// A cue sheet's text is quoted and has no escape: a double quote in a title becomes a single one.
TCueTexts CueTextsOf(const TCdTextFields& f) {
    auto quotable = [](std::string text) {
        std::replace(text.begin(), text.end(), '"', '\'');
        return text;
    };
    TCueTexts texts;
    texts.Title = quotable(f.Title);
    texts.Performer = quotable(f.Performer);
    texts.Songwriter = quotable(f.SongWriter);
    return texts;
}

TCueTrack CueTrackOf(const TImageTrack& t, int32_t fileStart, const TCdText& cdText) {
    TCueTrack c;
    // TITLE, PERFORMER and SONGWRITER lines from the disc's CD-TEXT.
    if (t.Number >= cdText.FirstTrack && size_t(t.Number - cdText.FirstTrack) < cdText.Tracks.size())
        c.Texts = CueTextsOf(cdText.Tracks[t.Number - cdText.FirstTrack]);
    c.Number = t.Number;
    c.Type = t.Audio ? TCueTrackType::Audio : t.DataMode == 2 ? TCueTrackType::Mode2Raw : TCueTrackType::Mode1Raw;
    SetFlags(t, c);
    c.Isrc = t.Isrc;
    if (t.PregapStart < t.Start) c.Indexes.push_back({0, t.PregapStart - fileStart});
    c.Indexes.push_back({1, t.Start - fileStart});
    uint8_t number = 2;
    for (int32_t start : t.Indexes) c.Indexes.push_back({number++, start - fileStart});
    return c;
}

std::string CueSheetPathFor(const std::string& output) {
    return HasExtension(output, ".cue") ? output : WithExtension(output, ".cue");
}

// Link blocks after a data track hold no data block: they are written as zeros, not read.
std::vector<TReadRange> ReadableRanges(const std::vector<const TImageTrack*>& tracks) {
    std::vector<TReadRange> ranges;
    int32_t from = 0;
    for (const TImageTrack* t : tracks) {
        if (t->RecordedEnd < t->End) {
            if (from < t->RecordedEnd) ranges.push_back({from, t->RecordedEnd, from});
            from = t->End;
        }
    }
    if (!tracks.empty() && from < tracks.back()->End) ranges.push_back({from, tracks.back()->End, from});
    return ranges;
}

}  // namespace

const char* ImageFormatName(TImageFormat format) {
    switch (format) {
        case TImageFormat::Auto: return "auto";
        case TImageFormat::Iso: return "ISO";
        case TImageFormat::BinCue: return "BIN/CUE";
        case TImageFormat::WavCue: return "WAV/CUE";
    }
    return "";
}

TDiscImagePlan PlanCueImage(const TDiscImageLayout& layout, const std::string& output, bool wavFiles) {
    TDiscImagePlan plan;
    plan.Format = wavFiles ? TImageFormat::WavCue : TImageFormat::BinCue;
    plan.BlockBytes = 2352;
    const auto tracks = layout.TracksOf(1);
    if (tracks.empty()) return plan;
    plan.From = 0;
    plan.To = tracks.back()->End;
    plan.Readable = ReadableRanges(tracks);
    plan.CuePath = CueSheetPathFor(output);
    plan.Cue.Catalog = layout.Mcn;
    plan.Cue.Texts = CueTextsOf(layout.CdText.Album);
    if (!wavFiles) {
        const std::string bin = HasExtension(output, ".cue") ? WithExtension(output, ".bin") : output;
        plan.Parts.push_back({bin, plan.From, plan.To, false});
        TCueFile file;
        file.Name = fs::path(bin).filename().string();
        file.Type = TCueFileType::Binary;
        for (const TImageTrack* t : tracks) file.Tracks.push_back(CueTrackOf(*t, 0, layout.CdText));
        plan.Cue.Files.push_back(std::move(file));
        return plan;
    }
    // One file per track, each from its own index 00 (track 1 from block 0) to the next track's.
    const fs::path cue(plan.CuePath);
    for (size_t i = 0; i < tracks.size(); ++i) {
        const TImageTrack& t = *tracks[i];
        const int32_t from = i == 0 ? 0 : t.PregapStart;
        const int32_t to = i + 1 < tracks.size() ? tracks[i + 1]->PregapStart : t.End;
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "-%02u.%s", unsigned{t.Number}, t.Audio ? "wav" : "bin");
        const fs::path path = cue.parent_path() / (cue.stem().string() + suffix);
        plan.Parts.push_back({path.string(), from, to, t.Audio});
        TCueFile file;
        file.Name = path.filename().string();
        file.Type = t.Audio ? TCueFileType::Wave : TCueFileType::Binary;
        file.Tracks.push_back(CueTrackOf(t, from, layout.CdText));
        plan.Cue.Files.push_back(std::move(file));
    }
    return plan;
}

TDiscImagePlan PlanIsoImage(const TIsoExtent& extent, const std::string& output) {
    TDiscImagePlan plan;
    plan.Format = TImageFormat::Iso;
    plan.BlockBytes = 2048;
    plan.From = extent.Base;
    plan.To = extent.Base + extent.Blocks;
    const int32_t descriptorsFrom = 16, descriptorsTo = 16 + extent.DescriptorBlocks;
    for (const auto& [from, to] : extent.Readable) {
        if (extent.DescriptorBlocks == 0 || to <= descriptorsFrom || from >= descriptorsTo) {
            plan.Readable.push_back({from, to, from});
            continue;
        }
        if (from < descriptorsFrom) plan.Readable.push_back({from, descriptorsFrom, from});
        if (descriptorsTo < to) plan.Readable.push_back({descriptorsTo, to, descriptorsTo});
    }
    if (extent.DescriptorBlocks > 0) {
        // The later session's descriptors take the place of the first session's.
        auto at = std::find_if(plan.Readable.begin(), plan.Readable.end(),
                               [&](const TReadRange& r) { return r.From >= descriptorsTo; });
        plan.Readable.insert(at, TReadRange{descriptorsFrom, descriptorsTo, extent.DescriptorsAt});
    }
    plan.Parts.push_back({output, plan.From, plan.To, false});
    return plan;
}

}  // namespace kv::jobs
