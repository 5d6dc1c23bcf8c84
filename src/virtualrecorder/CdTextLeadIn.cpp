#include "virtualrecorder/CdTextLeadIn.h"

#include <istream>
#include <ostream>

#include "platform/ByteOrder.h"
#include "virtualrecorder/MediumKinds.h"

namespace kv::vr {
namespace {

constexpr size_t kSubchannelBytesPerPack = kCdTextLeadInBlockBytes / kCdTextPacksPerBlock;
constexpr size_t kMaxRoundPacks = 8 * 256;  // eight blocks of 256 packs
constexpr uint8_t kSubchannelFromHost = 0x40;

}  // namespace

TSense TCdTextReceiver::Take(const uint8_t* blocks, uint32_t count) {
    for (size_t i = 0; i < size_t{count} * kCdTextPacksPerBlock; ++i) {
        const TSense s = TakePack(CdTextPackFromSubchannel(blocks + i * kSubchannelBytesPerPack));
        if (!s.Good()) return s;
    }
    return sense::kGood;
}

TSense TCdTextReceiver::TakePack(const TCdTextPack& pack) {
    if (!CdTextPackCrcGood(pack) || pack[0] < 0x80 || pack[0] > 0x8F) return sense::kInvalidFieldInParameters;
    if (repeating_) {
        if (pack != packs_[repeatAt_]) return sense::kInvalidFieldInParameters;
        repeatAt_ = (repeatAt_ + 1) % packs_.size();
        return sense::kGood;
    }
    if (packs_.empty()) {
        if (pack[2] != 0 || CdTextPackBlock(pack) != 0) return sense::kInvalidFieldInParameters;
    } else if (pack == packs_.front()) {
        repeating_ = true;
        repeatAt_ = 1 % packs_.size();
        return sense::kGood;
    } else {
        const TCdTextPack& last = packs_.back();
        const bool sameBlock = CdTextPackBlock(pack) == CdTextPackBlock(last) && pack[2] == uint8_t(last[2] + 1) &&
                               pack[2] != 0;
        const bool nextBlock = CdTextPackBlock(pack) == CdTextPackBlock(last) + 1 && pack[2] == 0;
        if ((!sameBlock && !nextBlock) || packs_.size() >= kMaxRoundPacks) return sense::kInvalidFieldInParameters;
    }
    packs_.push_back(pack);
    return sense::kGood;
}

TCdTextCueRequest TakeCdTextCueRequest(std::vector<uint8_t>& sheet) {
    TCdTextCueRequest request;
    for (size_t at = 0; at + 8 <= sheet.size(); at += 8) {
        uint8_t* e = sheet.data() + at;
        if ((e[0] & 0x0F) != 1 || e[1] != 0x00) continue;
        request.Requested = (e[3] & kSubchannelFromHost) != 0;
        if (request.Requested && e[5] >= 90 && e[5] <= 99 && e[6] < 60 && e[7] < 75) {
            request.AtLeadInStart = true;
            request.LeadInStart = MsfToLba(e[5], e[6], e[7]);
        }
        e[3] &= static_cast<uint8_t>(~kSubchannelFromHost);
        if (request.Requested) e[5] = e[6] = e[7] = 0;
        break;
    }
    return request;
}

void WriteCdTextLines(std::ostream& out, const std::vector<TCdTextPack>& packs) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (const TCdTextPack& p : packs) {
        out << "cdtext ";
        for (const uint8_t b : p) out << kHex[b >> 4] << kHex[b & 0x0F];
        out << '\n';
    }
}

bool ParseCdTextLine(std::istream& fields, std::vector<TCdTextPack>& packs) {
    std::string hex;
    if (!(fields >> hex) || hex.size() != 2 * kCdTextPackBytes || packs.size() >= kMaxRoundPacks) return false;
    TCdTextPack p{};
    for (size_t i = 0; i < kCdTextPackBytes; ++i) {
        int value = 0;
        for (const char c : {hex[2 * i], hex[2 * i + 1]}) {
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (digit < 0) return false;
            value = value * 16 + digit;
        }
        p[i] = static_cast<uint8_t>(value);
    }
    packs.push_back(p);
    return true;
}

std::vector<uint8_t> CdTextTocReply(const std::vector<TCdTextPack>& packs) {
    std::vector<uint8_t> r(4, 0);
    for (const TCdTextPack& p : packs) r.insert(r.end(), p.begin(), p.end());
    PutBE16(r.data(), static_cast<uint16_t>(r.size() - 2));
    return r;
}

}  // namespace kv::vr
