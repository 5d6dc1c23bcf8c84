#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "virtualrecorder/CdTextLeadIn.h"
#include "virtualrecorder/MediumFile.h"
#include "virtualrecorder/MediumKinds.h"
#include "virtualrecorder/Sense.h"
#include "virtualrecorder/SubChannel.h"

namespace kv::vr {

struct TTrack {
    uint8_t Number = 1;
    uint16_t Session = 1;
    int32_t Start = 0;      // first block of index 1
    uint32_t Pregap = 0;    // blocks of index 0 before Start
    uint32_t Written = 0;   // blocks recorded from Start
    uint32_t Reserved = 0;  // RESERVE TRACK size, 0 when not reserved
    uint32_t RunOut = 0;    // CD track-at-once: 2 unreadable blocks after the data
    bool Complete = false;
    bool Audio = false;
    uint8_t Control = 4;  // CD Q-channel CONTROL nibble (4 data, 0 audio)
    uint16_t SectorSize = 2048;
    bool Packet = false, FixedPacket = false;

    // Blocks the track occupies (a reserved track its whole reservation).
    uint32_t Size() const { return Reserved > Written ? Reserved : Written; }
    int32_t End() const { return Start + static_cast<int32_t>(Size()); }
};

struct TSession {
    uint16_t Number = 1;
    int32_t LeadOut = 0;  // first block of the lead-out once closed
    bool Closed = false;
};

// Distances the drive puts between recorded areas. Real drives differ; these are configurable.
struct TLayoutRules {
    uint32_t CdTaoRunOut = 2;                 // run-out blocks after a track-at-once track
    uint32_t CdPregap = 150;                  // pre-gap the drive writes before a TAO track
    uint32_t CdFirstSessionOverhead = 11400;  // lead-out 6750 + lead-in 4500 + pre-gap 150
    uint32_t CdLaterSessionOverhead = 6900;   // lead-out 2250 + lead-in 4500 + pre-gap 150
    uint32_t CdMinTrackBlocks = 300;          // 4 s minimum track length (Red Book)
    uint32_t DvdMinusFirstBorder = 16384;     // border-out + border-in after the first border
    uint32_t DvdMinusLaterBorder = 6144;
    uint32_t DvdPlusSessionOverhead = 2048;  // lead-out/intro between DVD+R sessions
    // BD-R: a session after a closed one starts at the next cluster; no capture shows a further gap.
    uint32_t BdSessionGap = 0;
};

// One track of a session-at-once layout announced with SEND CUE SHEET.
struct TCueTrack {
    uint8_t Number = 1;
    uint8_t Control = 0;
    uint8_t DataForm = 0;
    uint16_t SectorSize = 2352;
    int32_t Index0 = 0;  // start of the pre-gap (== Index1 when there is none)
    int32_t Index1 = 0;
};

struct TSaoPlan {
    std::vector<TCueTrack> Tracks;
    // A lead-in entry with data form | 40h: the host writes the lead-in's CD-TEXT from its first
    // block up to First.
    bool CdTextLeadIn = false;
    TCdTextReceiver CdText;
    int32_t First = -150;  // first block the host sends
    int32_t LeadOut = 0;   // first block after the program area
    int32_t Next = -150;   // next block expected
    uint8_t DiscType = 0;  // 00h CD-DA/CD-ROM, 20h CD-ROM XA
    TSubChannelMarks Marks;  // catalogue number, ISRCs and index points the cue sheet announced
    uint16_t SectorSizeAt(int32_t lba) const;
};

// Everything about the disc except the sector payload: copyable, so a test write can run against a
// copy and be discarded.
struct TDiscState {
    EMediumKind Kind = EMediumKind::CdR;
    uint32_t Capacity = 0;
    int32_t AtipLeadIn = -12490;  // 97:15:35
    bool Finalized = false;
    bool Formatted = false;  // +RW, restricted overwrite, RAM, BD-RE, BD-R formatted with spares
    uint32_t FormattedBlocks = 0;
    uint8_t BackgroundFormat = 0;  // +RW: 0 none, 1 partial, 2 running, 3 complete
    bool Intermediate = false;     // restricted overwrite after a quick format: grows from 0
    bool DaoOnly = false;          // minimally blanked DVD-RW
    int32_t HighestWritten = -1;   // overwritable media: last block ever written
    uint8_t DiscType = 0;
    std::vector<TCdTextPack> CdText;  // the first session's lead-in packs, one round
    std::vector<TSession> Sessions;
    std::vector<TTrack> Tracks;
    TSubChannelMarks Marks;
};

// Write settings of the current command, taken from the write parameters page.
struct TWriteMode {
    uint8_t WriteType = 1;  // 0 packet/incremental, 1 TAO, 2 SAO
    bool Audio = false;
    uint8_t Control = 4;
    uint16_t SectorSize = 2048;
    bool FixedPacket = false;
    bool NextSessionAllowed = true;
};

class TMedium {
public:
    // New blank (or, for CD-ROM/DVD-ROM, empty pressed) medium; `capacity` 0 = the medium's default.
    static std::unique_ptr<TMedium> Create(const std::string& path, EMediumKind kind, uint32_t capacity,
                                           std::string& error);
    // `forWriting` false: a read-only view of the last commit (info, export), no lock taken.
    static std::unique_ptr<TMedium> Load(const std::string& path, std::string& error, bool forWriting = true);

    const std::string& Path() const { return file_->Path(); }
    const TMediumTraits& Traits() const { return vr::Traits(state_.Kind); }
    TDiscState& State() { return state_; }
    const TDiscState& State() const { return state_; }
    TLayoutRules& Rules() { return rules_; }
    TMediumFile& File() { return *file_; }

    bool Commit(std::string& error);
    std::string StateText() const;
    static bool ParseState(const std::string& text, TDiscState& state, std::string& error);

    // --- queries -----------------------------------------------------------------------------
    bool IsBlank() const;
    bool IsAppendable() const;        // sequential medium that takes more data
    const TTrack* OpenTrack() const;  // incomplete (or partially written reserved) last track
    int32_t InvisibleTrackStart() const;
    int32_t NextWritableAddress() const;
    uint16_t OpenSessionNumber() const;
    uint8_t NextTrackNumber() const;
    uint32_t FreeBlocksFrom(int32_t lba) const;
    // Last block READ CAPACITY reports (recorded area including run-out), -1 when nothing is readable.
    int32_t LastReadableBlock() const;
    const TTrack* TrackContaining(int32_t lba) const;
    TSense CheckReadable(int32_t lba, uint32_t count) const;
    int32_t NextSessionStart() const;

    // --- changes (return the sense a drive reports when refusing) -----------------------------
    TSense WriteSequential(int32_t lba, uint32_t count, const TWriteMode& mode, const uint8_t* data,
                           bool record);
    TSense WriteRandom(int32_t lba, uint32_t count, const uint8_t* data, bool record);
    TSense Reserve(uint32_t blocks, const TWriteMode& mode);
    TSense CloseTrack(uint32_t number);
    TSense CloseSession(bool finalize);
    void CompleteOpenCdTrack();
    TSense BeginSao(TSaoPlan plan);
    TSense WriteSao(int32_t lba, uint32_t count, const uint8_t* data, uint32_t dataLength, bool record);
    bool SaoActive() const { return sao_.has_value(); }
    const std::optional<TSaoPlan>& Sao() const { return sao_; }
    void FinishSao(bool nextSessionAllowed);
    void AbandonSao() { sao_.reset(); }
    void Blank(bool minimal);
    TSense Format(uint8_t type, uint32_t blocks, uint32_t parameter, uint8_t subType = 0);
    // Blocks written as one unit: one ECC block on DVD (16), one cluster on BD (32), one on CD.
    uint32_t WriteUnit() const { return Traits().Cd ? 1 : IsBluRay(state_.Kind) ? 32 : 16; }

private:
    explicit TMedium(std::unique_ptr<TMediumFile> file) : file_(std::move(file)) {}
    TTrack& NewTrack(int32_t start, const TWriteMode& mode);
    TSense FormatBluRay(uint8_t type, uint8_t subType, uint32_t blocks);

    std::unique_ptr<TMediumFile> file_;
    TDiscState state_;
    TLayoutRules rules_;
    std::optional<TSaoPlan> sao_;
};

}  // namespace kv::vr
