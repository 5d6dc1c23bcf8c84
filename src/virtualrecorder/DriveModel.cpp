#include "virtualrecorder/DriveModel.h"

#include <cstdlib>
#include <sstream>

namespace kv::vr {

bool TDriveModel::ApplyQuirks(const std::string& list, std::string& error) {
    std::istringstream in(list);
    std::string q;
    while (std::getline(in, q, ',')) {
        if (q.empty()) continue;
        if (q == "page30")
            JustLinkPage = true;
        else if (q == "cdtextmsf")
            CdTextAtLeadInStart = true;
        else if (q == "nocdtext")
            NoCdText = true;
        else if (q == "fffd0001")
            BlankCdrFfdQuirk = true;
        else if (q == "longwrite")
            LongWriteNotReady = true;
        else if (q == "bufferfull")
            BufferFullNotReady = true;
        else if (q == "attention")
            MediumChangeAttention = true;
        else if (q == "cdonly")
            Dvd = Bd = BdWrite = false;
        else if (q == "nobd")
            Bd = BdWrite = false;
        else if (q == "nobdwrite")
            BdWrite = false;
        else if (q == "nobuf")
            UnderrunFree = false;
        else if (q == "notestwrite")
            TestWrite = false;
        else if (q == "nospeedlimit")
            SpeedLimit = false;
        else {
            error = "unknown virtual recorder quirk '" + q + "'";
            return false;
        }
    }
    return true;
}

TDriveModel TDriveModel::FromEnvironment() {
    TDriveModel model;
    if (const char* id = std::getenv("KELVADORE_VR_IDENTITY")) {
        std::istringstream in(id);
        std::string v, p, r;
        std::getline(in, v, '/');
        std::getline(in, p, '/');
        std::getline(in, r, '/');
        if (!v.empty()) model.Vendor = v;
        if (!p.empty()) model.Product = p;
        if (!r.empty()) model.Revision = r;
    }
    if (const char* quirks = std::getenv("KELVADORE_VR_QUIRKS")) {
        std::string ignored;
        model.ApplyQuirks(quirks, ignored);
    }
    if (const char* spinUp = std::getenv("KELVADORE_VR_SPINUP_MS")) {
        char* end = nullptr;
        const unsigned long ms = std::strtoul(spinUp, &end, 10);
        if (end != spinUp && *end == '\0' && ms <= 600000) model.SpinUpMs = static_cast<uint32_t>(ms);
    }
    return model;
}

}  // namespace kv::vr
