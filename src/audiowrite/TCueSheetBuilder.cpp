#include "audiowrite/TCueSheetBuilder.h"

#include <filesystem>
#include <system_error>

#include "audiowrite/AudioTrackModes.h"
#include "audioconv/RiffWave.h"

namespace kv {
namespace {

int64_t FramesFor(int64_t bytes) { return (bytes + kFrameBytes - 1) / kFrameBytes; }

uint8_t ControlAddressOf(const TTrack& track) {
    uint8_t ctl = TrackModeInfo(track.TrackMode).ControlAddress;
    if (track.CopyPermitted) ctl |= kControlCopyPermitted;
    if (track.Data) ctl |= kControlData;
    if (track.FourChannel) ctl |= kControlFourChannel;
    if (track.PreEmphasis) ctl |= kControlPreEmphasis;
    return ctl;
}

// The cue sheet carries minutes in one byte; Red Book discs stop at 99:59:74.
constexpr int64_t kFramesInHundredMinutes = 100 * 60 * kFramesPerSecond;

}  // namespace

struct TCueSheetBuilder::TBuildCursor {
    int64_t Position = 0;  // absolute frames, 0 = 00:00:00
    int TrackNumber = 0;
    TAudioTrackModeInfo FirstMode;
    bool TrackAtOnce = false;
    // Per file:
    int64_t ReadOffset = 0;
    int64_t CoveredFrames = 0;
    int IndexCursor = 0;
};

TCueEntry MakeCueEntry(uint8_t controlAddress, uint8_t track, uint8_t index, uint8_t dataForm, int64_t position) {
    return TCueEntry{controlAddress,
                     track,
                     index,
                     dataForm,
                     0,  // SCMS
                     static_cast<uint8_t>(position / 4500),
                     static_cast<uint8_t>((position / kFramesPerSecond) % 60),
                     static_cast<uint8_t>(position % kFramesPerSecond)};
}

bool TCueSheetBuilder::Refuse(std::string reason) {
    lastRefusal_ = std::move(reason);
    return false;
}

bool TCueSheetBuilder::FailBuild(std::string reason) {
    buildError_ = std::move(reason);
    cueSheet_.clear();
    readQueue_.clear();
    totalBytes_ = 0;
    return false;
}

bool TCueSheetBuilder::ClearTracks() {
    files_.clear();
    trackCount_ = 0;
    lastIndexPosition_ = 0;
    cueSheet_.clear();
    readQueue_.clear();
    totalBytes_ = 0;
    lastRefusal_.clear();
    buildError_.clear();
    return true;
}

bool TCueSheetBuilder::AddFile(const std::string& fileName, uint8_t fileType) {
    TFiles file;
    file.FileName = fileName;
    file.FileType = fileType;
    if (fileType == kFileTypeWav) {
        // The chunks decide: audio offset and length come from the "data" chunk, so LIST or fact
        // chunks before it are no part of the sound.
        const TWaveInfo wave = ReadWaveInfo(fileName);
        if (!wave.IsCdFormat())
            return Refuse("\"" + fileName + "\" IS NOT A WAV FILE OF CD FORMAT (44100 HZ, 16 BIT, STEREO)");
        file.DataOffset = static_cast<int64_t>(wave.DataOffset);
        file.DataEnd = file.DataOffset + static_cast<int64_t>(wave.DataLength);
        file.Frames = FramesFor(static_cast<int64_t>(wave.DataLength));
    } else if (fileType == kFileTypeRaw) {
        std::error_code ec;
        auto size = std::filesystem::file_size(fileName, ec);
        if (ec) return Refuse("CAN'T FIND FILE \"" + fileName + "\"");
        file.DataEnd = static_cast<int64_t>(size);
        file.Frames = FramesFor(static_cast<int64_t>(size));
    }
    files_.push_back(std::move(file));
    lastIndexPosition_ = 0;
    return true;
}

bool TCueSheetBuilder::AddTrack(uint8_t trackMode) {
    if (files_.empty()) return Refuse("NO FILE FOR THE TRACK");
    if (trackMode > kHighestTrackMode) return Refuse("UNKNOWN TRACK MODE " + std::to_string(trackMode));
    if (trackCount_ >= kMaxTracks) return Refuse("TOO MANY TRACKS: A CD HOLDS AT MOST 99");
    TTrack track;
    track.TrackMode = trackMode;
    files_.back().Tracks.push_back(track);
    ++trackCount_;
    return true;
}

bool TCueSheetBuilder::AddIndex(uint8_t minute, uint8_t second, uint8_t frame) {
    if (files_.empty() || files_.back().Tracks.empty()) return Refuse("NO TRACK FOR THE INDEX POINT");
    TFiles& file = files_.back();
    TTrack& track = file.Tracks.back();
    const int64_t a = int64_t{minute} * 4500 + int64_t{second} * kFramesPerSecond + frame;
    if (lastIndexPosition_ != 0 && a <= lastIndexPosition_) return Refuse("INDEX POINTS MUST INCREASE");
    if (track.IndexCount >= kMaxTrackIndexPoints) return Refuse("TOO MANY INDEX POINTS ON ONE TRACK");
    if (file.IndexCount() >= kMaxFileIndexPoints) return Refuse("TOO MANY INDEX POINTS IN ONE FILE");
    // An index beyond the end of its file would give the previous one a negative length.
    if (a > file.Frames) return Refuse("INDEX POINT BEYOND THE END OF THE FILE");

    file.IndexPosition.push_back(a);
    file.IndexLength.push_back(file.Frames - a);
    ++track.IndexCount;
    if (!WithinEntryLimits()) {
        file.IndexPosition.pop_back();
        file.IndexLength.pop_back();
        --track.IndexCount;
        return Refuse("CUE SHEET FULL");
    }
    const size_t n = file.IndexPosition.size() - 1;
    if (n > 0) file.IndexLength[n - 1] = a - lastIndexPosition_;
    lastIndexPosition_ = a;
    return true;
}

bool TCueSheetBuilder::SetIsrc(const std::string& isrc) {
    if (files_.empty() || files_.back().Tracks.empty()) return Refuse("NO TRACK FOR THE ISRC");
    TTrack& track = files_.back().Tracks.back();
    const std::string previous = track.Isrc;
    track.Isrc = isrc;
    if (isrc.size() != 12 && !isrc.empty()) {
        track.Isrc = previous;
        return Refuse("AN ISRC HAS 12 CHARACTERS");
    }
    if (!WithinEntryLimits()) {
        track.Isrc = previous;
        return Refuse("CUE SHEET FULL");
    }
    return true;
}

void TCueSheetBuilder::SetTrackFlags(bool copyPermitted, bool fourChannel, bool preEmphasis) {
    if (files_.empty() || files_.back().Tracks.empty()) return;
    TTrack& track = files_.back().Tracks.back();
    track.CopyPermitted = copyPermitted;
    track.FourChannel = fourChannel;
    track.PreEmphasis = preEmphasis;
}

void TCueSheetBuilder::SetFirstIndexNumber(uint8_t number) {
    if (files_.empty() || files_.back().Tracks.empty() || number > 1) return;
    files_.back().Tracks.back().FirstIndexNumber = static_cast<int8_t>(number);
}

void TCueSheetBuilder::SetFileFrames(int64_t frames) {
    if (files_.empty() || !files_.back().IndexPosition.empty() || frames < 0) return;
    files_.back().Frames = frames;
}

void TCueSheetBuilder::SetPreGap(int32_t frames) {
    if (files_.empty() || files_.back().Tracks.empty()) return;
    TTrack& track = files_.back().Tracks.back();
    if (frames < 0) frames = 0;
    const int32_t previous = track.PreGap;
    track.PreGap = frames;
    if (!WithinEntryLimits()) {
        track.PreGap = previous;
        Refuse("CUE SHEET FULL");
    }
}

TCueSheetBuilder::TEntryCounts TCueSheetBuilder::CountEntries() const {
    TEntryCounts counts{3, 1};  // lead-in, track 1 index 00, lead-out; the 2-second silence
    if (!MediaCatalogNumber.empty()) counts.Cue += 2;
    bool first = true;
    for (const auto& file : files_) {
        for (const auto& track : file.Tracks) {
            if (!track.Isrc.empty()) counts.Cue += 2;
            if (track.PreGap > 0) {
                ++counts.Queue;
                if (!first) ++counts.Cue;
            }
            counts.Cue += track.IndexCount;
            counts.Queue += track.IndexCount;
            first = false;
        }
        if (!file.IndexPosition.empty() && file.IndexPosition.front() > 0) ++counts.Queue;  // the file's tail
    }
    return counts;
}

bool TCueSheetBuilder::WithinEntryLimits() const {
    auto counts = CountEntries();
    return counts.Cue <= kMaxCueEntries && counts.Queue <= kMaxQueueEntries;
}

bool TCueSheetBuilder::AddCueEntry(const TTrack& track, int trackNumber, int indexNumber, uint8_t dataForm,
                                   int64_t position) {
    if (cueSheet_.size() >= kMaxCueEntries) return FailBuild("CUE SHEET HOLDS MORE THAN 256 ENTRIES");
    cueSheet_.push_back(MakeCueEntry(ControlAddressOf(track), static_cast<uint8_t>(trackNumber),
                                     static_cast<uint8_t>(indexNumber), dataForm, position));
    return true;
}

// MMC SEND CUE SHEET: an ISRC takes two entries with ADR 3 before the track's first entry, six
// characters each from byte 2 on.
bool TCueSheetBuilder::AddIsrcEntries(const TTrack& track, int trackNumber) {
    if (track.Isrc.empty()) return true;
    if (cueSheet_.size() + 2 > kMaxCueEntries) return FailBuild("CUE SHEET HOLDS MORE THAN 256 ENTRIES");
    const uint8_t ctl = static_cast<uint8_t>((ControlAddressOf(track) & 0xF0) | 0x03);
    for (size_t half = 0; half < 2; ++half) {
        TCueEntry e{ctl, static_cast<uint8_t>(trackNumber), 0, 0, 0, 0, 0, 0};
        for (size_t i = 0; i < 6; ++i) e[2 + i] = static_cast<uint8_t>(track.Isrc[half * 6 + i]);
        cueSheet_.push_back(e);
    }
    return true;
}

bool TCueSheetBuilder::Queue(TFilesQue entry) {
    if (readQueue_.size() >= kMaxQueueEntries) return FailBuild("READ QUEUE HOLDS MORE THAN 256 ENTRIES");

    readQueue_.push_back(std::move(entry));
    return true;
}

bool TCueSheetBuilder::BuildTrack(const TFiles& file, const TTrack& track, TBuildCursor& c) {
    const int64_t sector = TrackModeInfo(track.TrackMode).SectorBytes;
    // Every track's entries carry its own data form: a disc that mixes audio and data tracks
    // needs each region sent in its own form (MMC SEND CUE SHEET).
    const uint8_t form = TrackModeInfo(track.TrackMode).TrackDataForm;
    const int trackNumber = ++c.TrackNumber;
    const bool firstTrack = trackNumber == 1;
    const size_t queueStart = readQueue_.size();
    if (track.IndexCount == 0) return FailBuild("TRACK " + std::to_string(trackNumber) + " HAS NO INDEX POINT");
    if (!firstTrack && !AddIsrcEntries(track, trackNumber)) return false;

    int indexNumber = 0;
    if (track.PreGap > 0) {
        if (!c.TrackAtOnce && !Queue({"", kQueuePause, track.TrackMode, 0, track.PreGap * sector, false, 1}))
            return false;
        // Track 1's index 00 entry was already written at 00:00:00 with the lead-in.
        if (!firstTrack && !AddCueEntry(track, trackNumber, 0, form, c.Position)) return false;
        indexNumber = 1;
        c.Position += track.PreGap;
    } else if (track.FirstIndexNumber >= 0) {
        indexNumber = track.FirstIndexNumber;
    } else if (firstTrack || file.FileType == kFileTypeWav) {
        indexNumber = 1;
    } else {
        indexNumber = track.IndexCount == 1 ? 1 : 0;
    }

    const int64_t trackStart = c.ReadOffset;
    int64_t secondIndexOffset = -1;
    int64_t trackBytes = 0;
    for (int k = 0; k < track.IndexCount; ++k) {
        if (c.IndexCursor >= file.IndexCount()) return FailBuild("INDEX LIST OF \"" + file.FileName + "\" IS SHORT");
        const int64_t length = file.IndexLength[static_cast<size_t>(c.IndexCursor++)];
        if (!c.TrackAtOnce &&
            !Queue({file.FileName, kQueueIndexData, track.TrackMode, c.ReadOffset, length * sector, false, 0,
                    file.DataEnd}))
            return false;
        if (indexNumber > kHighestIndexNumber)
            return FailBuild("TRACK " + std::to_string(trackNumber) + " NEEDS AN INDEX NUMBER ABOVE 99");
        // Track 1's index 00 is open from 00:00:00: a file that holds more of it extends it.
        const bool continuesLeadPause = firstTrack && indexNumber == 0;
        if (!continuesLeadPause && !AddCueEntry(track, trackNumber, indexNumber, form, c.Position)) return false;
        if (k == 1) secondIndexOffset = c.ReadOffset;
        c.Position += length;
        c.ReadOffset += length * sector;
        c.CoveredFrames += length;
        trackBytes += length * sector;
        ++indexNumber;
    }
    if (c.TrackAtOnce) {
        // The drive writes each later track's 2-second pre-gap itself, so a source that carries
        // that pre-gap as its index 0 is read from index 1 on. A track with one index point has
        // no such pre-gap in its source and goes to disc whole.
        int64_t from = trackStart;
        if (!firstTrack && secondIndexOffset >= 0) from = secondIndexOffset;
        if (!Queue({file.FileName, file.FileType, track.TrackMode, from, trackBytes - (from - trackStart), false, 0,
                    file.DataEnd}))
            return false;
    }
    if (readQueue_.size() > queueStart) readQueue_.back().EndOfTrack = true;
    return true;
}

bool TCueSheetBuilder::BuildFile(const TFiles& file, TBuildCursor& c) {
    if (file.Tracks.empty()) return FailBuild("FILE \"" + file.FileName + "\" HAS NO TRACK");
    c.ReadOffset = file.FileType == kFileTypeWav ? file.DataOffset : 0;
    c.CoveredFrames = 0;
    c.IndexCursor = 0;
    for (const auto& track : file.Tracks)
        if (!BuildTrack(file, track, c)) return false;
    const int64_t uncovered = file.Frames - c.CoveredFrames;
    // Frames before a file's first index point still count on the disc; session-at-once must
    // deliver every frame the cue sheet announces, so they follow the last index of the file.
    if (uncovered > 0 && !c.TrackAtOnce) {
        const TTrack& last = file.Tracks.back();
        const int64_t sector = TrackModeInfo(last.TrackMode).SectorBytes;
        if (!readQueue_.empty()) readQueue_.back().EndOfTrack = false;
        if (!Queue({file.FileName, kQueueIndexData, last.TrackMode, c.ReadOffset, uncovered * sector, true, 0,
                    file.DataEnd}))
            return false;
    }
    c.Position += uncovered;
    return true;
}

bool TCueSheetBuilder::BuildCueSheet() {
    cueSheet_.clear();
    readQueue_.clear();
    totalBytes_ = 0;
    buildError_.clear();
    if (files_.empty()) return FailBuild("NO AUDIO TRACKS TO WRITE");
    if (files_.front().Tracks.empty()) return FailBuild("FILE \"" + files_.front().FileName + "\" HAS NO TRACK");

    TBuildCursor c;
    const TTrack& firstTrack = files_.front().Tracks.front();
    c.FirstMode = TrackModeInfo(firstTrack.TrackMode);
    c.TrackAtOnce = writeMethod_ == TWriteMethod::wmTAO;
    // The 2-second pause is sent in the first track's own sectors.
    if (!c.TrackAtOnce && !Queue({"", files_.front().FileType, firstTrack.TrackMode, 0,
                                  kLeadPauseFrames * c.FirstMode.SectorBytes, false, 0}))
        return false;
    if (!MediaCatalogNumber.empty() && !c.TrackAtOnce) {
        // MMC SEND CUE SHEET: the catalogue number comes first, 7 + 6 digits in two ADR 2 entries.
        if (MediaCatalogNumber.size() != 13) return FailBuild("A MEDIA CATALOG NUMBER HAS 13 DIGITS");
        const uint8_t ctl = static_cast<uint8_t>((ControlAddressOf(firstTrack) & 0xF0) | 0x02);
        TCueEntry first{ctl, 0, 0, 0, 0, 0, 0, 0}, second{ctl, 0, 0, 0, 0, 0, 0, 0};
        for (size_t i = 0; i < 7; ++i) first[1 + i] = static_cast<uint8_t>(MediaCatalogNumber[i]);
        for (size_t i = 0; i < 6; ++i) second[1 + i] = static_cast<uint8_t>(MediaCatalogNumber[7 + i]);
        cueSheet_.push_back(first);
        cueSheet_.push_back(second);
    }
    if (!AddCueEntry(firstTrack, 0, 0, c.FirstMode.LeadInDataForm, 0)) return false;
    if (!c.TrackAtOnce && !AddIsrcEntries(firstTrack, 1)) return false;
    if (!AddCueEntry(firstTrack, 1, 0, c.FirstMode.TrackDataForm, 0)) return false;
    c.Position = kLeadPauseFrames;

    for (const auto& file : files_)
        if (!BuildFile(file, c)) return false;

    // The lead-out is generated in the mode of the track it follows.
    const TTrack& lastTrack = files_.back().Tracks.back();
    if (!AddCueEntry(lastTrack, 0xAA, 1, TrackModeInfo(lastTrack.TrackMode).LeadInDataForm, c.Position))
        return false;
    if (c.Position >= kFramesInHundredMinutes) return FailBuild("DISC LONGER THAN 99:59:74");

    // Track-at-once counts the first pre-gap as written before anything is sent; session-at-once
    // delivers exactly what the queue holds (every frame of the disc, for audio 2352 bytes each).
    totalBytes_ = c.TrackAtOnce ? kLeadPauseBytes : 0;
    for (const auto& entry : readQueue_) totalBytes_ += entry.Length;
    return true;
}

std::vector<uint8_t> TCueSheetBuilder::CueSheetBytes() const {
    std::vector<uint8_t> bytes;
    bytes.reserve(cueSheet_.size() * 8);
    for (const auto& entry : cueSheet_) bytes.insert(bytes.end(), entry.begin(), entry.end());
    return bytes;
}

}  // namespace kv
