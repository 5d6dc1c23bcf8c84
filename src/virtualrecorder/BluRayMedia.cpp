#include "virtualrecorder/BluRayMedia.h"

#include <climits>
#include <cstring>

#include "platform/ByteOrder.h"

namespace kv::vr {
namespace {

constexpr uint8_t kFormatDefault = 0x00, kFormatSpare = 0x30, kFormatNoSpare = 0x31, kFormatBdRSpare = 0x32;
constexpr uint8_t kQuickReformat = 0, kNoCertification = 1, kFullCertification = 2, kQuickCertification = 3;
// BD-R sub-types: 00b pseudo-overwrite, 01b sequential recording without it, 10b random recording.
constexpr uint8_t kBdRSequential = 1;
// Engine milliseconds; real drives take about as long without certification and an hour or more
// with full certification.
constexpr int64_t kQuickFormatMs = 10000, kQuickCertificationMs = 20000, kFullCertificationMsPerLayer = 3600000;

uint32_t Layers(const TDiscState& s) {
    return IsDualLayer(s.Kind) ? 2 : 1;
}

// A spare size written as the type-dependent parameter: 32-block clusters (3000h = 393,216).
uint32_t Clusters(uint32_t spare) {
    return spare / 32;
}

}  // namespace

std::vector<TBdFormat> BluRayFormats(const TDiscState& s) {
    const uint32_t n = Layers(s), whole = n * kBdLayerBlocks;
    const uint32_t byDefault = whole - n * kBdDefaultSpare, smallest = whole - n * kBdMinSpare;
    if (IsBluRayRewritable(s.Kind))
        return {{byDefault, kFormatDefault, Clusters(n * kBdDefaultSpare)},
                {byDefault, kFormatSpare, Clusters(n * kBdDefaultSpare)},
                {whole - n * kBdReMaxSpare, kFormatSpare, Clusters(n * kBdReMaxSpare)},
                {smallest, kFormatSpare, Clusters(n * kBdMinSpare)},
                {whole, kFormatNoSpare, 2048}};
    if (IsBluRayRecordable(s.Kind) && s.Tracks.empty() && !s.Formatted)
        return {{byDefault, kFormatDefault, Clusters(n * kBdDefaultSpare)},
                {byDefault, kFormatBdRSpare, 0},
                {whole - n * kBdRMaxSpare, kFormatBdRSpare, 0},
                {smallest, kFormatBdRSpare, 0}};
    return {};
}

TSense BluRayFormatSize(const TDiscState& s, uint8_t type, uint8_t subType, uint32_t blocks, uint32_t& formatted) {
    const uint32_t n = Layers(s), whole = n * kBdLayerBlocks;
    const uint32_t byDefault = whole - n * kBdDefaultSpare;
    // Sizes between the largest and the smallest spare, in whole clusters.
    auto chosen = [&](uint32_t maxSpare) {
        if (blocks < whole - n * maxSpare || blocks > whole - n * kBdMinSpare) return false;
        formatted = blocks / 32 * 32;
        return true;
    };
    if (IsBluRayRewritable(s.Kind)) {
        switch (type) {
            case kFormatDefault:
                if (subType != kQuickReformat && subType != kNoCertification) break;
                formatted = byDefault;
                return sense::kGood;
            case kFormatSpare:
                // A quick reformat keeps the defect lists of an earlier format: there must be one.
                if (subType == kQuickReformat && !s.Formatted) break;
                if (!chosen(kBdReMaxSpare)) break;
                return sense::kGood;
            case kFormatNoSpare:
                if (subType != kQuickReformat && subType != kNoCertification) break;
                formatted = whole;
                return sense::kGood;
            default:
                break;
        }
        return sense::kInvalidFieldInParameters;
    }
    if (!IsBluRayRecordable(s.Kind)) return sense::kCannotFormatMedium;
    if (!s.Tracks.empty() || s.Formatted) return sense::kCannotFormatMedium;  // formatted only while blank
    if (subType != kBdRSequential) return sense::kInvalidFieldInParameters;
    if (type == kFormatDefault) {
        formatted = byDefault;
        return sense::kGood;
    }
    if (type == kFormatBdRSpare && chosen(kBdRMaxSpare)) return sense::kGood;
    return sense::kInvalidFieldInParameters;
}

int64_t BluRayFormatMs(const TDiscState& s, uint8_t type, uint8_t subType) {
    if (IsBluRayRecordable(s.Kind) || type == kFormatNoSpare) return kQuickFormatMs;
    if (subType == kFullCertification) return kFullCertificationMsPerLayer * Layers(s);
    if (subType == kQuickCertification) return kQuickCertificationMs;
    return kQuickFormatMs;
}

std::vector<uint32_t> BluRayWriteSpeeds(uint32_t fastest) {
    std::vector<uint32_t> speeds;
    for (uint32_t factor : {12u, 10u, 8u, 6u, 4u, 2u})
        if (factor * kBdSpeed1x <= fastest) speeds.push_back(factor * kBdSpeed1x);
    if (speeds.empty()) speeds.push_back(fastest);
    return speeds;
}

std::vector<uint8_t> BluRayDiscInformation(EMediumKind kind) {
    // 4-byte header, then DI units of 112 bytes in a 4096-byte block (one unit per layer on real
    // discs; one describing the disc is what readers of the layer count look at).
    std::vector<uint8_t> r(4 + 4096, 0);
    PutBE16(&r[0], 4096 + 2);
    uint8_t* unit = &r[4];
    unit[0] = 'D';
    unit[1] = 'I';
    unit[2] = 0x01;  // DI unit format 1
    unit[3] = 0x08;  // one unit per block, layer 0
    unit[6] = 112;
    const char* type = kind == EMediumKind::BdRom ? "BDO" : IsBluRayRecordable(kind) ? "BDR" : "BDW";
    std::memcpy(unit + 8, type, 3);
    unit[11] = 0x01;  // 120 mm, class 0, version 1
    unit[12] = static_cast<uint8_t>((IsDualLayer(kind) ? 2 : 1) << 4);
    unit[13] = 0x01;  // 74.5 nm channel: 25 GB a layer
    if (kind != EMediumKind::BdRom) {
        std::memcpy(unit + 100, "KELVAD", 6);  // manufacturer ID
        std::memcpy(unit + 106, "V01", 3);     // media type ID
        unit[111] = 1;                         // product revision
    }
    return r;
}

TSense TMedium::FormatBluRay(uint8_t type, uint8_t subType, uint32_t blocks) {
    uint32_t formatted = 0;
    const TSense s = BluRayFormatSize(state_, type, subType, blocks, formatted);
    if (!s.Good()) return s;
    state_.Formatted = true;
    state_.FormattedBlocks = formatted;
    if (IsBluRayRecordable(state_.Kind)) {
        // The spare areas come out of the user data area: the disc is this much smaller for good.
        state_.Capacity = formatted;
        return sense::kGood;
    }
    // A BD-RE reads as blank after any format.
    state_.Sessions.clear();
    state_.Tracks.clear();
    state_.HighestWritten = -1;
    file_->Drop(INT32_MIN, INT32_MAX);
    return sense::kGood;
}

}  // namespace kv::vr
