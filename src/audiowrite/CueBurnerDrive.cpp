// What the audio burner asks of its drive beyond single commands: the write parameters page of an
// audio write, the medium, its name and the current write speed.
#include <algorithm>
#include <array>

#include "audiowrite/AudioTrackModes.h"
#include "audiowrite/AudioWritePage.h"
#include "audiowrite/TCueBurner.h"
#include "device/Media.h"

namespace kv {
namespace {

constexpr uint8_t kWriteParametersPage = 0x05;
constexpr uint16_t kModeSenseLength = 512;
constexpr size_t kModeHeaderLength = 8;
constexpr size_t kPageBytes = 52;  // page code, length 32h and its 50 bytes

}  // namespace

bool TCueBurner::SetAudioWriteParameters(bool underrun, bool keepOpen, bool audioTrack, bool copyFlag) {
    std::array<uint8_t, kModeSenseLength> reply{};
    if (!ModeSense(kWriteParametersPage, reply.data(), false, kModeSenseLength, reply.size())) return false;
    const size_t at = LocateAudioWritePage(reply);
    std::array<uint8_t, kPageBytes> page{};
    std::copy_n(reply.begin() + static_cast<std::ptrdiff_t>(at), kPageBytes, page.begin());

    TAudioPageOptions options;
    options.RawSubchannel = rawSubchannelPage_;
    options.TrackAtOnce = WriteMethod() == TWriteMethod::wmTAO;
    options.UnderrunFree = underrun && DriveHasUnderrunProtection();
    options.TestWrite = TestWrite;
    options.KeepOpen = keepOpen;
    options.AudioTrack = audioTrack;
    options.CopyFlag = copyFlag;
    options.Mode1Session = true;
    for (const auto& file : Files())
        for (const auto& track : file.Tracks)
            if (IsMode2TrackMode(track.TrackMode)) options.Mode1Session = false;
    ComposeAudioWritePage(page, options);

    // MODE SELECT(10) parameter list: a zero header, then the whole page (a block descriptor the
    // drive reported is not sent back).
    auto list = TransferBuffer();
    std::fill_n(list.begin(), kModeHeaderLength + kPageBytes, 0);
    page[0] &= 0x3F;  // PS bit is reserved in MODE SELECT
    std::copy(page.begin(), page.end(), list.begin() + kModeHeaderLength);
    return ModeSelect(static_cast<uint16_t>(kModeHeaderLength + kPageBytes));
}

}  // namespace kv

namespace kv {

std::string TCueBurner::MediumNameOf(uint8_t code) const {
    return std::string(code < MediumNames.size() ? MediumNames[code] : MediumNames[kMediumUnknown]);
}

bool TCueBurner::DriveHasUnderrunProtection() const { return (Capabilities & TCapability::UnderrunProtection) != 0; }

}  // namespace kv
