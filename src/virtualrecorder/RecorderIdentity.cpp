// INQUIRY, GET CONFIGURATION and the mode pages of the virtual recorder.
#include <algorithm>
#include <cstring>

#include "platform/ByteOrder.h"
#include "virtualrecorder/VirtualRecorder.h"

namespace kv::vr {
namespace {

void PutPadded(uint8_t* p, const std::string& text, size_t width) {
    std::memset(p, ' ', width);
    std::memcpy(p, text.data(), std::min(text.size(), width));
}

struct TFeature {
    uint16_t Code;
    bool Persistent;
    bool Current;
    uint8_t Version;
    std::vector<uint8_t> Data;
};

bool IsCdKind(EMediumKind k) {
    return Traits(k).Cd;
}

}  // namespace

TSense TVirtualRecorder::CmdInquiry(TCmd& c) {
    if (c.Cdb[1] & 0x01) return sense::kInvalidFieldInCdb;  // no vital product data pages
    c.Allocation = GetBE16(c.Cdb + 3);
    c.Reply.assign(96, 0);
    c.Reply[0] = 0x05;  // CD/DVD device, connected
    c.Reply[1] = 0x80;  // removable
    c.Reply[2] = 0x05;
    c.Reply[3] = 0x02;
    c.Reply[4] = 96 - 5;
    PutPadded(&c.Reply[8], model_.Vendor, 8);
    PutPadded(&c.Reply[16], model_.Product, 16);
    PutPadded(&c.Reply[32], model_.Revision, 4);
    PutBE16(&c.Reply[58], 0x02A0);  // version descriptor: MMC-3
    return sense::kGood;
}

TSense TVirtualRecorder::CmdGetConfiguration(TCmd& c) {
    const uint8_t rt = c.Cdb[1] & 0x03;
    const uint16_t first = GetBE16(c.Cdb + 2);
    if (rt == 3) return sense::kInvalidFieldInCdb;
    c.Allocation = GetBE16(c.Cdb + 7);
    // A CD-only drive sees no usable medium in a DVD.
    const bool present = medium_ && !trayOpen_ && (model_.Dvd || medium_->Traits().Cd);
    const EMediumKind kind = present ? medium_->State().Kind : EMediumKind::CdRom;
    auto is = [&](std::initializer_list<EMediumKind> kinds) {
        return present && std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
    };
    const uint16_t profile = present ? medium_->Traits().Profile : 0;
    const bool bd = present && IsBluRay(kind);
    const bool bdReFormatted = is({EMediumKind::BdRe, EMediumKind::BdReDualLayer}) && medium_->State().Formatted;
    const uint8_t buf = model_.UnderrunFree ? 0x40 : 0;
    const uint8_t test = model_.TestWrite ? 0x04 : 0;

    std::vector<TFeature> features;
    std::vector<uint8_t> profiles;
    std::vector<uint16_t> supported =
        model_.Dvd ? std::vector<uint16_t>{0x002B, 0x001B, 0x001A, 0x0014, 0x0013, 0x0012,
                                           0x0011, 0x0010, 0x000A, 0x0009, 0x0008}
                   : std::vector<uint16_t>{0x000A, 0x0009, 0x0008};
    // Highest profile first, as drives list them. BD-R random recording (0042h) is left out: the
    // recorder formats BD-R for sequential recording only.
    if (model_.Bd) supported.insert(supported.begin(), {0x0043, 0x0041, 0x0040});
    for (uint16_t p : supported) {
        profiles.push_back(static_cast<uint8_t>(p >> 8));
        profiles.push_back(static_cast<uint8_t>(p));
        profiles.push_back(p == profile ? 0x01 : 0x00);
        profiles.push_back(0);
    }
    features.push_back({0x0000, true, true, 0, profiles});
    features.push_back({0x0001, true, true, 1, {0, 0, 0, 2, 0x01, 0, 0, 0}});  // ATAPI, DBE
    features.push_back({0x0002, true, true, 1, {0x02, 0, 0, 0}});
    features.push_back({0x0003, true, true, 0, {0x29, 0, 0, 0}});  // tray, eject, lock
    features.push_back({0x0010,
                        false,
                        present,
                        0,
                        {0, 0, 0x08, 0x00, 0, IsCdKind(kind) ? uint8_t{1} : bd ? uint8_t{32} : uint8_t{16}, 0x01, 0}});
    features.push_back({0x001D, false, present && IsCdKind(kind), 0, {}});
    features.push_back({0x001E, false, present && IsCdKind(kind), 2, {0, 0, 0, 0}});
    if (model_.Dvd) features.push_back({0x001F, false, present && !IsCdKind(kind) && !bd, 0, {}});
    if (model_.Dvd) {
        // A formatted BD-RE is written in place like DVD-RAM (the kernel opens it for writing then).
        std::vector<uint8_t> rw(12, 0);
        if (is({EMediumKind::DvdRam})) PutBE32(&rw[0], medium_->State().Capacity - 1);
        if (bdReFormatted) PutBE32(&rw[0], medium_->State().FormattedBlocks - 1);
        PutBE32(&rw[4], 2048);
        PutBE16(&rw[8], bd ? 32 : 16);
        features.push_back({0x0020, false, is({EMediumKind::DvdRam}) || bdReFormatted, 0, rw});
    }
    {
        // Data block types 0, 8, 10 and 13; one link size (7 on CD, 16 on DVD-R).
        const bool cd = !present || IsCdKind(kind);
        const bool current = is({EMediumKind::CdR, EMediumKind::CdRw, EMediumKind::DvdR}) ||
                             (is({EMediumKind::DvdRwSequential}) && !medium_->State().DaoOnly);
        features.push_back({0x0021,
                            false,
                            current,
                            1,
                            {0x25, 0x01, static_cast<uint8_t>(model_.UnderrunFree ? 0x01 : 0), 1,
                             static_cast<uint8_t>(cd ? 7 : 16), 0, 0, 0}});
    }
    if (model_.Dvd) {
        // On BD: full and quick certification and the no-spare format (Cert, QCert, RENoSA); a
        // BD-R only while it is blank.
        const bool blankBdR = is({EMediumKind::BdR, EMediumKind::BdRDualLayer}) && medium_->IsBlank() &&
                              !medium_->State().Formatted;
        features.push_back({0x0023,
                            false,
                            is({EMediumKind::DvdPlusRw, EMediumKind::DvdRwSequential, EMediumKind::DvdRwRestricted,
                                EMediumKind::DvdRam, EMediumKind::BdRe, EMediumKind::BdReDualLayer}) ||
                                blankBdR,
                            1,
                            {static_cast<uint8_t>(model_.Bd ? 0x0B : 0), 0, 0, 0, 0, 0, 0, 0}});
        features.push_back({0x0024, false, is({EMediumKind::DvdRam}) || bdReFormatted, 0, {0x80, 0, 0, 0}});
        features.push_back({0x0026, false, is({EMediumKind::DvdRwRestricted}), 0, {}});
        features.push_back({0x002A, false, is({EMediumKind::DvdPlusRw}), 0, {0x01, 0, 0, 0}});
        features.push_back(
            {0x002B, false, is({EMediumKind::DvdPlusR, EMediumKind::DvdPlusRDualLayer}), 0, {0x01, 0, 0, 0}});
        features.push_back({0x002C, false, is({EMediumKind::DvdRwRestricted}), 0, {0x0F, 0, 0, 0}});
    }
    features.push_back({0x002D,
                        false,
                        is({EMediumKind::CdR, EMediumKind::CdRw}),
                        2,
                        {static_cast<uint8_t>(buf | test | 0x02), 0, 0x25, 0x01}});
    features.push_back({0x002E,
                        false,
                        is({EMediumKind::CdR, EMediumKind::CdRw}),
                        0,
                        {static_cast<uint8_t>(buf | 0x20 | test | 0x02), 0x00, 0xFF, 0xFF}});
    if (model_.Dvd) {
        features.push_back({0x002F,
                            false,
                            is({EMediumKind::DvdR, EMediumKind::DvdRwSequential}),
                            1,
                            {static_cast<uint8_t>(buf | test | 0x02), 0, 0, 0}});
        features.push_back({0x003B, false, is({EMediumKind::DvdPlusRDualLayer}), 0, {0x01, 0, 0, 0}});
    }
    if (model_.Bd) {
        // Class 0 bitmaps: BD-RE versions 0-2, BD-R and BD-ROM versions 0-1.
        std::vector<uint8_t> read(28, 0);
        read[5] = 0x07;
        read[13] = 0x03;
        read[21] = 0x03;
        features.push_back({0x0040, false, bd, 1, read});
    }
    if (model_.BdWrite) {
        std::vector<uint8_t> write(20, 0);
        write[5] = 0x07;
        write[13] = 0x03;
        features.push_back({0x0041, false, bd && !medium_->Traits().Pressed, 1, write});
    }
    features.push_back({0x0100, true, true, 0, {}});
    features.push_back(
        {0x0107, false, present, 3, {0x03, 0, 0, 0}});  // SET STREAMING, write speed performance

    c.Reply.assign(8, 0);
    PutBE16(&c.Reply[6], profile);
    for (const auto& f : features) {
        const bool wanted = rt == 2 ? f.Code == first : f.Code >= first && (rt == 0 || f.Current);
        if (!wanted) continue;
        c.Reply.push_back(static_cast<uint8_t>(f.Code >> 8));
        c.Reply.push_back(static_cast<uint8_t>(f.Code));
        c.Reply.push_back(
            static_cast<uint8_t>((f.Version << 2) | (f.Persistent ? 0x02 : 0) | (f.Current ? 0x01 : 0)));
        c.Reply.push_back(static_cast<uint8_t>(f.Data.size()));
        c.Reply.insert(c.Reply.end(), f.Data.begin(), f.Data.end());
    }
    PutBE32(&c.Reply[0], static_cast<uint32_t>(c.Reply.size() - 4));
    return sense::kGood;
}

// --- mode pages ----------------------------------------------------------------------------------

std::vector<uint8_t> TVirtualRecorder::WriteParametersPage(uint8_t pageControl) const {
    std::vector<uint8_t> page(page05_.begin(), page05_.end());
    if (pageControl == 1) {  // changeable bits
        std::fill(page.begin() + 2, page.end(), 0xFF);
        page[2] = model_.UnderrunFree ? 0x7F : 0x3F;
        page[4] = 0x0F;
        page[6] = page[9] = 0;
    } else if (pageControl == 2) {
        std::fill(page.begin() + 2, page.end(), 0);
        page[2] = model_.UnderrunFree ? 0x41 : 0x01;
        page[3] = 0x04;
        page[4] = 0x08;
        PutBE16(&page[14], 150);
    }
    return page;
}

std::vector<uint8_t> TVirtualRecorder::CapabilitiesPage(uint8_t pageControl) const {
    const auto speeds = WriteSpeeds();
    std::vector<uint8_t> p(32, 0);
    p[0] = 0x2A;
    p[1] = static_cast<uint8_t>(30 + 4 * speeds.size());
    if (pageControl == 1) {
        p.resize(32 + 4 * speeds.size(), 0);
        return p;  // nothing in this page is changeable
    }
    p[2] = model_.Dvd ? 0x3F : 0x07;
    p[3] = static_cast<uint8_t>((model_.Dvd ? 0x30 : 0) | (model_.TestWrite ? 0x04 : 0) | 0x03);
    p[4] = static_cast<uint8_t>((model_.UnderrunFree ? 0x80 : 0) | 0x71);
    p[5] = 0x03;
    p[6] = static_cast<uint8_t>(0x28 | (prevented_ ? 0x02 : 0) | 0x01);
    const uint16_t maxRead = static_cast<uint16_t>(MaxReadSpeed());
    const uint32_t maxWrite = MaxWriteSpeed();
    const uint32_t current = pageControl == 2 || writeSpeedKBs_ == 0 ? maxWrite : writeSpeedKBs_;
    PutBE16(&p[8], maxRead);
    PutBE16(&p[10], 256);
    PutBE16(&p[12], static_cast<uint16_t>(model_.BufferBytes / 1024));
    PutBE16(&p[14], maxRead);
    PutBE16(&p[18], static_cast<uint16_t>(std::min<uint32_t>(maxWrite, 0xFFFF)));
    PutBE16(&p[20], static_cast<uint16_t>(std::min<uint32_t>(current, 0xFFFF)));
    PutBE16(&p[28], static_cast<uint16_t>(std::min<uint32_t>(current, 0xFFFF)));
    PutBE16(&p[30], static_cast<uint16_t>(speeds.size()));
    for (uint32_t kbs : speeds) {
        const uint16_t v = static_cast<uint16_t>(std::min<uint32_t>(kbs, 0xFFFF));
        p.insert(p.end(), {0, 0, static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
    }
    return p;
}

std::vector<uint8_t> TVirtualRecorder::JustLinkPage(uint8_t pageControl) const {
    std::vector<uint8_t> p(16, 0);
    p[0] = 0x30;
    p[1] = 0x0E;
    if (pageControl == 1) {
        p[3] = 0x01;
        return p;
    }
    p[2] = 0x01;                               // buffer-underrun-free recording supported
    p[3] = (page05_[2] & 0x40) ? 0x01 : 0x00;  // and enabled while BUFE is set
    return p;
}

TSense TVirtualRecorder::CmdModeSense(TCmd& c) {
    const uint8_t pageControl = c.Cdb[2] >> 6, code = c.Cdb[2] & 0x3F;
    if (pageControl == 3) return sense::kSavingNotSupported;
    c.Allocation = GetBE16(c.Cdb + 7);
    std::vector<uint8_t> pages;
    auto add = [&](const std::vector<uint8_t>& p) { pages.insert(pages.end(), p.begin(), p.end()); };
    switch (code) {
        case 0x05:
            add(WriteParametersPage(pageControl));
            break;
        case 0x2A:
            add(CapabilitiesPage(pageControl));
            break;
        case 0x30:
            if (!model_.JustLinkPage) return sense::kInvalidFieldInCdb;
            add(JustLinkPage(pageControl));
            break;
        case 0x3F:
            add(WriteParametersPage(pageControl));
            add(CapabilitiesPage(pageControl));
            if (model_.JustLinkPage) add(JustLinkPage(pageControl));
            break;
        default:
            return sense::kInvalidFieldInCdb;
    }
    c.Reply.assign(8, 0);
    c.Reply.insert(c.Reply.end(), pages.begin(), pages.end());
    PutBE16(&c.Reply[0], static_cast<uint16_t>(c.Reply.size() - 2));
    return sense::kGood;
}

TSense TVirtualRecorder::CmdModeSelect(TCmd& c) {
    if (!(c.Cdb[1] & 0x10)) return sense::kInvalidFieldInCdb;  // only page-format data
    if (c.Cdb[1] & 0x01) return sense::kInvalidFieldInCdb;     // pages cannot be saved
    const uint16_t length = GetBE16(c.Cdb + 7);
    if (length == 0) return sense::kGood;
    if (c.OutLength() < length || length < 8) return sense::kParameterListLength;
    const uint8_t* d = c.Out();
    const size_t pageAt = 8 + size_t{GetBE16(d + 6)};
    if (pageAt + 2 > length) return sense::kParameterListLength;
    const uint8_t* p = d + pageAt;
    const uint8_t code = p[0] & 0x3F;
    const size_t pageLength = p[1];
    if (pageAt + 2 + pageLength > length) return sense::kParameterListLength;
    if (code == 0x30 && model_.JustLinkPage) return sense::kGood;
    if (code != 0x05) return sense::kInvalidFieldInParameters;
    // Page 05h: MMC-3 length 32h (MMC-5 drives accept 36h). Values this drive cannot honour are
    // refused as a real drive does, before anything changes.
    if (pageLength != 0x32 && pageLength != 0x36) return sense::kInvalidFieldInParameters;
    const uint8_t writeType = p[2] & 0x0F, multiSession = p[3] >> 6, blockType = p[4] & 0x0F;
    const bool fixedPacket = p[3] & 0x20;
    if (writeType > 2) return sense::kInvalidFieldInParameters;  // no raw or layer-jump recording
    if (multiSession == 2) return sense::kInvalidFieldInParameters;
    static constexpr uint16_t kBlockTypes =
        (1u << 0) | (1u << 8) | (1u << 9) | (1u << 10) | (1u << 11) | (1u << 12) | (1u << 13);
    // Raw blocks with P-W (2, 3) only from a drive that wants them for a CD-TEXT lead-in.
    const bool rawWithPw = model_.CdTextAtLeadInStart && (blockType == 2 || blockType == 3);
    if (!(kBlockTypes & (1u << blockType)) && !rawWithPw) return sense::kInvalidFieldInParameters;
    if (writeType == 0 && fixedPacket && GetBE32(p + 10) == 0) return sense::kInvalidFieldInParameters;
    if ((p[2] & 0x10) && !model_.TestWrite) return sense::kInvalidFieldInParameters;
    if ((p[2] & 0x40) && !model_.UnderrunFree) return sense::kInvalidFieldInParameters;
    if (p[8] != 0x00 && p[8] != 0x10 && p[8] != 0x20) return sense::kInvalidFieldInParameters;
    std::copy(p + 2, p + 52, page05_.begin() + 2);
    page05_[0] = 0x05;
    page05_[1] = 0x32;
    return sense::kGood;
}

}  // namespace kv::vr
