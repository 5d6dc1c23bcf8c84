// Saving a disc as an image and copying a disc, in process against a virtual recorder: damaged
// sectors stop the read or are filled and listed, nothing partial is left behind, and a copy in the
// same drive asks for a blank, checks its room first and verifies what it wrote.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "AudioTestFiles.h"
#include "VirtualRecorderRig.h"
#include "jobs/CopyDiscJob.h"
#include "jobs/DataWriteJobs.h"
#include "jobs/ReadImageJob.h"
#include "platform/EngineClock.h"
#include "virtualrecorder/Medium.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> RandomBlocks(size_t blocks, unsigned seed) {
    std::vector<uint8_t> data(blocks * 2048);
    std::mt19937 rng(seed);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    return data;
}

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A CD-R in the rig holding `image` (written from sector 0, track-at-once).
void BurnImage(TZelBurner& burner, const fs::path& image) {
    jobs::TImageBurnJob burn(burner, image.string());
    ASSERT_TRUE(burn.Start());
    burn.Wait();
    ASSERT_TRUE(burn.Result().Ok) << burn.Result().Error;
}

class ImageJobs : public ::testing::Test {
protected:
    void SetUp() override { EngineClock::SetTimeScale(2000); }
    void TearDown() override { EngineClock::SetTimeScale(1); }
    test::TTempFolder dir_;
};

TEST_F(ImageJobs, DamagedSectorsStopTheReadOrBecomeListedZerosAndNothingPartialIsLeft) {
    const auto data = RandomBlocks(400, 1);
    test::WriteBytes(dir_ / "source.img", data);
    test::TVirtualRecorderRig rig((dir_ / "disc.kvm").string(), vr::EMediumKind::CdR, 0, "virtual:image-read");
    TZelBurner burner;
    ASSERT_TRUE(rig.Select(burner));
    BurnImage(burner, dir_ / "source.img");
    std::string error;
    ASSERT_TRUE(rig.Recorder->Faults().AddScript("unreadable@100*3; weak@250", error)) << error;
    fs::create_directories(dir_ / "out");

    jobs::TReadImageJob stop(burner, (dir_ / "out/disc.iso").string());
    ASSERT_TRUE(stop.Start());
    stop.Wait();
    EXPECT_FALSE(stop.Result().Ok);
    EXPECT_EQ(stop.Result().Error, "UNREADABLE SECTORS: 100-102");
    EXPECT_TRUE(FilesIn(dir_ / "out").empty()) << "no image and no temporary file";

    jobs::TReadImageOptions fill;
    fill.OnError = jobs::TReadErrorPolicy::FillWithZeros;
    jobs::TReadImageJob job(burner, (dir_ / "out/disc.iso").string(), fill);
    std::vector<jobs::TJobMessage> messages;
    std::mutex messagesMutex;
    job.OnMessage = [&](const jobs::TJobMessage& m) {
        std::lock_guard lock(messagesMutex);
        messages.push_back(m);
    };
    ASSERT_TRUE(job.Start());
    job.Wait();
    ASSERT_TRUE(job.Result().Ok) << job.Result().Error;
    EXPECT_EQ(job.FilledSectors(), (std::vector<int32_t>{100, 101, 102}));
    EXPECT_EQ(job.Progress().ReadErrors, 3);
    EXPECT_EQ(job.Progress().Percent, 100);
    EXPECT_EQ(FilesIn(dir_ / "out"), (std::vector<std::string>{"disc.iso", "disc.iso.unreadable.txt"}));
    // No volume descriptor: the whole track (the 300-block minimum holds the 400 written) is the image.
    auto back = test::ReadBytes(dir_ / "out/disc.iso");
    ASSERT_EQ(back.size(), data.size());
    auto expected = data;
    std::fill(expected.begin() + 100 * 2048, expected.begin() + 103 * 2048, 0);
    EXPECT_TRUE(back == expected);
    std::ifstream list(dir_ / "out/disc.iso.unreadable.txt");
    std::string line;
    std::vector<std::string> rows;
    while (std::getline(list, line))
        if (!line.empty() && line[0] != '#') rows.push_back(line.substr(0, line.find('\t')));
    EXPECT_EQ(rows, (std::vector<std::string>{"100", "101", "102"}));
    int filledLines = 0, retryLines = 0;
    for (const auto& m : messages) {
        filledLines += m.Text.find("FILLED WITH ZEROS") != std::string::npos && m.Severity == jobs::TSeverity::Error;
        retryLines += m.Text.find("RETRYING AT") != std::string::npos;
    }
    EXPECT_EQ(filledLines, 3);
    EXPECT_EQ(retryLines, 2) << "the damaged stretch and the weak block were both read again slowly";
}

TEST_F(ImageJobs, CopyInOneDriveChecksRoomAsksForABlankAndVerifies) {
    const auto data = RandomBlocks(320, 2);
    test::WriteBytes(dir_ / "source.img", data);
    test::TVirtualRecorderRig rig((dir_ / "original.kvm").string(), vr::EMediumKind::CdR, 0, "virtual:copy");
    TZelBurner burner;
    ASSERT_TRUE(rig.Select(burner));
    BurnImage(burner, dir_ / "source.img");
    TSCSIDevice source;
    ASSERT_TRUE(rig.Select(source));
    fs::create_directories(dir_ / "temp");

    {
        jobs::TCopyDiscOptions noRoom;
        noRoom.TempFolder = "/proc";
        jobs::TCopyDiscJob copy(source, burner, noRoom);
        int asked = 0;
        copy.OnQuestion = [&](const jobs::TJobQuestion&) { return ++asked, false; };
        ASSERT_TRUE(copy.Start());
        copy.Wait();
        EXPECT_NE(copy.Result().Error.find("NOT ENOUGH SPACE FOR THE TEMPORARY DISC IMAGE"), std::string::npos)
            << copy.Result().Error;
        EXPECT_EQ(asked, 0);
    }
    {
        jobs::TCopyDiscOptions options;
        options.TempFolder = (dir_ / "temp").string();
        jobs::TCopyDiscJob copy(source, burner, options);
        copy.OnQuestion = [](const jobs::TJobQuestion& q) { return q.CatalogueKey != "35.40"; };
        ASSERT_TRUE(copy.Start());
        copy.Wait();
        EXPECT_TRUE(copy.Result().Declined) << copy.Result().Error;
        EXPECT_TRUE(FilesIn(dir_ / "temp").empty());
        rig.Recorder->Remove();  // the original goes back in
        std::string error;
        ASSERT_TRUE(rig.Recorder->InsertFile(rig.MediumPath, error)) << error;
    }
    jobs::TCopyDiscOptions options;
    options.TempFolder = (dir_ / "temp").string();
    jobs::TCopyDiscJob copy(source, burner, options);
    int asked = 0;
    copy.OnQuestion = [&](const jobs::TJobQuestion& q) {
        EXPECT_EQ(q.CatalogueKey, "35.40");
        EXPECT_TRUE(rig.Recorder->TrayOpen()) << "the original came out first";
        // The user takes the original out and puts a blank in.
        rig.Recorder->Remove();
        std::string error;
        auto blank = vr::TMedium::Create((dir_ / "copy.kvm").string(), vr::EMediumKind::CdR, 0, error);
        EXPECT_TRUE(blank) << error;
        rig.Recorder->Insert(std::move(blank));
        return ++asked, true;
    };
    ASSERT_TRUE(copy.Start());
    int lastPercent = 0;
    while (!copy.Finished()) {
        const int percent = copy.Progress().Percent;
        EXPECT_GE(percent, lastPercent);
        lastPercent = percent;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    copy.Wait();
    ASSERT_TRUE(copy.Result().Ok) << copy.Result().Error;
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(copy.Progress().Percent, 100);
    EXPECT_TRUE(FilesIn(dir_ / "temp").empty()) << "the temporary image is deleted";
    std::string error;
    auto copied = vr::TMedium::Load((dir_ / "copy.kvm").string(), error, false);
    ASSERT_TRUE(copied) << error;
    ASSERT_EQ(copied->State().Tracks.size(), 1u);
    EXPECT_EQ(copied->State().Tracks[0].Written, 320u);
}

}  // namespace
}  // namespace kv
