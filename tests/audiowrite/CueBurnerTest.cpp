#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "BurnHarness.h"
#include "audiowrite/TThreadedWrite.h"
#include "platform/EngineClock.h"
#include "virtualrecorder/Medium.h"

namespace kv {
namespace {

using test::TBurnHarness;
using test::TLoggedCommand;

struct TSources {
    std::vector<std::string> Paths;
    std::vector<std::vector<uint8_t>> Pcm;
};

// WAVs with odd lengths, so padding to whole frames is exercised; the second sits behind a LIST chunk.
TSources MakeSources(const test::TTempFolder& dir, const std::vector<size_t>& byteCounts) {
    TSources s;
    for (size_t i = 0; i < byteCounts.size(); ++i) {
        auto path = (dir / ("src" + std::to_string(i) + ".wav")).string();
        auto pcm = test::TestPcm(byteCounts[i], static_cast<uint32_t>(i + 11));
        test::TWavShape shape;
        if (i == 1) shape.ChunksBeforeData = test::MakeChunk("LIST", std::vector<uint8_t>(30, 'x'));
        test::WriteWav(path, pcm, shape);
        s.Paths.push_back(path);
        s.Pcm.push_back(pcm);
    }
    return s;
}

// After a write, whatever its end, the drive must be synchronised, back in track-at-once Mode 1
// write settings, loaded and unlocked.
void ExpectDriveLeftNeutral(const std::vector<TLoggedCommand>& log) {
    auto lastOf = [&](uint8_t opcode) -> const TLoggedCommand* {
        for (auto it = log.rbegin(); it != log.rend(); ++it)
            if (it->Cdb[0] == opcode) return &*it;
        return nullptr;
    };
    auto indexOf = [&](const TLoggedCommand* c) { return c ? c - log.data() : -1; };
    const auto* lastWrite = lastOf(0x2A);
    const auto* sync = lastOf(0x35);
    const auto* select = lastOf(0x55);
    const auto* load = lastOf(0x1B);
    const auto* allow = lastOf(0x1E);
    ASSERT_TRUE(sync && select && load && allow);
    EXPECT_GT(indexOf(sync), indexOf(lastWrite));
    EXPECT_GT(indexOf(select), indexOf(sync));
    ASSERT_GE(select->DataOut.size(), 8u + 16u);
    const uint8_t* page = select->DataOut.data() + 8;
    EXPECT_EQ(page[0] & 0x3F, 0x05);
    EXPECT_EQ(page[2] & 0x0F, 1) << "track-at-once";
    EXPECT_EQ(page[2] & 0x10, 0) << "no test write";
    EXPECT_EQ(page[4], 0x08) << "Mode 1";
    EXPECT_EQ(load->Cdb[4], 0x03) << "load, not eject";
    EXPECT_GT(indexOf(load), indexOf(select));
    EXPECT_EQ(allow->Cdb[4] & 0x01, 0) << "medium removal allowed";
}

bool HasMessage(const std::vector<std::string>& messages, const std::string& text) {
    return std::find(messages.begin(), messages.end(), text) != messages.end();
}

TEST(CueBurner, SessionAtOnceBurnGivesTheSourcesBackBitForBitWithThePauses) {
    TBurnHarness h;
    auto src = MakeSources(h.Dir, {310 * 2352 + 100, 420 * 2352, 305 * 2352 + 8});
    h.Describe(src.Paths, 75, TWriteMethod::wmDAO);
    bool started = false;
    EXPECT_EQ(h.Burn(&started), "");
    EXPECT_TRUE(started);
    EXPECT_TRUE(h.ReportedOnce());
    EXPECT_EQ(h.Burner->BytesWritten(), h.Burner->TotalBytes());
    EXPECT_TRUE(HasMessage(h.Messages(), ">>> BURN PROCESS STARTED"));
    ExpectDriveLeftNeutral(h.Drive->Log());

    auto tracks = h.ExportedTracks();
    ASSERT_EQ(tracks.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(tracks[i] == test::PaddedToFrames(src.Pcm[i])) << "track " << i + 1;
    std::string error;
    auto medium = vr::TMedium::Load(h.MediumPath, error);
    ASSERT_TRUE(medium) << error;
    const auto& t = medium->State().Tracks;
    ASSERT_EQ(t.size(), 3u);
    // Index 01 of each track lies one pause after the end of the previous one.
    EXPECT_EQ(t[0].Start, 75);
    EXPECT_EQ(t[1].Start, 75 + 311 + 75);
    EXPECT_EQ(t[2].Start, 75 + 311 + 75 + 420 + 75);
    EXPECT_EQ(t[1].Pregap, 75u);
    EXPECT_EQ(t[2].Pregap, 75u);
}

TEST(CueBurner, TrackAtOnceBurnGivesTheSourcesBackBitForBit) {
    TBurnHarness h;
    auto src = MakeSources(h.Dir, {300 * 2352 + 4, 333 * 2352, 301 * 2352});
    h.Describe(src.Paths, 150, TWriteMethod::wmTAO);
    EXPECT_EQ(h.Burn(), "");
    EXPECT_EQ(h.Burner->BytesWritten(), h.Burner->TotalBytes());
    ExpectDriveLeftNeutral(h.Drive->Log());
    auto tracks = h.ExportedTracks();
    ASSERT_EQ(tracks.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(tracks[i] == test::PaddedToFrames(src.Pcm[i])) << "track " << i + 1;
}

TEST(CueBurner, RawAudioImagesAreWrittenAsAudioFrames) {
    // A raw file of 2352-byte audio frames must reach the disc unconverted, whatever the method.
    for (auto method : {TWriteMethod::wmDAO, TWriteMethod::wmTAO}) {
        SCOPED_TRACE(method == TWriteMethod::wmDAO ? "session-at-once" : "track-at-once");
        TBurnHarness h;
        const auto raw = test::TestPcm(320 * 2352, 5);
        const auto path = (h.Dir / "image.bin").string();
        test::WriteBytes(path, raw);
        h.Burner->SetWriteMethod(method);
        ASSERT_TRUE(h.Burner->AddFile(path, kFileTypeRaw));
        h.Burner->AddTrack(0);
        ASSERT_TRUE(h.Burner->AddIndex(0, 0, 0));
        EXPECT_EQ(h.Burn(), "");
        auto tracks = h.ExportedTracks();
        ASSERT_EQ(tracks.size(), 1u);
        EXPECT_TRUE(tracks[0] == raw);
    }
}

TEST(CueBurner, ADiscThatIsNotWritableIsRefusedWithItsMessages) {
    for (auto kind : {vr::EMediumKind::CdRw, vr::EMediumKind::CdR}) {
        const bool erasable = kind == vr::EMediumKind::CdRw;
        SCOPED_TRACE(erasable ? "CD-RW" : "CD-R");
        TBurnHarness h(kind);
        auto src = MakeSources(h.Dir, {300 * 2352});
        h.Describe(src.Paths, 150, TWriteMethod::wmDAO);
        ASSERT_EQ(h.Burn(), "");
        // The session-at-once disc is closed now; a second write is refused before anything runs.
        h.Drive->ClearLog();
        bool started = true;
        EXPECT_EQ(h.Burn(&started), "<not started, not reported>");
        EXPECT_FALSE(started);
        EXPECT_TRUE(HasMessage(h.Messages(), ">>> DISC IS NOT WRITABLE"));
        EXPECT_EQ(HasMessage(h.Messages(), ">>> BUT DISC IS ERASABLE, ERASE IT FIRST"), erasable);
        for (const auto& cmd : h.Drive->Log()) {
            EXPECT_NE(cmd.Cdb[0], 0x2A);
            EXPECT_NE(cmd.Cdb[0], 0x55) << "the drive's settings are not touched";
        }
    }
}

TEST(CueBurner, WriteFailuresAreReportedWithTheirTextAndLeaveTheDriveNeutral) {
    struct TCase {
        const char* Faults;
        TWriteMethod Method;
        std::string Expected;  // prefix
    };
    const std::vector<TCase> cases = {
        {"5Dh=5/26/00", TWriteMethod::wmDAO, kCueSheetFailedText},
        {"2Ah@3=3/0C/00", TWriteMethod::wmDAO, std::string(kWriterErrorText) + " ["},
        {"2Ah@2=3/0C/00", TWriteMethod::wmTAO, std::string(kWriterErrorText) + " ["},
        {"2Ah@2:busy*6000", TWriteMethod::wmDAO, kWriterBusyText},
        // Failures without sense are no busy drive: they end the burn after a few seconds.
        {"2Ah@2:ioerror*6000", TWriteMethod::wmDAO,
         std::string(kWriterErrorText) + " [NO ADDITIONAL SENSE INFORMATION]"},
        {"2Ah@2:timeout*6000", TWriteMethod::wmTAO, std::string(kWriterErrorText) + " [COMMAND TIMEOUT]"},
        // The write parameters page refused: nothing is written under the drive's old page.
        {"MODE_SELECT=5/26/00*2", TWriteMethod::wmDAO, std::string(kWriterErrorText) + " ["},
        {"MODE_SELECT@3=5/26/00", TWriteMethod::wmTAO, std::string(kWriterErrorText) + " ["},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Faults);
        TBurnHarness h;
        auto src = MakeSources(h.Dir, {400 * 2352, 300 * 2352});
        h.Describe(src.Paths, 150, c.Method);
        std::string error;
        ASSERT_TRUE(h.Recorder->Faults().AddScript(c.Faults, error)) << error;
        bool started = false;
        const std::string text = h.Burn(&started);
        EXPECT_TRUE(started);
        EXPECT_EQ(text.rfind(c.Expected, 0), 0u) << text;
        if (c.Expected.back() == '[') {
            EXPECT_GT(text.size(), c.Expected.size() + 1) << "the drive's reason is given";
        }
        EXPECT_TRUE(h.ReportedOnce());
        ExpectDriveLeftNeutral(h.Drive->Log());
        if (c.Expected == kCueSheetFailedText || std::string(c.Faults).rfind("MODE_SELECT", 0) == 0) {
            EXPECT_TRUE(HasMessage(h.Messages(), ">>> BURN PROCESS START FAILED"));
            for (const auto& cmd : h.Drive->Log()) EXPECT_NE(cmd.Cdb[0], 0x2A) << "nothing written after a refused cue sheet";
        }
    }
}

TEST(CueBurner, AbortStopsTheWriteEvenWhenPressedBeforeTheWriterRuns) {
    TBurnHarness h;
    auto src = MakeSources(h.Dir, {2000 * 2352});
    h.Describe(src.Paths, 150, TWriteMethod::wmDAO);
    // In real time the drive takes the disc at its own speed, so the write cannot be over before
    // the abort, however the threads are scheduled.
    EngineClock::SetTimeScale(1);
    EXPECT_EQ(h.Burn(nullptr, true), kAbortedByUserText);
    EXPECT_TRUE(h.ReportedOnce());
    EXPECT_LT(h.Burner->BytesWritten(), h.Burner->TotalBytes());
    ExpectDriveLeftNeutral(h.Drive->Log());
}

TEST(CueBurner, AWriteStartedFromTheDoneHandlerIsRefusedNotDeadlocked) {
    TBurnHarness h;
    auto src = MakeSources(h.Dir, {300 * 2352});
    h.Describe(src.Paths, 150, TWriteMethod::wmTAO);
    std::atomic<int> restarted{-1};
    auto report = h.Burner->OnWriteDone;
    h.Burner->OnWriteDone = [&](TCueBurner* burner, const std::string& text) {
        restarted = burner->StartWrite() ? 1 : 0;
        report(burner, text);
    };
    EXPECT_EQ(h.Burn(), "");
    EXPECT_EQ(restarted.load(), 0);
}

TEST(CueBurner, ADeletedSourceIsReportedByName) {
    {
        // Before the cache is primed: StartWrite reports and returns false; nothing is written.
        TBurnHarness h;
        auto src = MakeSources(h.Dir, {300 * 2352, 300 * 2352});
        h.Describe(src.Paths, 150, TWriteMethod::wmDAO);
        std::filesystem::remove(src.Paths[1]);
        bool started = true;
        EXPECT_EQ(h.Burn(&started), "CAN'T OPEN FILE \"" + src.Paths[1] + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
        EXPECT_FALSE(started);
        EXPECT_EQ(h.Burner->CurrentFileName(), src.Paths[1]);
        for (const auto& cmd : h.Drive->Log()) EXPECT_NE(cmd.Cdb[0], 0x2A);
    }
    {
        // After priming: the writer stops and reports it from its finish.
        TBurnHarness h;
        h.Burner->SetCacheSize(2 * kMiB);
        auto src = MakeSources(h.Dir, {1500 * 2352, 300 * 2352});
        h.Describe(src.Paths, 150, TWriteMethod::wmTAO);
        std::filesystem::remove(src.Paths[1]);
        bool started = false;
        EXPECT_EQ(h.Burn(&started), "CAN'T OPEN FILE \"" + src.Paths[1] + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
        EXPECT_TRUE(started);
        EXPECT_TRUE(h.ReportedOnce());
        ExpectDriveLeftNeutral(h.Drive->Log());
    }
}

TEST(CueBurner, CacheSizeIsWholeMebibytesOfAtLeastTwo) {
    TCueBurner b;
    b.SetCacheSize(1000000);
    EXPECT_EQ(b.CacheSize(), 2097152);
    b.SetCacheSize(5500000);
    EXPECT_EQ(b.CacheSize(), 5242880);
}

}  // namespace
}  // namespace kv
