#include <gtest/gtest.h>

#include <set>

#include "device/AscTable.h"
#include "device/SCSIDevice.h"

namespace kv::test {
namespace {

// A failed execute request with the given status bytes and fixed-format sense.
struct TFailure {
    TSRB srb;
    TFailure(uint8_t status, uint8_t host, uint8_t target) {
        srb.SetStatus(status);
        srb.SetHostStatus(host);
        srb.SetTargetStatus(target);
    }
    TFailure& Sense(uint8_t code, uint8_t flagsAndKey, uint8_t additional, uint8_t asc = 0, uint8_t ascq = 0) {
        srb.Sense()[0] = code;
        srb.Sense()[2] = flagsAndKey;
        srb.Sense()[7] = additional;
        srb.Sense()[12] = asc;
        srb.Sense()[13] = ascq;
        return *this;
    }
};

std::string Decode(TSCSIDevice& d, const TFailure& f) {
    d.DecodeFailure(f.srb);
    return d.LastError();
}

TEST(StatusText, EveryStatusHostAndTargetCode) {
    TSCSIDevice d;
    const std::vector<std::pair<uint8_t, std::string>> statuses = {
        {0x00, ""}, {0x01, ""}, {0x02, "OPERATION ABORTED BY USER"}, {0x03, "OPERATION ABORTED BY USER"},
        {0x80, "INVALID REQUEST"}, {0x81, "INVALID HOST ADAPTER"}, {0x82, "NO DEVICE"}, {0xE0, "INVALID SRB"},
        {0xE1, "BUFFER ALIGNMENT"}, {0xE2, "UNKNOWN"}, {0xE5, "ASPI IS BUSY"}, {0xE6, "BUFFER TOO BIG"},
        {0xE8, "UNKNOWN"}, {0x05, "UNKNOWN"},
    };
    for (const auto& [status, text] : statuses) EXPECT_EQ(d.StatusText(status, 0, 0), text) << int(status);

    const std::vector<std::pair<uint8_t, std::string>> hosts = {
        {0x09, "COMMAND TIMEOUT"}, {0x0B, "SRB TIMEOUT"}, {0x0D, "MESSAGE REJECT"}, {0x0E, "BUS RESET"},
        {0x0F, "PARITY ERROR"}, {0x10, "REQUEST SENSE FAILED"}, {0x11, "SELECTION TIMEOUT"},
        {0x12, "DATA OVERRUN"}, {0x13, "UNEXPECTED BUS FREE"}, {0x0A, "UNKNOWN"},
    };
    for (const auto& [host, text] : hosts) EXPECT_EQ(d.StatusText(0x04, host, 0x08), text) << int(host);
    EXPECT_FALSE(d.TargetBusy()) << "a host failure is not a busy target";

    const std::vector<std::pair<uint8_t, std::string>> targets = {
        {0x00, "CHECK CONDITION"}, {0x02, "CHECK CONDITION"}, {0x18, "TARGET RESERVATION CONFLICT"},
        {0x28, "TARGET QUEUE FULL"}, {0x04, "UNKNOWN"},
    };
    for (const auto& [target, text] : targets) EXPECT_EQ(d.StatusText(0x04, 0, target), text) << int(target);
    EXPECT_EQ(d.StatusText(0x04, 0, 0x08), "TARGET BUSY");
    EXPECT_TRUE(d.TargetBusy());
    d.StatusText(0x04, 0, 0x02);
    EXPECT_FALSE(d.TargetBusy());
}

TEST(DecodeFailure, EverySenseKey) {
    TSCSIDevice d;
    const char* expected[16] = {"NO ADDITIONAL SENSE INFORMATION", "RECOVERED ERROR", "NOT READY", "MEDIUM ERROR",
                                "HARDWARE ERROR", "ILLEGAL REQUEST", "UNIT ATTENTION", "DATA PROTECT",
                                "ERASE CHECK", "CHECK CONDITION", "COPYABORTED", "ABORTED COMMAND",
                                "CHECK CONDITION", "VOLUME OVERFLOW", "MISCOMPARE", "RESERVED"};
    for (uint8_t key = 0; key < 16; ++key)
        EXPECT_EQ(Decode(d, TFailure(4, 0, 2).Sense(0x70, key, 0)), expected[key]) << int(key);
    EXPECT_EQ(Decode(d, TFailure(4, 0, 2).Sense(0x70, 0xA0, 0)), "FILEMARK") << "bits 7 and 5";
    EXPECT_EQ(Decode(d, TFailure(4, 0, 2).Sense(0x70, 0x60, 0)), "END OF MEDIA");
    EXPECT_EQ(Decode(d, TFailure(4, 0, 2).Sense(0x70, 0x20, 0)), "ILLEGAL LENGTH");
    // Key bits only: the flag bits do not change the text of a non-zero key.
    EXPECT_EQ(Decode(d, TFailure(4, 0, 2).Sense(0x70, 0xE5, 0)), "ILLEGAL REQUEST");
}

TEST(DecodeFailure, ResponseCodesAdditionalTextAndSenseCopy) {
    TSCSIDevice d;
    EXPECT_EQ(Decode(d, TFailure(4, 0, 2).Sense(0x71, 2, 10, 0x3A, 0)), "NOT READY (MEDIUM NOT PRESENT)");
    EXPECT_EQ(Decode(d, TFailure(4, 0, 2).Sense(0xF0, 5, 10, 0x24, 0)), "ILLEGAL REQUEST (INVALID FIELD IN CDB)");
    EXPECT_EQ(Decode(d, TFailure(4, 0, 2).Sense(0xF1, 3, 0)), "MEDIUM ERROR");
    EXPECT_EQ(Decode(d, TFailure(4, 0, 2).Sense(0x72, 2, 0)), "UNKNOWN") << "descriptor format";
    EXPECT_EQ(Decode(d, TFailure(4, 0, 2).Sense(0x00, 2, 0)), "") << "no sense at all";
    EXPECT_EQ(Decode(d, TFailure(4, 0, 0).Sense(0x70, 2, 10, 0x04, 0x05)), "NOT READY (4,5)");
    EXPECT_EQ(Decode(d, TFailure(4, 0, 2).Sense(0x70, 5, 10, 0x32, 0x00)), "ILLEGAL REQUEST (50,0)");
    // The bracket also follows non-sense texts when sense bytes are present.
    EXPECT_EQ(Decode(d, TFailure(4, 0x11, 0).Sense(0, 0, 10, 0x3A, 0)), "SELECTION TIMEOUT (MEDIUM NOT PRESENT)");

    TFailure f(4, 0, 2);
    f.Sense(0x70, 2, 10, 0x04, 0x01);
    f.srb.Sense()[32] = 0x99;
    d.DecodeFailure(f.srb);
    const auto sense = d.LastSense();
    EXPECT_EQ(sense[12], 0x04);
    EXPECT_EQ(sense[13], 0x01);
    EXPECT_EQ(sense[32], 0x99) << "all 33 bytes of the sense area";
}

TEST(AscText, TableHasExactlyTheKnownPairs) {
    EXPECT_EQ(kAscTable.size(), 256u);
    std::set<std::pair<uint8_t, uint8_t>> seen;
    for (const auto& e : kAscTable) {
        EXPECT_TRUE(seen.insert({e.Asc, e.Ascq}).second) << "duplicate " << int(e.Asc) << "/" << int(e.Ascq);
        EXPECT_FALSE(e.Text.empty());
    }
    // Every pair resolves to its own text, first and last included.
    for (const auto& e : kAscTable) EXPECT_EQ(TSCSIDevice::AscText(e.Asc, e.Ascq), e.Text);
}

TEST(AscText, SpotChecksAndDecimalFallBack) {
    EXPECT_EQ(TSCSIDevice::AscText(0x04, 0x08), "LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS");
    EXPECT_EQ(TSCSIDevice::AscText(0x08, 0x03), "LOGICAL UNIT COMMUNICATION CRC ERROR (ULTRA-DMA/32)");
    EXPECT_EQ(TSCSIDevice::AscText(0x18, 0x01), "RECOVERED DATA WITH ERROR CORR. & RETRIES APPLIED");
    EXPECT_EQ(TSCSIDevice::AscText(0x21, 0x02), "INVALID ADDRESS FOR WRITE");
    EXPECT_EQ(TSCSIDevice::AscText(0x3A, 0x00), "MEDIUM NOT PRESENT");
    EXPECT_EQ(TSCSIDevice::AscText(0x5D, 0xFF), "FAILURE PREDICTION THRESHOLD EXCEEDED (FALSE)");
    EXPECT_EQ(TSCSIDevice::AscText(0x73, 0x03), "POWER CALIBRATION AREA ERROR");
    EXPECT_EQ(TSCSIDevice::AscText(0x04, 0x05), "4,5");
    EXPECT_EQ(TSCSIDevice::AscText(0x32, 0x00), "50,0");
    EXPECT_EQ(TSCSIDevice::AscText(0xFF, 0xFF), "255,255");
    EXPECT_EQ(TSCSIDevice::AscText(0x73, 0x07), "115,7");
}

}  // namespace
}  // namespace kv::test
