#pragma once
#include <cstdint>

namespace kv::vr {

// Sense key / additional sense code / qualifier of a CHECK CONDITION (SPC fixed format).
struct TSense {
    uint8_t Key = 0, Asc = 0, Ascq = 0;
    bool Good() const { return Key == 0 && Asc == 0 && Ascq == 0; }
    friend bool operator==(const TSense&, const TSense&) = default;
};

namespace sense {
inline constexpr TSense kGood{};
inline constexpr TSense kBecomingReady{0x2, 0x04, 0x01};
inline constexpr TSense kFormatInProgress{0x2, 0x04, 0x04};
inline constexpr TSense kOperationInProgress{0x2, 0x04, 0x07};
inline constexpr TSense kLongWriteInProgress{0x2, 0x04, 0x08};
inline constexpr TSense kNoMedium{0x2, 0x3A, 0x00};
inline constexpr TSense kNoMediumTrayOpen{0x2, 0x3A, 0x02};
inline constexpr TSense kWriteError{0x3, 0x0C, 0x00};
inline constexpr TSense kUnrecoveredReadError{0x3, 0x11, 0x00};
inline constexpr TSense kIncompatibleMediumInstalled{0x2, 0x30, 0x00};
inline constexpr TSense kLossOfStreaming{0x3, 0x0C, 0x09};
inline constexpr TSense kParameterListLength{0x5, 0x1A, 0x00};
inline constexpr TSense kInvalidOpcode{0x5, 0x20, 0x00};
inline constexpr TSense kLbaOutOfRange{0x5, 0x21, 0x00};
inline constexpr TSense kInvalidWriteAddress{0x5, 0x21, 0x02};
inline constexpr TSense kInvalidFieldInCdb{0x5, 0x24, 0x00};
inline constexpr TSense kInvalidFieldInParameters{0x5, 0x26, 0x00};
inline constexpr TSense kCommandSequenceError{0x5, 0x2C, 0x00};
inline constexpr TSense kIncompatibleMedium{0x5, 0x30, 0x00};
inline constexpr TSense kCannotWriteMedium{0x5, 0x30, 0x05};
inline constexpr TSense kCannotFormatMedium{0x5, 0x30, 0x06};
inline constexpr TSense kMediumNotFormatted{0x5, 0x30, 0x10};
inline constexpr TSense kSavingNotSupported{0x5, 0x39, 0x00};
inline constexpr TSense kRemovalPrevented{0x5, 0x53, 0x02};
inline constexpr TSense kEndOfUserArea{0x5, 0x63, 0x00};
inline constexpr TSense kIllegalModeForTrack{0x5, 0x64, 0x00};
inline constexpr TSense kIncompleteTrackInSession{0x5, 0x72, 0x03};
inline constexpr TSense kEmptyReservedTrack{0x5, 0x72, 0x04};
inline constexpr TSense kNoMoreReservations{0x5, 0x72, 0x05};
inline constexpr TSense kMediumMayHaveChanged{0x6, 0x28, 0x00};
inline constexpr TSense kPowerOnReset{0x6, 0x29, 0x00};
}  // namespace sense

}  // namespace kv::vr
