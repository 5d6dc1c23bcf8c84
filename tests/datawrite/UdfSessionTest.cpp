// UDF sessions on the virtual recorder: what an appended session changes where readers look, and
// what a failure between the last two writes of an overwritable disc leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "BurnTestDrive.h"
#include "iso/UdfDetect.h"
#include "iso/UdfPrimitives.h"
#include "platform/ByteOrder.h"

namespace kv::test {
namespace {

using vr::EMediumKind;

constexpr uint8_t kWrite10Command = 0x2A;

struct TWrite {
    uint32_t Lba = 0;
    int Sectors = 0;
    bool operator==(const TWrite&) const = default;
};

std::vector<TWrite> Writes(const TLoggingDrive& drive) {
    std::vector<TWrite> out;
    for (const auto& c : drive.Sent(kWrite10Command))
        if (c.Good) out.push_back({GetBE32(c.Cdb.data() + 2), GetBE16(c.Cdb.data() + 7)});
    return out;
}

class UdfSessionTest : public ::testing::Test {
protected:
    explicit UdfSessionTest(EMediumKind kind = EMediumKind::DvdPlusRw) : t(kind) {
        t.Burner->UdfChoice = TUdfChoice::Auto;
        const std::string a = t.Dir.File("src/a.bin", 100000, 3);
        EXPECT_GE(t.Burner->AddFile("\\", a, "A.BIN", "a.bin"), 0);
    }
    std::vector<uint8_t> Read(uint32_t sector) {
        std::vector<uint8_t> data(2048);
        EXPECT_TRUE(t.Burner->ReadSectors(sector, 1, 2048, data.data())) << sector;
        return data;
    }
    // Where the volume at sector 16 ends: the next session's start on an overwritable disc.
    uint32_t VolumeEnd() { return GetLE32(Read(16).data() + 80); }
    // The main sequence the anchor at `sector` points at; 0 when it holds none.
    uint32_t AnchoredSequence(uint32_t sector) {
        const std::vector<uint8_t> anchor = Read(sector);
        return IsValidUdfTag(anchor.data(), anchor.size(), kUdfTagAnchor, sector)
                   ? GetLE32(anchor.data() + 20)
                   : 0;
    }
    TBurnTestDrive t;
};

TEST_F(UdfSessionTest, OnADvdPlusRwTheAnchorAt256FollowsTheDescriptorCopyAsTheLastWrite) {
    ASSERT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    EXPECT_EQ(AnchoredSequence(256), 32u);
    const uint32_t second = VolumeEnd();
    t.Drive->ClearLog();
    ASSERT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    EXPECT_EQ(t.Burner->Layout().SessionStart, second);
    const std::vector<TWrite> writes = Writes(*t.Drive);
    ASSERT_GE(writes.size(), 3u);
    // The session, then the copy of its first 32 sectors (ISO descriptors and UDF recognition
    // sequence) to sector 0, then the whole write unit holding sector 256.
    EXPECT_EQ(writes[writes.size() - 2], (TWrite{0, 32}));
    EXPECT_EQ(writes.back(), (TWrite{256, 32}));
    EXPECT_TRUE(
        std::all_of(writes.begin(), writes.end() - 2, [&](const TWrite& w) { return w.Lba >= second; }));
    EXPECT_EQ(AnchoredSequence(256), second + 32);
    EXPECT_EQ(DetectUdfRevision(*t.Burner, 0), kUdfRevision201);
    // The rest of the rewritten block still belongs to the first session: its file set descriptor.
    const std::vector<uint8_t> fileSet = Read(257);
    EXPECT_TRUE(IsValidUdfTag(fileSet.data(), fileSet.size(), kUdfTagFileSet, 0));
}

TEST_F(UdfSessionTest, AFailedAnchorWriteLeavesEachViewOnAWholeSession) {
    ASSERT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    const size_t sessionWrites = Writes(*t.Drive).size();
    const uint32_t second = VolumeEnd();
    t.Drive->ClearLog();
    std::string error;
    // The same compilation takes as many writes again; then the copy, then the anchor.
    ASSERT_TRUE(
        t.Recorder->Faults().AddScript("WRITE@" + std::to_string(sessionWrites + 2) + "=3/0C/00", error))
        << error;
    EXPECT_NE(t.Run([&] { return t.Burner->BurnCD(); }), "");
    // ISO 9660 readers see the new session; UDF readers the first one, whole.
    EXPECT_EQ(GetLE32(Read(16).data() + 80), t.Burner->Layout().VolumeSpaceSize);
    EXPECT_GT(VolumeEnd(), second);
    EXPECT_EQ(AnchoredSequence(256), 32u);
    EXPECT_EQ(DetectUdfRevision(*t.Burner, 0), kUdfRevision201);
}

TEST_F(UdfSessionTest, AFirstSessionWithoutUdfGetsNoAnchorAt256Later) {
    t.Burner->UdfChoice = TUdfChoice::Off;
    ASSERT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    t.Burner->UdfChoice = TUdfChoice::Auto;
    t.Drive->ClearLog();
    ASSERT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    EXPECT_EQ(t.Burner->Udf(), nullptr);
    // Only the session and the descriptor copy (without a recognition sequence) were written.
    const std::vector<TWrite> writes = Writes(*t.Drive);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back(), (TWrite{0, 32}));
    for (const TWrite& w : writes)
        EXPECT_TRUE(w.Lba == 0 || w.Lba >= t.Burner->Layout().SessionStart) << w.Lba;
    EXPECT_EQ(AnchoredSequence(256), 0u);
    EXPECT_EQ(DetectUdfRevision(*t.Burner, 0), 0);
    const std::vector<std::string> messages = t.Messages();
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [](const std::string& m) {
                                return m.find("FIRST SESSION HAS NO UDF") != std::string::npos;
                            }),
              1);
}

class UdfWriteOnceTest : public UdfSessionTest {
protected:
    UdfWriteOnceTest() : UdfSessionTest(EMediumKind::DvdPlusR) {}
};

TEST_F(UdfWriteOnceTest, EachSessionOfADvdPlusRCarriesItsOwnUdf) {
    ASSERT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    t.Drive->ClearLog();
    ASSERT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    const uint32_t second = t.Burner->Layout().SessionStart;
    ASSERT_GT(second, 256u);
    for (const TWrite& w : Writes(*t.Drive)) EXPECT_GE(w.Lba, second);
    EXPECT_EQ(AnchoredSequence(256), 32u);
    EXPECT_EQ(AnchoredSequence(second + 256), second + 32);
    EXPECT_EQ(DetectUdfRevision(*t.Burner, second), kUdfRevision201);
}

}  // namespace
}  // namespace kv::test
