#pragma once
#include <cstdint>
#include <string>

namespace kv::vr {

// Identity and behaviour of a virtual recorder. Real drives differ in these points; each is a
// switch so that the engine's model rules and quirk handling can be exercised.
struct TDriveModel {
    std::string Vendor = "KELVADOR";           // INQUIRY 8 characters
    std::string Product = "VIRTUAL RECORDER";  // 16 characters
    std::string Revision = "1.00";             // 4 characters
    bool JustLinkPage = false;                 // vendor mode page 30h present
    // CD-TEXT in a session-at-once lead-in: taken only with the lead-in's own start in the cue
    // sheet (and then also data block types 2 and 3 in page 05h), or not at all.
    bool CdTextAtLeadInStart = false;
    bool NoCdText = false;
    bool BlankCdrFfdQuirk = false;       // blank CD-R answers READ FORMAT CAPACITIES with FFFD0001h blocks
    bool LongWriteNotReady = false;      // TUR during a flush/close: 2/04/08 instead of GOOD
    bool BufferFullNotReady = false;     // a WRITE that does not fit the buffer: 2/04/08, not held
    bool MediumChangeAttention = false;  // 6/28/00 once after a medium is loaded
    bool Dvd = true;                     // reads and writes DVD media
    bool Bd = true;                      // reads Blu-ray media
    bool BdWrite = true;                 // and writes them
    bool UnderrunFree = true;            // BUFE may be set
    bool TestWrite = true;               // simulation writes supported
    bool SpeedLimit = true;              // the drive buffer drains at the selected write speed
    uint32_t BufferBytes = 2 * 1024 * 1024;
    uint32_t SpinUpMs = 1500;  // not ready (becoming ready) after a tray load

    // Overrides from the environment: KELVADORE_VR_IDENTITY="VENDOR/PRODUCT/REV" and
    // KELVADORE_VR_QUIRKS, a comma list of page30, cdtextmsf, nocdtext, fffd0001, longwrite, bufferfull,
    // attention, cdonly, nobd, nobdwrite, nobuf, notestwrite, nospeedlimit; KELVADORE_VR_SPINUP_MS, the
    // spin-up time in engine milliseconds.
    static TDriveModel FromEnvironment();
    bool ApplyQuirks(const std::string& list, std::string& error);
};

}  // namespace kv::vr
