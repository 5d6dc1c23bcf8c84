#include "virtualrecorder/Medium.h"

#include <algorithm>
#include <climits>
#include <sstream>

namespace kv::vr {
namespace {

int32_t AlignUp(int64_t v, uint32_t unit) {
    return static_cast<int32_t>((v + unit - 1) / unit * unit);
}

int32_t AlignUp16(int64_t v) {
    return AlignUp(v, 16);
}

int32_t AtipLeadInFor(EMediumKind kind) {
    // Manufacturer-specific lead-in start times as found in ATIP: 97:15:35 (a dye CD-R) and
    // 97:10:00 (a phase-change CD-RW).
    return kind == EMediumKind::CdRw ? -12900 : -12490;
}

}  // namespace

uint16_t TSaoPlan::SectorSizeAt(int32_t lba) const {
    if (CdTextLeadIn && lba < First) return static_cast<uint16_t>(kCdTextLeadInBlockBytes);
    uint16_t size = Tracks.empty() ? 2352 : Tracks.front().SectorSize;
    for (const auto& t : Tracks)
        if (t.Index0 <= lba) size = t.SectorSize;
    return size;
}

std::unique_ptr<TMedium> TMedium::Create(const std::string& path, EMediumKind kind, uint32_t capacity,
                                         std::string& error) {
    TDiscState s;
    s.Kind = kind;
    const TMediumTraits& t = vr::Traits(kind);
    s.Capacity = capacity ? capacity : t.DefaultCapacity;
    s.AtipLeadIn = AtipLeadInFor(kind);
    if (t.Pressed) {
        s.Sessions.push_back({1, static_cast<int32_t>(s.Capacity), true});
        TTrack track;
        track.Written = s.Capacity;
        track.Complete = true;
        track.Pregap = t.Cd ? 150 : 0;
        s.Tracks.push_back(track);
        s.Finalized = true;
    }
    if (kind == EMediumKind::DvdRam || kind == EMediumKind::DvdRwRestricted) {
        s.Formatted = true;
        s.FormattedBlocks = s.Capacity;
    }
    TMedium probe(nullptr);
    probe.state_ = s;
    auto file = TMediumFile::Create(path, probe.StateText(), error);
    if (!file) return nullptr;
    std::unique_ptr<TMedium> medium(new TMedium(std::move(file)));
    medium->state_ = std::move(s);
    return medium;
}

std::unique_ptr<TMedium> TMedium::Load(const std::string& path, std::string& error, bool forWriting) {
    std::string text;
    auto file = TMediumFile::Open(path, text, error, forWriting);
    if (!file) return nullptr;
    std::unique_ptr<TMedium> medium(new TMedium(std::move(file)));
    if (!ParseState(text, medium->state_, error)) {
        error = path + ": " + error;
        return nullptr;
    }
    return medium;
}

bool TMedium::Commit(std::string& error) {
    return file_->Commit(StateText(), error);
}

std::string TMedium::StateText() const {
    std::ostringstream o;
    const TDiscState& s = state_;
    o << "kvmedium 1\n"
      << "kind " << vr::Traits(s.Kind).CliName << '\n'
      << "capacity " << s.Capacity << '\n'
      << "atip-lead-in " << s.AtipLeadIn << '\n'
      << "finalized " << s.Finalized << '\n'
      << "formatted " << s.Formatted << ' ' << s.FormattedBlocks << ' ' << int{s.BackgroundFormat} << ' '
      << s.Intermediate << ' ' << s.DaoOnly << '\n'
      << "highest-written " << s.HighestWritten << '\n'
      << "disc-type " << int{s.DiscType} << '\n';
    WriteCdTextLines(o, s.CdText);
    for (const auto& x : s.Sessions)
        o << "session " << x.Number << ' ' << x.LeadOut << ' ' << x.Closed << '\n';
    for (const auto& t : s.Tracks)
        o << "track " << int{t.Number} << ' ' << t.Session << ' ' << t.Start << ' ' << t.Pregap << ' '
          << t.Written << ' ' << t.Reserved << ' ' << t.RunOut << ' ' << t.Complete << ' ' << t.Audio << ' '
          << int{t.Control} << ' ' << t.SectorSize << ' ' << t.Packet << ' ' << t.FixedPacket << '\n';
    WriteMarkLines(o, s.Marks);
    return o.str();
}

bool TMedium::ParseState(const std::string& text, TDiscState& s, std::string& error) {
    std::istringstream in(text);
    std::string line;
    bool sawHeader = false, sawKind = false;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::istringstream f(line);
        std::string key;
        f >> key;
        bool ok = true;
        if (key == "kvmedium") {
            int v = 0;
            ok = static_cast<bool>(f >> v) && v == 1;
            sawHeader = true;
        } else if (key == "kind") {
            std::string name;
            f >> name;
            auto kind = KindFromCliName(name);
            ok = kind.has_value();
            if (ok) s.Kind = *kind;
            sawKind = ok;
        } else if (key == "capacity") {
            ok = static_cast<bool>(f >> s.Capacity) && s.Capacity > 0 && s.Capacity <= kMaxMediumBlocks;
        } else if (key == "atip-lead-in") {
            ok = static_cast<bool>(f >> s.AtipLeadIn);
        } else if (key == "finalized") {
            ok = static_cast<bool>(f >> s.Finalized);
        } else if (key == "formatted") {
            int bg = 0;
            ok = static_cast<bool>(f >> s.Formatted >> s.FormattedBlocks >> bg >> s.Intermediate >>
                                   s.DaoOnly) &&
                 bg >= 0 && bg <= 3;
            s.BackgroundFormat = static_cast<uint8_t>(bg);
        } else if (key == "highest-written") {
            ok = static_cast<bool>(f >> s.HighestWritten);
        } else if (key == "disc-type") {
            int v = 0;
            ok = static_cast<bool>(f >> v) && v >= 0 && v <= 255;
            s.DiscType = static_cast<uint8_t>(v);
        } else if (key == "cdtext") {
            ok = ParseCdTextLine(f, s.CdText);
        } else if (key == "session") {
            TSession x;
            ok = static_cast<bool>(f >> x.Number >> x.LeadOut >> x.Closed) && s.Sessions.size() < 1000;
            if (ok) s.Sessions.push_back(x);
        } else if (key == "track") {
            TTrack t;
            int number = 0, control = 0;
            ok = static_cast<bool>(f >> number >> t.Session >> t.Start >> t.Pregap >> t.Written >>
                                   t.Reserved >> t.RunOut >> t.Complete >> t.Audio >> control >>
                                   t.SectorSize >> t.Packet >> t.FixedPacket) &&
                 number >= 1 && number <= 255 && control >= 0 && control <= 15 && t.SectorSize >= 2048 &&
                 t.SectorSize <= 2352 && t.Pregap <= 450000 && t.Written <= kMaxMediumBlocks &&
                 t.Reserved <= kMaxMediumBlocks && s.Tracks.size() < 255;
            t.Number = static_cast<uint8_t>(number);
            t.Control = static_cast<uint8_t>(control);
            if (ok) s.Tracks.push_back(t);
        } else {
            ParseMarkLine(key, f, s.Marks, ok);
        }  // unknown keys are skipped so newer files stay readable
        if (!ok) {
            error = "damaged medium state line: " + line;
            return false;
        }
    }
    if (!sawHeader || !sawKind || s.Capacity == 0) {
        error = "medium state incomplete";
        return false;
    }
    return true;
}

// --- queries ---------------------------------------------------------------------------------

bool TMedium::IsBlank() const {
    const TMediumTraits& t = Traits();
    if (t.Pressed) return false;
    if (t.Overwritable) return state_.HighestWritten < 0;
    return state_.Tracks.empty();
}

bool TMedium::IsAppendable() const {
    const TMediumTraits& t = Traits();
    return !t.Pressed && !t.Overwritable && !state_.Finalized;
}

const TTrack* TMedium::OpenTrack() const {
    if (state_.Tracks.empty() || state_.Tracks.back().Complete) return nullptr;
    return &state_.Tracks.back();
}

uint16_t TMedium::OpenSessionNumber() const {
    if (!state_.Sessions.empty() && !state_.Sessions.back().Closed) return state_.Sessions.back().Number;
    return static_cast<uint16_t>(state_.Sessions.size() + 1);
}

uint8_t TMedium::NextTrackNumber() const {
    return state_.Tracks.empty() ? 1 : static_cast<uint8_t>(state_.Tracks.back().Number + 1);
}

int32_t TMedium::NextSessionStart() const {
    int closed = 0;
    int32_t leadOut = 0;
    for (const auto& s : state_.Sessions)
        if (s.Closed) {
            ++closed;
            leadOut = s.LeadOut;
        }
    if (closed == 0) return 0;
    const TMediumTraits& t = Traits();
    if (t.Cd)
        return leadOut + static_cast<int32_t>(closed == 1 ? rules_.CdFirstSessionOverhead
                                                          : rules_.CdLaterSessionOverhead);
    if (state_.Kind == EMediumKind::DvdPlusR || state_.Kind == EMediumKind::DvdPlusRDualLayer)
        return AlignUp16(leadOut) + static_cast<int32_t>(rules_.DvdPlusSessionOverhead);
    if (IsBluRay(state_.Kind)) return AlignUp(leadOut, WriteUnit()) + static_cast<int32_t>(rules_.BdSessionGap);
    return AlignUp16(leadOut) +
           static_cast<int32_t>(closed == 1 ? rules_.DvdMinusFirstBorder : rules_.DvdMinusLaterBorder);
}

int32_t TMedium::InvisibleTrackStart() const {
    if (state_.Tracks.empty()) return NextSessionStart();
    const TTrack& last = state_.Tracks.back();
    if (last.Session != OpenSessionNumber()) return NextSessionStart();
    if (Traits().Cd) {
        const uint32_t runOut = last.Complete ? last.RunOut : rules_.CdTaoRunOut;
        return last.End() + static_cast<int32_t>(runOut + rules_.CdPregap);
    }
    return AlignUp(last.End(), WriteUnit());
}

int32_t TMedium::NextWritableAddress() const {
    if (Traits().Overwritable)
        return state_.HighestWritten < 0 ? 0 : AlignUp(int64_t{state_.HighestWritten} + 1, WriteUnit());
    if (const TTrack* open = OpenTrack()) return open->Start + static_cast<int32_t>(open->Written);
    return InvisibleTrackStart();
}

uint32_t TMedium::FreeBlocksFrom(int32_t lba) const {
    if (lba < 0) lba = 0;
    return static_cast<uint32_t>(lba) < state_.Capacity ? state_.Capacity - static_cast<uint32_t>(lba) : 0;
}

int32_t TMedium::LastReadableBlock() const {
    const TMediumTraits& t = Traits();
    if (t.Pressed) return static_cast<int32_t>(state_.Capacity) - 1;
    if (t.Overwritable) {
        if (!state_.Formatted) return -1;
        int64_t end = state_.FormattedBlocks;
        if (state_.Intermediate) end = std::max<int64_t>(end, NextWritableAddress());
        return static_cast<int32_t>(end) - 1;
    }
    int32_t last = -1;
    for (const auto& s : state_.Sessions)
        if (s.Closed) last = s.LeadOut - 1;
    return last;
}

const TTrack* TMedium::TrackContaining(int32_t lba) const {
    for (const auto& t : state_.Tracks)
        if (lba >= t.Start - static_cast<int32_t>(t.Pregap) && lba < t.End() + static_cast<int32_t>(t.RunOut))
            return &t;
    return nullptr;
}

TSense TMedium::CheckReadable(int32_t lba, uint32_t count) const {
    const int64_t end = int64_t{lba} + count;
    const TMediumTraits& t = Traits();
    if (t.Pressed) return lba >= 0 && end <= state_.Capacity ? sense::kGood : sense::kLbaOutOfRange;
    if (t.Overwritable) {
        if (!state_.Formatted) return sense::kMediumNotFormatted;
        return lba >= 0 && end <= int64_t{LastReadableBlock()} + 1 ? sense::kGood : sense::kLbaOutOfRange;
    }
    // Sequential media: only recorded blocks read back; unwritten reservations do not. The two
    // run-out blocks after a track-at-once data track are counted by READ CAPACITY and the TOC but
    // hold no data block: drives answer 5/64/00 there (libburn's note on TAO CDs). After an audio
    // track they read as silence.
    for (int64_t pos = lba; pos < end;) {
        const TTrack* track = TrackContaining(static_cast<int32_t>(pos));
        if (!track) return sense::kLbaOutOfRange;
        const int64_t recordedEnd = int64_t{track->Start} + track->Written;
        if (pos < recordedEnd) {
            pos = recordedEnd;
            continue;
        }
        const bool runOut = track->Complete && track->RunOut > 0 && pos >= track->End();
        if (!runOut) return sense::kLbaOutOfRange;
        if (!track->Audio) return sense::kIllegalModeForTrack;
        pos = int64_t{track->End()} + track->RunOut;
    }
    return sense::kGood;
}

// --- changes ---------------------------------------------------------------------------------

TTrack& TMedium::NewTrack(int32_t start, const TWriteMode& mode) {
    if (state_.Sessions.empty() || state_.Sessions.back().Closed)
        state_.Sessions.push_back({static_cast<uint16_t>(state_.Sessions.size() + 1), 0, false});
    TTrack t;
    t.Number = NextTrackNumber();
    t.Session = state_.Sessions.back().Number;
    t.Start = start;
    if (Traits().Cd) {
        t.Pregap = rules_.CdPregap;
        t.Audio = mode.Audio;
        t.Control = mode.Control;
        t.SectorSize = mode.SectorSize;
        t.Packet = mode.WriteType == 0;
        t.FixedPacket = t.Packet && mode.FixedPacket;
    } else {
        // BD-R tracks (sequential recording ranges) report the packet bit whatever the write type.
        t.Packet = IsBluRay(state_.Kind) || (state_.Kind != EMediumKind::DvdPlusR &&
                                             state_.Kind != EMediumKind::DvdPlusRDualLayer && mode.WriteType == 0);
    }
    state_.Tracks.push_back(t);
    return state_.Tracks.back();
}

TSense TMedium::WriteSequential(int32_t lba, uint32_t count, const TWriteMode& mode, const uint8_t* data,
                                bool record) {
    if (state_.Finalized) return sense::kInvalidWriteAddress;
    const TTrack* open = OpenTrack();
    if (lba != NextWritableAddress()) return sense::kInvalidWriteAddress;
    if (int64_t{lba} + count > state_.Capacity) return sense::kLbaOutOfRange;
    if (open && open->Reserved && int64_t{lba} + count > open->End()) return sense::kEndOfUserArea;
    if (!open) {
        if (Traits().Cd && NextTrackNumber() > 99) return sense::kInvalidWriteAddress;  // Red Book: 99 tracks
        if (state_.DaoOnly && mode.WriteType == 0) return sense::kCommandSequenceError;
        NewTrack(lba, mode);
    }
    TTrack& track = state_.Tracks.back();
    if (Traits().Cd && track.SectorSize != mode.SectorSize) return sense::kIllegalModeForTrack;
    if (record && !file_->Write(lba, count, track.SectorSize, data)) return sense::kWriteError;
    track.Written += count;
    return sense::kGood;
}

TSense TMedium::WriteRandom(int32_t lba, uint32_t count, const uint8_t* data, bool record) {
    const int64_t end = int64_t{lba} + count;
    if (lba < 0) return sense::kLbaOutOfRange;
    switch (state_.Kind) {
        case EMediumKind::DvdPlusRw:
            if (!state_.Formatted) return sense::kMediumNotFormatted;
            if (end > state_.Capacity) return sense::kLbaOutOfRange;
            break;
        case EMediumKind::DvdRam:
            if (end > state_.FormattedBlocks) return sense::kLbaOutOfRange;
            break;
        case EMediumKind::BdRe:
        case EMediumKind::BdReDualLayer:
            if (!state_.Formatted) return sense::kMediumNotFormatted;
            if (end > state_.FormattedBlocks) return sense::kLbaOutOfRange;
            break;
        default:  // restricted overwrite: whole 32 KiB ECC blocks only
            if (lba % 16 != 0 || count % 16 != 0) return sense::kInvalidWriteAddress;
            if (state_.Intermediate) {
                if (lba > std::max<int64_t>(NextWritableAddress(), state_.FormattedBlocks))
                    return sense::kInvalidWriteAddress;
                if (end > state_.Capacity) return sense::kLbaOutOfRange;
            } else if (end > state_.FormattedBlocks) {
                return sense::kLbaOutOfRange;
            }
            break;
    }
    if (record) {
        if (!file_->Write(lba, count, 2048, data)) return sense::kWriteError;
        state_.HighestWritten = std::max<int32_t>(state_.HighestWritten, static_cast<int32_t>(end - 1));
    }
    return sense::kGood;
}

TSense TMedium::Reserve(uint32_t blocks, const TWriteMode& mode) {
    if (state_.Finalized) return sense::kInvalidWriteAddress;
    if (OpenTrack()) return sense::kNoMoreReservations;
    if (blocks == 0) return sense::kInvalidFieldInCdb;
    if (!Traits().Cd) blocks = static_cast<uint32_t>(AlignUp(blocks, WriteUnit()));
    const int32_t start = InvisibleTrackStart();
    if (int64_t{start} + blocks > state_.Capacity) return sense::kLbaOutOfRange;
    TTrack& t = NewTrack(start, mode);
    t.Reserved = blocks;
    return sense::kGood;
}

void TMedium::CompleteOpenCdTrack() {
    if (state_.Tracks.empty() || state_.Tracks.back().Complete || !Traits().Cd) return;
    TTrack& t = state_.Tracks.back();
    // A track shorter than 4 s is padded by the drive; the padding reads back as zeros.
    t.Written = std::max({t.Written, t.Reserved, rules_.CdMinTrackBlocks});
    t.Reserved = 0;
    t.RunOut = rules_.CdTaoRunOut;
    t.Complete = true;
}

TSense TMedium::CloseTrack(uint32_t number) {
    if (number == 0xFF) {
        if (!OpenTrack()) return sense::kGood;
        number = state_.Tracks.back().Number;
    }
    auto it = std::find_if(state_.Tracks.begin(), state_.Tracks.end(),
                           [&](const TTrack& t) { return t.Number == number; });
    if (it == state_.Tracks.end())
        return number == NextTrackNumber() ? sense::kGood
                                           : sense::kInvalidFieldInCdb;  // empty invisible track
    if (it->Complete) return sense::kGood;
    if (Traits().Cd) {
        CompleteOpenCdTrack();
        return sense::kGood;
    }
    it->Written = static_cast<uint32_t>(AlignUp(std::max(it->Written, it->Reserved), WriteUnit()));
    it->Reserved = 0;
    it->Complete = true;
    return sense::kGood;
}

TSense TMedium::CloseSession(bool finalize) {
    const bool plusR = state_.Kind == EMediumKind::DvdPlusR || state_.Kind == EMediumKind::DvdPlusRDualLayer;
    if (state_.Sessions.empty() || state_.Sessions.back().Closed) {
        // Closing an empty session is a no-op; DVD+R may still be finalized afterwards.
        if (finalize && plusR && !state_.Sessions.empty()) state_.Finalized = true;
        return sense::kGood;
    }
    if (const TTrack* open = OpenTrack()) {
        if (open->Reserved && open->Written == 0) return sense::kEmptyReservedTrack;
        if (Traits().Cd) return sense::kIncompleteTrackInSession;
        CloseTrack(open->Number);
    }
    TSession& s = state_.Sessions.back();
    const TTrack& last = state_.Tracks.back();
    s.LeadOut = last.End() + static_cast<int32_t>(last.RunOut);
    s.Closed = true;
    if (finalize) state_.Finalized = true;
    // DVD+R drives finalize on their own when no room for another session remains.
    if (plusR && (s.Number >= 127 || int64_t{NextSessionStart()} + 65 * 16 > state_.Capacity))
        state_.Finalized = true;
    return sense::kGood;
}

TSense TMedium::BeginSao(TSaoPlan plan) {
    if (!Traits().Cd || state_.Finalized) return sense::kCannotWriteMedium;
    if (OpenTrack()) return sense::kCommandSequenceError;
    if (plan.Tracks.empty() || plan.Tracks.front().Number != NextTrackNumber() ||
        plan.Tracks.back().Number > 99)
        return sense::kInvalidFieldInParameters;
    if (plan.First != NextSessionStart() - 150) return sense::kInvalidFieldInParameters;
    if (plan.LeadOut > static_cast<int32_t>(state_.Capacity)) return sense::kInvalidFieldInParameters;
    plan.Next = plan.First;
    if (plan.CdTextLeadIn) {
        // CD-TEXT is read from the first lead-in only.
        if (!state_.Sessions.empty()) return sense::kInvalidFieldInParameters;
        plan.Next = state_.AtipLeadIn;
    }
    sao_ = std::move(plan);
    return sense::kGood;
}

TSense TMedium::WriteSao(int32_t lba, uint32_t count, const uint8_t* data, uint32_t dataLength, bool record) {
    TSaoPlan& p = *sao_;
    if (lba != p.Next) return sense::kInvalidWriteAddress;
    if (lba < p.First) {
        // The CD-TEXT lead-in: 96-byte blocks up to the pause before track 1.
        const uint32_t leadIn = std::min<uint32_t>(count, static_cast<uint32_t>(p.First - lba));
        if (uint64_t{leadIn} * kCdTextLeadInBlockBytes > dataLength) return sense::kInvalidFieldInCdb;
        if (const TSense s = p.CdText.Take(data, leadIn); !s.Good()) return s;
        p.Next += static_cast<int32_t>(leadIn);
        if (leadIn == count) return sense::kGood;
        const size_t taken = size_t{leadIn} * kCdTextLeadInBlockBytes;
        return WriteSao(lba + static_cast<int32_t>(leadIn), count - leadIn, data + taken,
                        dataLength - static_cast<uint32_t>(taken), record);
    }
    if (int64_t{lba} + count > p.LeadOut) return sense::kLbaOutOfRange;
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i) total += p.SectorSizeAt(lba + static_cast<int32_t>(i));
    if (total > dataLength) return sense::kInvalidFieldInCdb;
    if (record) {
        uint32_t i = 0;
        const uint8_t* at = data;
        while (i < count) {
            const uint16_t size = p.SectorSizeAt(lba + static_cast<int32_t>(i));
            uint32_t run = 1;
            while (i + run < count && p.SectorSizeAt(lba + static_cast<int32_t>(i + run)) == size) ++run;
            if (!file_->Write(lba + static_cast<int32_t>(i), run, size, at)) return sense::kWriteError;
            at += size_t{run} * size;
            i += run;
        }
    }
    p.Next += static_cast<int32_t>(count);
    return sense::kGood;
}

void TMedium::FinishSao(bool nextSessionAllowed) {
    if (!sao_) return;
    const TSaoPlan p = std::move(*sao_);
    sao_.reset();
    if (p.Next <= p.First) return;  // nothing was sent: the disc stays as it was
    if (p.CdTextLeadIn) state_.CdText = p.CdText.Packs();
    // A stream that stopped early still gets its lead-out where the data ended.
    const int32_t leadOut = std::min(p.Next, p.LeadOut);
    TSession session{static_cast<uint16_t>(state_.Sessions.size() + 1), leadOut, true};
    for (size_t i = 0; i < p.Tracks.size(); ++i) {
        const TCueTrack& c = p.Tracks[i];
        if (c.Index1 >= leadOut) break;
        const int32_t end = std::min(i + 1 < p.Tracks.size() ? p.Tracks[i + 1].Index0 : p.LeadOut, leadOut);
        TTrack t;
        t.Number = c.Number;
        t.Session = session.Number;
        t.Start = c.Index1;
        t.Pregap = static_cast<uint32_t>(c.Index1 - c.Index0);
        t.Written = static_cast<uint32_t>(end - c.Index1);
        t.Complete = true;
        t.Control = c.Control;
        t.Audio = (c.Control & 0x4) == 0;
        t.SectorSize = c.SectorSize;
        state_.Tracks.push_back(t);
    }
    state_.Sessions.push_back(session);
    state_.DiscType = p.DiscType;
    // The Q channel carries what the cue sheet announced, as far as the recording got.
    TSubChannelMarks& marks = state_.Marks;
    if (!p.Marks.Mcn.empty()) marks.Mcn = p.Marks.Mcn;
    for (const TTrack& t : state_.Tracks) {
        if (t.Session != session.Number) continue;
        if (auto it = p.Marks.Isrc.find(t.Number); it != p.Marks.Isrc.end()) marks.Isrc[t.Number] = it->second;
        if (auto it = p.Marks.Indexes.find(t.Number); it != p.Marks.Indexes.end())
            for (int32_t start : it->second)
                if (start < t.End()) marks.Indexes[t.Number].push_back(start);
    }
    if (!nextSessionAllowed || p.Next < p.LeadOut) state_.Finalized = true;
}

void TMedium::Blank(bool minimal) {
    state_.CdText.clear();
    state_.Sessions.clear();
    state_.Tracks.clear();
    state_.Finalized = false;
    state_.HighestWritten = -1;
    state_.DiscType = 0;
    state_.Marks = {};
    if (state_.Kind == EMediumKind::DvdRwRestricted || state_.Kind == EMediumKind::DvdRwSequential) {
        state_.Kind = EMediumKind::DvdRwSequential;
        state_.Formatted = false;
        state_.FormattedBlocks = 0;
        state_.Intermediate = false;
        state_.DaoOnly = minimal;
    }
    sao_.reset();
    file_->Drop(INT32_MIN, INT32_MAX);
}

TSense TMedium::Format(uint8_t type, uint32_t blocks, uint32_t parameter, uint8_t subType) {
    if (IsBluRay(state_.Kind)) return FormatBluRay(type, subType, blocks);
    switch (state_.Kind) {
        case EMediumKind::DvdPlusRw:
            if (type != 0x26 || parameter > 1 || (blocks != 0xFFFFFFFF && blocks > state_.Capacity))
                return sense::kInvalidFieldInParameters;
            state_.Formatted = true;
            state_.FormattedBlocks = state_.Capacity;
            state_.BackgroundFormat = 2;
            return sense::kGood;
        case EMediumKind::DvdRwSequential:
        case EMediumKind::DvdRwRestricted: {
            const bool restricted = state_.Kind == EMediumKind::DvdRwRestricted;
            if (type == 0x13) {
                // Grows the closed last session by the blocks asked for; a disc still in the
                // intermediate state grows by being written and offers no 13h.
                if (!restricted || parameter != 16 || state_.Intermediate) return sense::kInvalidFieldInParameters;
                state_.FormattedBlocks = static_cast<uint32_t>(
                    std::min<int64_t>(state_.Capacity, AlignUp16(int64_t{state_.FormattedBlocks} + blocks)));
                return sense::kGood;
            }
            if ((type != 0x00 && type != 0x10 && type != 0x15) || (type != 0x00 && parameter != 16) ||
                (blocks > state_.Capacity && blocks != 0xFFFFFFFF))
                return sense::kInvalidFieldInParameters;
            Blank(false);
            state_.Kind = EMediumKind::DvdRwRestricted;
            state_.Formatted = true;
            state_.DaoOnly = false;
            state_.Intermediate = type == 0x15;
            state_.FormattedBlocks = type == 0x15 ? std::min(blocks, state_.Capacity) : state_.Capacity;
            return sense::kGood;
        }
        case EMediumKind::DvdRam: {
            // Only the sizes the drive offers in READ FORMAT CAPACITIES are accepted.
            const bool listed = blocks == 2236704 || blocks == 2295072 || blocks == 0xFFFFFFFF;
            if ((type != 0x00 && type != 0x01) || parameter != 2048 || !listed)
                return sense::kInvalidFieldInParameters;
            Blank(false);
            state_.Formatted = true;
            state_.Capacity = blocks == 0xFFFFFFFF ? 2236704 : blocks;
            state_.FormattedBlocks = state_.Capacity;
            return sense::kGood;
        }
        default:
            return sense::kCannotFormatMedium;
    }
}

}  // namespace kv::vr
