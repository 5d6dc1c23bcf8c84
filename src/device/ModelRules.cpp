// Drive models that need special treatment, matched on their INQUIRY identity.
#include <string>
#include <string_view>

#include "device/SCSIDevice.h"

namespace kv {
namespace {

enum class TField { Vendor, Product, RawProduct };
enum class TMatch { Equals, StartsWith };

enum TQuirk : unsigned {
    kForceUnderrun = 1u << 0,      // reports no underrun protection but has it
    kLinkSizeValid = 1u << 1,      // wants the link size field of the write parameters page
    kSlowReadyModel = 1u << 2,     // reports ready long before it accepts commands
    kNoImmediateClose = 1u << 3,   // fails CLOSE TRACK/SESSION with the immediate bit
    kSlowReadyDrive = 1u << 4,     // slow to report ready; closes with the immediate bit
};

struct TModelRule {
    TField Field;
    TMatch Match;
    std::string_view Text;
    unsigned Quirks;
};

constexpr TModelRule kModelRules[] = {
    {TField::Product, TMatch::Equals, "CD-W512EB", kForceUnderrun},
    {TField::Product, TMatch::Equals, "CRX175E", kLinkSizeValid},
    {TField::Product, TMatch::Equals, "CD-RW  CRX800E", kLinkSizeValid},
    {TField::Product, TMatch::StartsWith, "UJDA", kSlowReadyModel},
    {TField::Vendor, TMatch::StartsWith, "TDK", kSlowReadyModel},
    {TField::Product, TMatch::Equals, "CDRW321040X", kNoImmediateClose},
    {TField::RawProduct, TMatch::Equals, "DVD-RW  DVR-103 ", kSlowReadyDrive},
    {TField::RawProduct, TMatch::Equals, "DVD-RW  DVR-104 ", kSlowReadyDrive},
};

std::string Trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return std::string(s.substr(first, s.find_last_not_of(' ') - first + 1));
}

}  // namespace

void TSCSIDevice::ApplyModelRules() {
    const auto inquiry = InquiryData();
    const std::string_view raw(reinterpret_cast<const char*>(inquiry.data()), inquiry.size());
    std::string vendor = Trimmed(raw.substr(8, 8));
    if (vendor.size() < 3) vendor = "     ";
    const std::string product = Trimmed(raw.substr(16, 16));
    const std::string_view rawProduct = raw.substr(16, 16);

    unsigned quirks = 0;
    for (const TModelRule& rule : kModelRules) {
        const std::string_view value = rule.Field == TField::Vendor    ? std::string_view(vendor)
                                       : rule.Field == TField::Product ? std::string_view(product)
                                                                       : rawProduct;
        const bool hit = rule.Match == TMatch::Equals ? value == rule.Text : value.starts_with(rule.Text);
        if (hit) quirks |= rule.Quirks;
    }
    ForceUnderrunCapable = (quirks & kForceUnderrun) != 0;
    SetLinkSizeValid = (quirks & kLinkSizeValid) != 0;
    SlowReadyModel.store((quirks & kSlowReadyModel) != 0);
    SlowReadyDrive = (quirks & kSlowReadyDrive) != 0;
    ImmediateClose.store((quirks & kNoImmediateClose) == 0 || SlowReadyDrive);
}

}  // namespace kv
