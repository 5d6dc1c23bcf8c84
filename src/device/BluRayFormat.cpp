// Formatting a BD-RE: before its first burn and as its erase.
#include <array>

#include "device/SCSIDevice.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

constexpr uint8_t kImmediate = 0x02;
constexpr uint8_t kFormattedMedium = 2;
// Sub-types of 30h.
constexpr uint8_t kQuickReformat = 0, kFullCertification = 2, kQuickCertification = 3;

std::array<uint8_t, 12> BluRayFormatList(uint32_t blocks, uint8_t type, uint8_t subType, uint32_t parameter) {
    std::array<uint8_t, 12> list{};
    list[1] = kImmediate;
    list[3] = 8;
    PutBE32(list.data() + 4, blocks);
    list[8] = static_cast<uint8_t>(type << 2 | subType);
    PutBE24(list.data() + 9, parameter);
    return list;
}

}  // namespace

bool TSCSIDevice::FormatBluRayRe(bool fullCertification) {
    std::vector<TFormatDescriptor> list;
    ReadFormatDescriptors(list);
    const bool formatted = !list.empty() && list.front().Type == kFormattedMedium;
    // The drive lists 30h with the default spare first; its parameter is echoed as listed.
    TFormatDescriptor spare, byDefault;
    for (size_t i = list.size(); i-- > 1;) {
        if (list[i].Type == kFormatTypeBdSpare) spare = list[i];
        if (list[i].Type == kFormatTypeDefault) byDefault = list[i];
    }
    uint8_t subType = fullCertification ? kFullCertification : kQuickCertification;
    if (formatted && !fullCertification) {
        subType = kQuickReformat;
        spare.Blocks = list.front().Blocks;
    }
    if (spare.Blocks != 0) {
        const auto chosen = BluRayFormatList(spare.Blocks, kFormatTypeBdSpare, subType, spare.Parameter);
        if (FormatUnit(kFormatWithParameters, chosen.data(), chosen.size())) return true;
    }
    // 00h formats with the default spare: a quick reformat where the disc was formatted before,
    // without certification otherwise.
    const auto fallback = BluRayFormatList(byDefault.Blocks, kFormatTypeDefault, 0, byDefault.Parameter);
    return FormatUnit(kFormatWithParameters, fallback.data(), fallback.size());
}

}  // namespace kv
