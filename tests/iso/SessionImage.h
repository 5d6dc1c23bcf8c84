// A burner image laid out for a disc write whose session start and medium come from stand-ins
// for the drive.
#pragma once
#include <cstdint>

#include "iso/TBurnerImage.h"

namespace kv::test {

class TSessionImage : public TBurnerImage {
public:
    void BuildForBurn(uint32_t start, bool found = true) {
        start_ = start;
        found_ = found;
        layoutForBurn_ = true;
        BuildLayout(false, nullptr);
        layoutForBurn_ = false;
    }
    bool DvdMedium = true;
    bool UdfAllowed = true;  // what the disc says of an anchor at sector 256

protected:
    bool FindSessionStart(uint32_t& sessionStart) override {
        sessionStart = start_;
        return found_;
    }
    bool IsDvdOrBdMedium() override { return DvdMedium; }
    bool UdfAppendAllowed(uint32_t) override { return UdfAllowed; }

private:
    uint32_t start_ = 0;
    bool found_ = true;
};

}  // namespace kv::test
