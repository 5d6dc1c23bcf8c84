// The jobs as the window drives them: Start never waits on the drive, Cancel never blocks, every
// finished event arrives through the dispatcher, one job per drive, a compilation that cannot
// change under its burn, refused entries that stop a burn, and the WAV folder's own files.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "AudioTestFiles.h"
#include "TempTree.h"
#include "VirtualRecorderRig.h"
#include "audioconv/WavOutputFolder.h"
#include "jobs/AudioJobs.h"
#include "jobs/BlankJob.h"
#include "jobs/DataWriteJobs.h"
#include "jobs/DiscInfoJob.h"
#include "jobs/ReadImageJob.h"
#include "jobs/TreeLoader.h"
#include "jobs/VerifyJob.h"
#include "platform/ByteOrder.h"
#include "platform/EngineClock.h"
#include "platform/EventDispatcher.h"
#include "virtualrecorder/Medium.h"

namespace kv {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A GUI thread stand-in: events queue up and run on one thread of their own.
class TTestDispatcher {
public:
    TTestDispatcher() {
        thread_ = std::thread([this] { Loop(); });
        InstallEventDispatcher([this](std::function<void()> event) {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(event));
            changed_.notify_all();
        });
    }
    ~TTestDispatcher() {
        InstallEventDispatcher({});
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    std::thread::id Id() const { return thread_.get_id(); }

private:
    void Loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (queue_.empty()) return;
            auto event = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            event();
            lock.lock();
        }
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> queue_;
    bool stop_ = false;
    std::thread thread_;
};

// Where a job's single finished event ran, and with what.
struct TFinishedRecord {
    std::mutex Mutex;
    int Count = 0;
    std::thread::id Thread;
    jobs::TJobResult Result;

    void Attach(jobs::TJob& job) {
        job.OnFinished = [this](const jobs::TJobResult& r) {
            std::lock_guard lock(Mutex);
            ++Count;
            Thread = std::this_thread::get_id();
            Result = r;
        };
    }
    bool Arrived() {
        std::lock_guard lock(Mutex);
        return Count > 0;
    }
};

bool Eventually(const std::function<bool()>& condition) {
    for (auto deadline = std::chrono::steady_clock::now() + 120s; std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(5ms))
        if (condition()) return true;
    return condition();
}

class ScopedSpinUp {
public:
    explicit ScopedSpinUp(const char* ms) { ::setenv("KELVADORE_VR_SPINUP_MS", ms, 1); }
    ~ScopedSpinUp() { ::unsetenv("KELVADORE_VR_SPINUP_MS"); }
};

TEST(Jobs, AtNormalSpeedStartAndCancelReturnWhileTheDriveSpinsUpAndTheJobEndsAborted) {
    EngineClock::SetTimeScale(1);
    const ScopedSpinUp spinUp("10000");
    test::TTempTree dir;
    dir.File("data/a.bin", 5000);
    test::WriteWav(dir.Path("tone.wav"), test::TestPcm(44100 * 4, 1));
    TTestDispatcher dispatcher;

    using TMakeJob = std::function<std::unique_ptr<jobs::TJob>(TSCSIDevice&)>;
    TZelBurner dataBurner;
    TCueBurner audioBurner;
    TSCSIDevice blankDevice, readDevice;
    const struct {
        const char* Name;
        vr::EMediumKind Kind;
        TSCSIDevice& Device;
        TMakeJob Make;
    } cases[] = {
        {"burn", vr::EMediumKind::CdR, dataBurner,
         [&](TSCSIDevice&) {
             dataBurner.ClearAll(100, 10);
             jobs::TTreeLoader(dataBurner, "").AddPath(dir.Path("data"));
             return std::make_unique<jobs::TDataBurnJob>(dataBurner);
         }},
        {"audio", vr::EMediumKind::CdR, audioBurner,
         [&](TSCSIDevice&) {
             return std::make_unique<jobs::TAudioBurnJob>(audioBurner, std::vector<std::string>{dir.Path("tone.wav")},
                                                          dir.Path("wav"));
         }},
        {"blank", vr::EMediumKind::CdRw, blankDevice,
         [&](TSCSIDevice& d) { return std::make_unique<jobs::TBlankJob>(d, true); }},
        {"read-image", vr::EMediumKind::CdR, readDevice,
         [&](TSCSIDevice& d) { return std::make_unique<jobs::TReadImageJob>(d, dir.Path("image.iso")); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        test::TVirtualRecorderRig rig(dir.Path(std::string(c.Name) + ".kvm"), c.Kind, 0,
                                      std::string("virtual:jobs-") + c.Name);
        const int64_t loadedAt = EngineClock::NowMs();
        ASSERT_TRUE(rig.Select(c.Device));
        auto job = c.Make(c.Device);
        TFinishedRecord finished;
        finished.Attach(*job);
        ASSERT_TRUE(job->Start());
        EXPECT_FALSE(job->Finished());
        ASSERT_TRUE(Eventually([&] { return job->Progress().Stage == jobs::TJobStage::WaitingForDrive; }));
        job->Cancel();
        // Cancel came back while the drive was still becoming ready, so the job was still waiting.
        EXPECT_LT(EngineClock::NowMs() - loadedAt, 10000);
        ASSERT_TRUE(Eventually([&] { return finished.Arrived(); }));
        job->Wait();
        EXPECT_EQ(finished.Count, 1);
        EXPECT_EQ(finished.Thread, dispatcher.Id());
        EXPECT_TRUE(finished.Result.Cancelled);
        EXPECT_EQ(finished.Result.Error, "OPERATION ABORTED BY USER");
        job.reset();
    }
}

TEST(Jobs, ABurnHoldsItsDriveAndCompilationAdvancesMonotonicallyAndVerifiesEqual) {
    EngineClock::SetTimeScale(5000);
    test::TTempTree dir;
    for (int i = 0; i < 20; ++i) dir.File("tree/f" + std::to_string(i) + ".bin", 200000, i);
    TTestDispatcher dispatcher;
    test::TVirtualRecorderRig rig(dir.Path("disc.kvm"), vr::EMediumKind::CdR, 0, "virtual:jobs-burn");
    TZelBurner burner;
    ASSERT_TRUE(rig.Select(burner));
    burner.ClearAll(100, 10);
    ASSERT_TRUE(jobs::TTreeLoader(burner, "").AddPath(dir.Path("tree")));

    jobs::TDataBurnJob burn(burner);
    TFinishedRecord finished;
    finished.Attach(burn);
    ASSERT_TRUE(burn.Start());
    TSCSIDevice other;
    ASSERT_TRUE(rig.Select(other));
    jobs::TBlankJob blank(other, true);
    std::string whyNot;
    EXPECT_FALSE(blank.Start(&whyNot));
    EXPECT_EQ(whyNot, jobs::kDriveBusyText);
    EXPECT_EQ(burner.AddFile("\\", dir.Path("tree/f0.bin"), "LATE.BIN", "late.bin"), 0);
    EXPECT_TRUE(burner.ChangesLocked());

    jobs::TJobProgress last;
    while (!burn.Finished()) {
        const jobs::TJobProgress p = burn.Progress();
        EXPECT_GE(p.Percent, last.Percent);
        EXPECT_GE(p.BytesDone, last.BytesDone);
        last = p;
        std::this_thread::sleep_for(1ms);
    }
    burn.Wait();
    ASSERT_TRUE(burn.Result().Ok) << burn.Result().Error;
    EXPECT_EQ(burn.Progress().Percent, 100);
    ASSERT_TRUE(Eventually([&] { return finished.Arrived(); }));
    EXPECT_EQ(finished.Thread, dispatcher.Id());
    EXPECT_FALSE(burner.ChangesLocked());
    EXPECT_EQ(burner.FindEntry(burner.Root(), "late.bin"), nullptr);

    jobs::TVerifyJob verify(burner, burner);
    ASSERT_TRUE(verify.Start());
    verify.Wait();
    EXPECT_TRUE(verify.Result().Ok) << verify.Result().Error;
    EXPECT_EQ(verify.Files().size(), 20u);
    EngineClock::SetTimeScale(1);
}

// Sessions of a BD-R lie far beyond the 255 minutes an MSF address reaches: the sessions list finds
// each of them and its size all the same.
TEST(Jobs, DiscInformationListsBluRaySessionsBeyondTheReachOfMsfAddresses) {
    EngineClock::SetTimeScale(5000);
    test::TTempTree dir;
    test::TVirtualRecorderRig rig(dir.Path("disc.kvm"), vr::EMediumKind::BdR, 0, "virtual:jobs-sessions");
    rig.Recorder->Remove();
    std::string error;
    {
        auto medium = vr::TMedium::Load(rig.MediumPath, error);
        ASSERT_TRUE(medium) << error;
        // Each session a volume: a primary descriptor at its sector 16 that gives the volume's size.
        auto session = [&](uint32_t blocks) {
            constexpr uint32_t kChunk = 8192;
            const int32_t start = medium->NextWritableAddress();
            std::vector<uint8_t> data(size_t{kChunk} * 2048, 0);
            for (uint32_t done = 0; done < blocks; done += kChunk) {
                std::fill(data.begin(), data.end(), 0);
                if (done == 0) {
                    data[16 * 2048] = 1;
                    std::copy_n("CD001", 5, &data[16 * 2048 + 1]);
                    PutLE32(&data[16 * 2048 + 80], static_cast<uint32_t>(start) + blocks);
                }
                const uint32_t n = std::min(kChunk, blocks - done);
                ASSERT_EQ(medium->WriteSequential(start + static_cast<int32_t>(done), n, vr::TWriteMode{}, data.data(), true).Key, 0);
            }
            ASSERT_EQ(medium->CloseSession(false).Key, 0);
        };
        session(1200000);
        session(64);
        ASSERT_TRUE(medium->Commit(error)) << error;
    }
    ASSERT_TRUE(rig.Recorder->InsertFile(rig.MediumPath, error)) << error;
    TSCSIDevice device;
    ASSERT_TRUE(rig.Select(device));
    jobs::TDiscInfoJob info(device);
    info.ListSessions = true;
    ASSERT_TRUE(info.Start());
    info.Wait();
    const jobs::TDiscReport report = info.Report();
    EXPECT_EQ(report.MediumName, "BD-R");
    ASSERT_EQ(report.SessionRows.size(), 3u);
    EXPECT_EQ(report.SessionRows[0].SizeBytes, int64_t{1200000} * 2048);
    EXPECT_EQ(report.SessionRows[1].Number, 2);
    EXPECT_EQ(report.SessionRows[1].SizeBytes, int64_t{64} * 2048);
    EXPECT_EQ(report.SessionRows[2].SizeBytes, int64_t{12219392 - 1200000 - 64} * 2048);
    EngineClock::SetTimeScale(1);
}

TEST(Jobs, EntriesTheModelRefusedKeepTheBurnFromStartingUnlessAccepted) {
    EngineClock::SetTimeScale(5000);
    test::TTempTree dir;
    for (int i = 0; i < 3; ++i) dir.File("tree/f" + std::to_string(i) + ".bin", 100, i);
    test::TVirtualRecorderRig rig(dir.Path("disc.kvm"), vr::EMediumKind::CdR, 0, "virtual:jobs-refusal");
    TZelBurner burner;
    ASSERT_TRUE(rig.Select(burner));
    burner.ClearAll(3, 10);  // the folder's own entry and two files
    jobs::TTreeLoader loader(burner, "");
    ASSERT_TRUE(loader.AddPath(dir.Path("tree")));
    ASSERT_EQ(loader.Refusals().size(), 1u);
    {
        jobs::TDataBurnJob burn(burner);
        burn.Refusals = loader.Refusals();
        std::string whyNot;
        EXPECT_FALSE(burn.Start(&whyNot));
        EXPECT_NE(whyNot.find(jobs::kEntriesRefusedText), std::string::npos) << whyNot;
        EXPECT_NE(whyNot.find("MAXIMUM FILES"), std::string::npos) << whyNot;
    }
    jobs::TDataBurnJob burn(burner);
    burn.Refusals = loader.Refusals();
    burn.AcceptRefusals = true;
    ASSERT_TRUE(burn.Start());
    burn.Wait();
    EXPECT_TRUE(burn.Result().Ok) << burn.Result().Error;
    EngineClock::SetTimeScale(1);
}

TEST(Jobs, AUsersOwnWavInTheWavFolderSurvivesDecodeBurnAndCleaning) {
    EngineClock::SetTimeScale(5000);
    test::TTempTree dir;
    test::TWavShape mono;
    mono.Channels = 1;
    mono.SampleRate = 22050;
    fs::create_directories(dir.Path("src"));
    test::WriteWav(dir.Path("src/voice.wav"), test::TestPcm(22050 * 2, 3), mono);
    const fs::path wavFolder = dir.Path("wav");
    fs::create_directories(wavFolder);
    test::WriteWav(wavFolder / "a.wav", test::TestPcm(4000, 4));
    const auto userBytes = test::ReadBytes(wavFolder / "a.wav");

    jobs::TDecodeJob decode({dir.Path("src/voice.wav")}, wavFolder.string());
    ASSERT_TRUE(decode.Start());
    decode.Wait();
    ASSERT_TRUE(decode.Result().Ok) << decode.Result().Error;
    ASSERT_EQ(decode.ConvertedFiles().size(), 1u);
    EXPECT_NE(decode.ConvertedFiles()[0], (wavFolder / "a.wav").string());

    test::TVirtualRecorderRig rig(dir.Path("disc.kvm"), vr::EMediumKind::CdR, 0, "virtual:jobs-wav");
    TCueBurner burner;
    ASSERT_TRUE(rig.Select(burner));
    jobs::TAudioBurnJob burn(burner, {dir.Path("src/voice.wav")}, wavFolder.string());
    ASSERT_TRUE(burn.Start());
    burn.Wait();
    ASSERT_TRUE(burn.Result().Ok) << burn.Result().Error;

    TWavOutputFolder(wavFolder.string()).DeleteWritten();
    EXPECT_EQ(test::ReadBytes(wavFolder / "a.wav"), userBytes);
    EXPECT_FALSE(fs::exists(decode.ConvertedFiles()[0]));
    EngineClock::SetTimeScale(1);
}

}  // namespace
}  // namespace kv
