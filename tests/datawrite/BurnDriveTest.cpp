// Data writes to the virtual recorder: what reaches the disc and which commands frame it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <thread>

#include "BurnTestDrive.h"
#include "datawrite/DriveWriteTarget.h"
#include "platform/ByteOrder.h"
#include "virtualrecorder/Medium.h"

namespace kv::test {
namespace {

using vr::EMediumKind;

constexpr uint8_t kWrite10 = 0x2A;
constexpr uint8_t kCloseTrack = 0x5B;
constexpr uint8_t kReserveTrack = 0x53;
constexpr uint8_t kFormatUnit = 0x04;

std::vector<int> WriteCounts(const TLoggingDrive& drive) {
    std::vector<int> counts;
    for (const auto& c : drive.Sent(kWrite10))
        if (c.Good) counts.push_back(GetBE16(c.Cdb.data() + 7));
    return counts;
}

// (immediate, function, byte 5) of every CLOSE TRACK/SESSION sent.
std::vector<std::array<int, 3>> Closes(const TLoggingDrive& drive) {
    std::vector<std::array<int, 3>> out;
    for (const auto& c : drive.Sent(kCloseTrack)) out.push_back({c.Cdb[1] & 1, c.Cdb[2] & 7, c.Cdb[5]});
    return out;
}

// A small compilation: one file of `size` bytes and one in a folder.
void AddCompilation(TBurnTestDrive& t, int64_t size = 100000) {
    const std::string a = t.Dir.File("src/a.bin", size, 3);
    const std::string b = t.Dir.File("src/sub/b.txt", 5000, 9);
    ASSERT_GE(t.Burner->AddFile("\\", a, "A.BIN", "a.bin"), 0);
    TFileDescription d;
    d.Name = "sub";
    d.ShortName = "SUB";
    d.Attributes = kAttrDirectory;
    ASSERT_NE(t.Burner->AddDirEntry(t.Burner->Root(), d), nullptr);
    ASSERT_GE(t.Burner->AddFile("\\sub", b, "B.TXT", "b.txt"), 0);
}

bool HasPattern(const std::vector<uint8_t>& image, const std::vector<uint8_t>& file) {
    if (file.empty()) return false;
    for (size_t at = 0; at + file.size() <= image.size(); at += 2048)
        if (std::memcmp(image.data() + at, file.data(), file.size()) == 0) return true;
    return false;
}

struct TMediumCase {
    EMediumKind Kind;
    std::vector<std::array<int, 3>> ExpectedCloses;
};

class BurnEveryMedium : public ::testing::TestWithParam<TMediumCase> {};

TEST_P(BurnEveryMedium, CompilationArrivesAndTheDiscIsClosedTheWayTheMediumNeeds) {
    const TMediumCase& c = GetParam();
    TBurnTestDrive t(c.Kind);
    AddCompilation(t);
    EXPECT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    EXPECT_EQ(t.Reports(), 1);
    EXPECT_EQ(t.Finalizing(), 1);
    EXPECT_EQ(Closes(*t.Drive), c.ExpectedCloses);
    EXPECT_EQ(t.Burner->BytesWritten(), 300 * 2048);
    EXPECT_EQ(t.Burner->DeviceBufferSize.load(), 0u);
    EXPECT_EQ(t.Burner->CurrentFile(), "");
    // A first session holds its descriptors at sector 16 itself: nothing else goes to sector 0.
    const auto writes = t.Drive->Sent(kWrite10);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(std::count_if(writes.begin(), writes.end(), [](const auto& w) { return w.Good && GetBE32(w.Cdb.data() + 2) == 0; }), 1);

    const auto image = t.Exported();
    ASSERT_GE(image.size(), 17u * 2048);
    EXPECT_EQ(std::memcmp(image.data() + 16 * 2048 + 1, "CD001", 5), 0);
    EXPECT_TRUE(HasPattern(image, ReadAll(t.Dir.Path("src/a.bin"))));
    EXPECT_TRUE(HasPattern(image, ReadAll(t.Dir.Path("src/sub/b.txt"))));
}

INSTANTIATE_TEST_SUITE_P(
    Media, BurnEveryMedium,
    ::testing::Values(TMediumCase{EMediumKind::CdR, {{1, 2, 0}}},
                      TMediumCase{EMediumKind::CdRw, {{1, 2, 0}}},
                      TMediumCase{EMediumKind::DvdR, {{1, 1, 1}, {1, 1, 2}, {1, 2, 3}}},
                      TMediumCase{EMediumKind::DvdRwSequential, {{1, 2, 0}}},
                      TMediumCase{EMediumKind::DvdRwRestricted, {{1, 2, 0}}},
                      TMediumCase{EMediumKind::DvdPlusR, {{0, 1, 1}, {0, 2, 0xFF}}},
                      TMediumCase{EMediumKind::DvdPlusRw, {{0, 3, 0xFF}}},
                      TMediumCase{EMediumKind::DvdPlusRDualLayer, {{0, 1, 1}, {0, 2, 0}}},
                      TMediumCase{EMediumKind::DvdRam, {}},
                      TMediumCase{EMediumKind::BdR, {{0, 1, 1}, {0, 2, 0}}},
                      TMediumCase{EMediumKind::BdRDualLayer, {{0, 1, 1}, {0, 2, 0}}},
                      TMediumCase{EMediumKind::BdRe, {}},
                      TMediumCase{EMediumKind::BdReDualLayer, {}}));

TEST(BurnSetup, ClosingTheDiscFinalizesADvdPlusR) {
    TBurnTestDrive t(EMediumKind::DvdPlusR);
    AddCompilation(t);
    t.Burner->FinalizeDisc = true;
    ASSERT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    EXPECT_EQ(Closes(*t.Drive), (std::vector<std::array<int, 3>>{{0, 1, 1}, {0, 6, 0}}));
    TDisc disc;
    t.Burner->GetDiscInformation(disc);
    EXPECT_EQ(disc.DiscStatus, 2);  // complete
}

class LaterSessionOnOverwritable : public ::testing::TestWithParam<EMediumKind> {};

TEST_P(LaterSessionOnOverwritable, CopiesItsDescriptorsToSectorZeroOnlyOnceAllElseIsWritten) {
    TBurnTestDrive t(GetParam());
    AddCompilation(t);
    ASSERT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    // A WRITE failing half-way: sector 0 is left alone.
    t.Drive->ClearLog();
    std::string error;
    ASSERT_TRUE(t.Recorder->Faults().AddScript("WRITE@3=3/0C/00", error)) << error;
    EXPECT_NE(t.Run([&] { return t.Burner->BurnCD(); }), "");
    for (const auto& w : t.Drive->Sent(kWrite10)) EXPECT_NE(GetBE32(w.Cdb.data() + 2), 0u);
    t.Drive->ClearLog();
    ASSERT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    const auto writes = t.Drive->Sent(kWrite10);
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(GetBE32(writes.back().Cdb.data() + 2), 0u);
    EXPECT_TRUE(std::all_of(writes.begin(), writes.end() - 1, [](const auto& w) { return GetBE32(w.Cdb.data() + 2) != 0; }));
    // A BD session starts on a cluster of its own.
    if (GetParam() == EMediumKind::BdRe) {
        EXPECT_EQ(GetBE32(writes.front().Cdb.data() + 2) % 32, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Media, LaterSessionOnOverwritable, ::testing::Values(EMediumKind::DvdPlusRw, EMediumKind::BdRe));

// BD-R: no write parameters page; a new session goes to the invisible track, and "close disc"
// finalizes with 110b.
TEST(BurnSetup, BdRIsAppendedWithoutPageFiveAndFinalizedWith110b) {
    TBurnTestDrive t(EMediumKind::BdR);
    AddCompilation(t);
    ASSERT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    t.Burner->FinalizeDisc = true;
    t.Drive->ClearLog();
    ASSERT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    EXPECT_TRUE(t.Drive->Sent(0x55).empty()) << "MODE SELECT";
    EXPECT_EQ(Closes(*t.Drive), (std::vector<std::array<int, 3>>{{0, 1, 2}, {0, 6, 0}}));
    EXPECT_EQ(GetBE32(t.Drive->Sent(kWrite10).front().Cdb.data() + 2), 320u) << "after the first session's cluster";
    TDisc disc;
    t.Burner->GetDiscInformation(disc);
    EXPECT_EQ(disc.DiscStatus, 2);
    EXPECT_NE(t.Run([&] { return t.Burner->BurnCD(); }), "");
}

// A BD-RE never formatted is formatted before anything is written: 30h with quick certification
// and the listed default spare, 00h where the drive refuses that. It has nothing to close.
TEST(BurnSetup, BdReIsFormattedBeforeItsFirstWrite) {
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused);
        TBurnTestDrive t(EMediumKind::BdRe);
        std::string error;
        if (refused) {
            ASSERT_TRUE(t.Recorder->Faults().AddScript("FORMAT@1=5/26/00", error)) << error;
        }
        ASSERT_EQ(t.Run([&] { return t.Burner->BurnISOImage(t.Dir.File("image.iso", 100 * 2048, 4)); }), "");
        const auto formats = t.Drive->Sent(kFormatUnit);
        ASSERT_EQ(formats.size(), refused ? 2u : 1u);
        EXPECT_EQ(formats[0].DataOut, (std::vector<uint8_t>{0, 0x02, 0, 8, 0x00, 0xB4, 0x74, 0x00, 0xC3, 0x00, 0x30, 0x00}));
        if (refused) {
            EXPECT_EQ(formats[1].DataOut[8], 0x00);
        }
        const auto log = t.Drive->Log();
        const auto format = std::find_if(log.begin(), log.end(), [](const auto& c) { return c.Cdb[0] == kFormatUnit && c.Good; });
        const auto write = std::find_if(log.begin(), log.end(), [](const auto& c) { return c.Cdb[0] == kWrite10; });
        EXPECT_LT(format, write);
        EXPECT_TRUE(t.Drive->Sent(0x55).empty());
        EXPECT_TRUE(Closes(*t.Drive).empty());
    }
}

// A test write would write a BD for real: it is refused before anything reaches the disc.
TEST(BurnSetup, TestWriteOnBluRayIsRefused) {
    for (EMediumKind kind : {EMediumKind::BdR, EMediumKind::BdRe}) {
        TBurnTestDrive t(kind);
        AddCompilation(t);
        t.Burner->TestWrite = true;
        EXPECT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), kBluRayTestWriteText);
        EXPECT_TRUE(t.Drive->Sent(kWrite10).empty());
        EXPECT_TRUE(t.Drive->Sent(kFormatUnit).empty());
    }
}

TEST(BurnBlocks, CdWritesWhole27SectorBlocksAndPadsASmallSessionTo300) {
    TBurnTestDrive t(EMediumKind::CdR);
    AddCompilation(t, 2048 * 100);
    EXPECT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    const auto counts = WriteCounts(*t.Drive);
    ASSERT_EQ(counts.size(), 12u);  // 11 x 27 + 3
    EXPECT_TRUE(std::all_of(counts.begin(), counts.end() - 1, [](int n) { return n == 27; }));
    EXPECT_EQ(counts.back(), 3);
    EXPECT_EQ(t.Burner->BytesWritten(), 614400);
}

TEST(BurnBlocks, DvdCompletesTheLastBlockTo32Sectors) {
    TBurnTestDrive t(EMediumKind::DvdPlusR);
    AddCompilation(t, 2048 * 100);
    EXPECT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    const auto counts = WriteCounts(*t.Drive);
    EXPECT_EQ(counts, std::vector<int>(10, 32));  // 300 sectors in ten ECC blocks
    EXPECT_EQ(t.Burner->BytesWritten(), 614400);
    // No speed chosen: the performance asked for is the drive's fastest, never 0 KB a second.
    const auto streaming = t.Drive->Sent(0xB6);
    ASSERT_FALSE(streaming.empty());
    ASSERT_GE(streaming[0].DataOut.size(), 28u);
    EXPECT_EQ(GetBE32(streaming[0].DataOut.data() + 20),
              static_cast<uint32_t>(t.Burner->DeviceMaxWriteSpeed / 1385.0 * 1440.25));
    EXPECT_GT(GetBE32(streaming[0].DataOut.data() + 20), 0u);
}

TEST(BurnBlocks, DvdMinusRReservesWholeEccBlocksForAnImage) {
    TBurnTestDrive t(EMediumKind::DvdR);
    const std::string image = t.Dir.File("image.iso", 1000 * 2048, 5);
    EXPECT_EQ(t.Run([&] { return t.Burner->BurnISOImage(image); }), "");
    EXPECT_EQ(t.Burner->ImageSize(), 1000);  // what progress is measured against
    const auto reserve = t.Drive->Sent(kReserveTrack);
    ASSERT_EQ(reserve.size(), 1u);
    EXPECT_EQ(GetBE32(reserve[0].Cdb.data() + 5), 1024u);
    auto exported = t.Exported();
    exported.resize(1000 * 2048);
    EXPECT_EQ(exported, ReadAll(image));
}

TEST(BurnSetup, SequentialDvdRwGetsTheQuickFormatFirst) {
    TBurnTestDrive t(EMediumKind::DvdRwSequential);
    AddCompilation(t);
    EXPECT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    const auto formats = t.Drive->Sent(kFormatUnit);
    ASSERT_FALSE(formats.empty());
    ASSERT_GE(formats[0].DataOut.size(), 12u);
    EXPECT_EQ(formats[0].Cdb[1], 0x11);
    EXPECT_EQ(GetBE32(formats[0].DataOut.data() + 4), 1000u);
    EXPECT_EQ(formats[0].DataOut[8], 0x54);
}

TEST(BurnSetup, SequentialDvdRwThatHoldsASessionIsNotFormattedAway) {
    TBurnTestDrive t(EMediumKind::DvdRwSequential);
    {
        // A session written elsewhere in incremental recording.
        t.Recorder->Remove();
        std::string error;
        auto medium = vr::TMedium::Load(t.MediumPath, error);
        ASSERT_TRUE(medium) << error;
        std::vector<uint8_t> data(2048 * 32, 0x5A);
        ASSERT_EQ(medium->WriteSequential(medium->NextWritableAddress(), 32, vr::TWriteMode{}, data.data(), true).Key, 0);
        ASSERT_EQ(medium->CloseTrack(medium->State().Tracks.back().Number).Key, 0);
        ASSERT_EQ(medium->CloseSession(false).Key, 0);
        ASSERT_TRUE(medium->Commit(error)) << error;
        medium.reset();
        ASSERT_TRUE(t.Recorder->InsertFile(t.MediumPath, error)) << error;
    }
    AddCompilation(t);
    EXPECT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), kSequentialDvdRwHoldsDataText);
    EXPECT_TRUE(t.Drive->Sent(0x04).empty()) << "no FORMAT UNIT";
    EXPECT_TRUE(t.Drive->Sent(0x2A).empty());
}

TEST(BurnSetup, StartLineNamesMediumAndSpeedAndTestWriteClosesNothing) {
    TBurnTestDrive t(EMediumKind::CdR);
    AddCompilation(t);
    t.Burner->TestWrite = true;
    t.Burner->PerformOPC = true;
    EXPECT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    const auto messages = t.Messages();
    auto start = std::find_if(messages.begin(), messages.end(), [](const std::string& m) {
        return m.rfind(">>> STARTING WRITE PROCESS ON ", 0) == 0;
    });
    ASSERT_NE(start, messages.end());
    EXPECT_NE(start->find("X ("), std::string::npos);
    ASSERT_NE(start + 1, messages.end());
    EXPECT_EQ(*(start + 1), ">>> TEST/DUMMY WRITE");
    EXPECT_TRUE(Closes(*t.Drive).empty());
    EXPECT_TRUE(t.Drive->Sent(0x54).empty());  // no power calibration on a test write
    EXPECT_EQ(t.Finalizing(), 1);
}

TEST(BurnSpeedText, DvdInTenthsCdInWholeMultiples) {
    EXPECT_EQ(WriteSpeedText(11, 5540), "4.0X (5,540 KB/s)");
    EXPECT_EQ(WriteSpeedText(2, 7056), "40X (7,056 KB/s)");
    EXPECT_EQ(WriteSpeedText(12, 1764), "10X (1,764 KB/s)");
    EXPECT_EQ(WriteSpeedText(5, 22160), "16.0X (22,160 KB/s)");
    EXPECT_EQ(WriteSpeedText(2, 706), "4X (706 KB/s)");
    EXPECT_EQ(WriteSpeedText(kMediumBdR, 53940), "12.0X (53,940 KB/s)");
    EXPECT_EQ(WriteSpeedText(kMediumBdRe, 71920), "16.0X (71,920 KB/s)");
}

// A BD speed is asked for with SET STREAMING (a little above it, so that the drive rounds down to
// it); one beyond 65,535 KB/s never goes into SET CD SPEED's 16-bit field.
TEST(BurnSpeed, BluRaySpeedsGoThroughSetStreaming) {
    TBurnTestDrive t(EMediumKind::BdR);
    AddCompilation(t);
    t.Burner->SetWriteSpeed(6 * 4495);
    ASSERT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    const auto streaming = t.Drive->Sent(0xB6);
    ASSERT_FALSE(streaming.empty());
    EXPECT_EQ(GetBE32(streaming.back().DataOut.data() + 20), static_cast<uint32_t>(26970 / 1385.0 * 1440.25));
    const auto messages = t.Messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(), ">>> STARTING WRITE PROCESS ON BD-R AT 6.0X (26,970 KB/s)"),
              messages.end());
    t.Drive->ClearLog();
    t.Burner->SetWriteSpeed(16 * 4495);
    EXPECT_TRUE(t.Drive->Sent(0xBB).empty());
    ASSERT_EQ(t.Drive->Sent(0xB6).size(), 1u);
    EXPECT_EQ(GetBE32(t.Drive->Sent(0xB6)[0].DataOut.data() + 20), static_cast<uint32_t>(71920 / 1385.0 * 1440.25));
    EXPECT_EQ(t.Burner->WriteSpeed(), 71920u);
}

TEST(BurnFailures, NotReadyThreeTimesThenAcceptedWritesTheBlockOnce) {
    TBurnTestDrive t(EMediumKind::CdR);
    AddCompilation(t);
    std::string error;
    ASSERT_TRUE(t.Recorder->Faults().AddScript("WRITE@2:notready*3", error)) << error;
    EXPECT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    EXPECT_EQ(t.Drive->Sent(kWrite10).size(), 12u + 3u);
    EXPECT_EQ(WriteCounts(*t.Drive).size(), 12u);
    EXPECT_EQ(Closes(*t.Drive).size(), 1u);
}

TEST(BurnFailures, RefusedWriteEndsWithTheDriveTextAndNoClose) {
    TBurnTestDrive t(EMediumKind::DvdPlusR);
    AddCompilation(t);
    std::string error;
    ASSERT_TRUE(t.Recorder->Faults().AddScript("WRITE@3=3/0C/00", error)) << error;
    const std::string text = t.Run([&] { return t.Burner->BurnCD(); });
    EXPECT_EQ(text.rfind("WRITER ERROR [", 0), 0u) << text;
    EXPECT_EQ(text.back(), ']');
    EXPECT_TRUE(Closes(*t.Drive).empty());
    EXPECT_EQ(t.Reports(), 1);
}

TEST(BurnFailures, DriveBusyBeyondTheRetriesGivesUp) {
    TBurnTestDrive t(EMediumKind::CdR);
    AddCompilation(t);
    std::string error;
    ASSERT_TRUE(t.Recorder->Faults().AddScript("WRITE@2:busy*10000", error)) << error;
    EXPECT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "WRITER BUSY/BUFFER FULL");
    EXPECT_TRUE(Closes(*t.Drive).empty());
}

TEST(BurnFailures, WriteFailureWithoutSenseEndsWithinSecondsNamingTheFailure) {
    // A platform I/O error and a timeout say nothing about a busy drive: a few seconds of tries,
    // then the write ends with what is known of the failure.
    for (const auto& [fault, reason] :
         {std::pair{"ioerror", "NO ADDITIONAL SENSE INFORMATION"}, std::pair{"timeout", "COMMAND TIMEOUT"}}) {
        SCOPED_TRACE(fault);
        TBurnTestDrive t(EMediumKind::CdR);
        AddCompilation(t);
        std::string error;
        ASSERT_TRUE(t.Recorder->Faults().AddScript(std::string("WRITE@2:") + fault + "*10000", error))
            << error;
        EXPECT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), std::string("WRITER ERROR [") + reason + "]");
        // The first block, then at most 3 s of 600 ms retries of the second.
        EXPECT_LE(t.Drive->Sent(kWrite10).size(), 1u + 6u);
        EXPECT_TRUE(Closes(*t.Drive).empty());
    }
}

TEST(BurnFailures, AbortStopsBeforeTheNextWriteAndStillFlushes) {
    TBurnTestDrive t(EMediumKind::CdR);
    AddCompilation(t);
    TZelBurner* burner = t.Burner.get();
    t.Burner->OnDebugMessage = [burner](TSCSIDevice*, const std::string& m, uint8_t) {
        if (m.rfind(">>> STARTING", 0) == 0) burner->Abort();
    };
    EXPECT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "OPERATION ABORTED BY USER");
    EXPECT_TRUE(WriteCounts(*t.Drive).empty());
    EXPECT_TRUE(Closes(*t.Drive).empty());
    EXPECT_EQ(t.Finalizing(), 1);
    EXPECT_FALSE(t.Drive->Sent(0x35).empty());
    // The next write starts with the flag cleared.
    t.Burner->OnDebugMessage = nullptr;
    EXPECT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
}

TEST(BurnFailures, AbortWhileTheCachePrimesEndsTheBurnBeforeAnyWrite) {
    TBurnTestDrive t(EMediumKind::CdR);
    // The source becomes a pipe after it is laid out, so the cache stalls in its first read until
    // the test lets it go: the abort is certain to arrive while the cache is priming.
    const std::string slow = t.Dir.File("src/slow.bin", 4 * 1024 * 1024, 1);
    ASSERT_GE(t.Burner->AddFile("\\", slow, "SLOW.BIN", "slow.bin"), 0);
    std::filesystem::remove(slow);
    ASSERT_EQ(::mkfifo(slow.c_str(), 0600), 0);
    std::thread feeder([&] {
        const int fd = ::open(slow.c_str(), O_WRONLY);  // returns once the cache has opened it
        ASSERT_GE(fd, 0);
        const std::vector<char> chunk(65536, 'x');
        EXPECT_EQ(::write(fd, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
        t.Burner->Abort();
        std::this_thread::sleep_for(std::chrono::seconds(1));  // the burner polls every 100 ms
        ::close(fd);
    });
    const std::string result = t.Run([&] { return t.Burner->BurnCD(); });
    feeder.join();
    EXPECT_EQ(result, "OPERATION ABORTED BY USER");
    EXPECT_TRUE(t.Drive->Sent(0x2A).empty());
    EXPECT_TRUE(Closes(*t.Drive).empty());
}

TEST(BurnFailures, SourceRemovedDuringTheWrite) {
    TBurnTestDrive t(EMediumKind::CdR);
    t.Burner->SetCacheSize(TZelBurner::kMinCacheSize);
    const std::string big = t.Dir.File("src/big.bin", 4 * 1024 * 1024, 1);
    const std::string late = t.Dir.File("src/late.bin", 4096, 2);
    ASSERT_GE(t.Burner->AddFile("\\", big, "BIG.BIN", "big.bin"), 0);
    ASSERT_GE(t.Burner->AddFile("\\", late, "LATE.BIN", "late.bin"), 0);
    t.Burner->OnDebugMessage = [late](TSCSIDevice*, const std::string& m, uint8_t) {
        if (m.rfind(">>> STARTING", 0) == 0) std::filesystem::remove(late);
    };
    EXPECT_EQ(t.Run([&] { return t.Burner->BurnCD(); }),
              "CAN'T OPEN FILE \"" + late + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
    EXPECT_TRUE(Closes(*t.Drive).empty());
    EXPECT_EQ(t.Reports(), 1);
}

TEST(BurnFailures, MissingImageIsReportedWithoutAThread) {
    TBurnTestDrive t(EMediumKind::CdR);
    const std::string missing = t.Dir.Path("nothing.iso");
    EXPECT_EQ(t.Run([&] { return t.Burner->BurnISOImage(missing); }),
              "CAN'T OPEN FILE \"" + missing + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
    EXPECT_TRUE(t.Drive->Sent(kWrite10).empty());
    EXPECT_FALSE(t.Burner->IsWriting());
}

TEST(BurnFailures, CdCloseThatKeepsFailingIsLoggedButTheWriteCounts) {
    TBurnTestDrive t(EMediumKind::CdR);
    AddCompilation(t);
    std::string error;
    ASSERT_TRUE(t.Recorder->Faults().AddScript("CLOSE=5/24/00*2", error)) << error;
    EXPECT_EQ(t.Run([&] { return t.Burner->BurnCD(); }), "");
    EXPECT_EQ(Closes(*t.Drive).size(), 2u);
    const auto messages = t.Messages();
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [](const std::string& m) {
        return m.rfind("CLOSE SESSION FAILED [", 0) == 0;
    }));
}

}  // namespace
}  // namespace kv::test
