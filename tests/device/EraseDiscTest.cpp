#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "device/Media.h"
#include "device/SCSIDevice.h"
#include "platform/ByteOrder.h"
#include "platform/EngineClock.h"
#include "transport/PassThrough.h"
#include "transport/RequestInterface.h"
#include "virtualrecorder/VirtualRecorder.h"

namespace kv::test {
namespace {

using vr::EMediumKind;

// Forwards to a virtual recorder, keeps every command block and samples the blank's progress
// as the worker thread issues its commands.
class TLoggingDrive : public TSoftDrive {
public:
    explicit TLoggingDrive(std::shared_ptr<vr::TVirtualRecorder> recorder) : recorder_(std::move(recorder)) {}
    std::string DevicePath() const override { return recorder_->DevicePath(); }
    TPassThroughResult Execute(const TPassThroughRequest& request) override {
        {
            std::lock_guard lock(mutex_);
            TCommand c{std::vector<uint8_t>(request.Cdb.begin(), request.Cdb.begin() + request.CdbLength), {}};
            if (request.Direction == TDataDirection::Out && request.Data)
                c.Out.assign(request.Data, request.Data + std::min<uint32_t>(request.DataLength, 16));
            commands_.push_back(std::move(c));
            if (device_ && device_->Erasing()) progress_.push_back(device_->EraseProgress());
        }
        return recorder_->Execute(request);
    }
    struct TCommand {
        std::vector<uint8_t> Cdb;
        std::vector<uint8_t> Out;  // first bytes of a data-out transfer
    };
    std::vector<TCommand> Commands() {
        std::lock_guard lock(mutex_);
        return commands_;
    }
    std::vector<int> Progress() {
        std::lock_guard lock(mutex_);
        return progress_;
    }
    void Watch(TSCSIDevice* device) {
        std::lock_guard lock(mutex_);
        device_ = device;
        commands_.clear();
        progress_.clear();
    }
    vr::TVirtualRecorder& Recorder() { return *recorder_; }

private:
    std::shared_ptr<vr::TVirtualRecorder> recorder_;
    std::mutex mutex_;
    std::vector<TCommand> commands_;
    std::vector<int> progress_;
    TSCSIDevice* device_ = nullptr;
};

class EraseDiscTest : public ::testing::Test {
protected:
    void SetUp() override {
        EngineClock::SetTimeScale(20000);
        TSCSIDevice::SlowReadyModel = false;
        dir_ = std::filesystem::temp_directory_path() /
               ("kv-erase-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        device_.reset();
        ShutdownRequestInterface();
        SetSoftDriveSource({});
        drive_.reset();
        std::filesystem::remove_all(dir_);
        EngineClock::SetTimeScale(1);
    }
    void Insert(EMediumKind kind, uint32_t capacity = 0) {
        device_.reset();
        ShutdownRequestInterface();
        SetSoftDriveSource({});
        drive_.reset();  // releases the medium file
        done_.clear();
        std::string error;
        auto medium = vr::TMedium::Create((dir_ / "disc.kvm").string(), kind, capacity, error);
        ASSERT_TRUE(medium) << error;
        auto recorder = std::make_shared<vr::TVirtualRecorder>("virtual:erase", vr::TDriveModel{});
        recorder->Insert(std::move(medium));
        drive_ = std::make_shared<TLoggingDrive>(recorder);
        SetSoftDriveSource([d = drive_] { return std::vector<std::shared_ptr<TSoftDrive>>{d}; });
        device_ = std::make_unique<TSCSIDevice>();
        ASSERT_TRUE(device_->InitializeASPI(true, ""));
        ASSERT_FALSE(device_->DeviceList().empty());
        ASSERT_TRUE(device_->SetDevice(device_->DeviceList().front()));
        ASSERT_TRUE(device_->WaitUntilReady(60000, 1000));
        device_->OnEraseDone = [this](TSCSIDevice*, bool withError) {
            std::lock_guard lock(doneMutex_);
            done_.push_back(withError);
        };
    }
    // Waits (wall time, bounded) for the blank to end.
    bool WaitDone() {
        for (int i = 0; i < 3000; ++i) {
            {
                std::lock_guard lock(doneMutex_);
                if (!done_.empty() && !device_->Erasing()) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    std::vector<bool> Done() {
        std::lock_guard lock(doneMutex_);
        return done_;
    }
    size_t Count(uint8_t opcode) {
        auto cmds = drive_->Commands();
        return static_cast<size_t>(
            std::count_if(cmds.begin(), cmds.end(), [&](const auto& c) { return c.Cdb[0] == opcode; }));
    }
    std::vector<TLoggingDrive::TCommand> With(uint8_t opcode) {
        std::vector<TLoggingDrive::TCommand> out;
        for (auto& c : drive_->Commands())
            if (c.Cdb[0] == opcode) out.push_back(c);
        return out;
    }
    // Runs one blank to its end and checks the progress the worker showed on the way.
    void RunBlank(bool quick) {
        drive_->Watch(device_.get());
        ASSERT_TRUE(device_->EraseDisc(quick));
        ASSERT_TRUE(WaitDone());
        EXPECT_EQ(Done(), std::vector<bool>{false});
        EXPECT_FALSE(device_->Erasing());
        EXPECT_EQ(device_->EraseProgress(), 0);
        auto progress = drive_->Progress();
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.back(), 100);
        // Rising: never below an earlier sample until the final step pins it to 100.
        for (size_t i = 1; i < progress.size(); ++i)
            if (progress[i] != 100) {
                EXPECT_GE(progress[i], progress[i - 1]) << i;
            }
        device_->OnEraseDone = nullptr;
    }
    // A data track of a few blocks, left in an open session.
    void RecordSomething(uint8_t medium) {
        ASSERT_TRUE(device_->SetWriteParameters(false, false, medium, false));
        std::vector<uint8_t> data(16 * 2048, 0xA5);
        ASSERT_TRUE(device_->WriteSectors(0, 16, 0x50, static_cast<uint32_t>(data.size()), data.data()));
        ASSERT_TRUE(device_->SynchronizeCache(30000, false));
        ASSERT_TRUE(device_->ReadDiscInformation());
        ASSERT_NE(device_->DiscInfo.DiscStatusBits(), 0);
    }
    void ExpectBlankAndWritable() {
        ASSERT_TRUE(device_->ReadDiscInformation());
        EXPECT_EQ(device_->DiscInfo.DiscStatusBits(), 0);
        std::vector<uint8_t> data(16 * 2048, 0x11);
        EXPECT_TRUE(device_->WriteSectors(0, 16, 0x50, static_cast<uint32_t>(data.size()), data.data()))
            << device_->LastError();
    }
    bool SectorIsZero(uint32_t lba) {
        std::vector<uint8_t> sector(2048, 0xFF);
        if (!device_->ReadSectors(lba, 1, 2048, sector.data())) return false;
        return std::all_of(sector.begin(), sector.end(), [](uint8_t b) { return b == 0; });
    }

    std::filesystem::path dir_;
    std::shared_ptr<TLoggingDrive> drive_;
    std::unique_ptr<TSCSIDevice> device_;
    std::mutex doneMutex_;
    std::vector<bool> done_;
};

TEST_F(EraseDiscTest, CdRwQuickAndFullBlankSendBlankWithImmediateBit) {
    Insert(EMediumKind::CdRw);
    RecordSomething(kMediumCdRw);
    RunBlank(true);
    auto blanks = With(0xA1);
    ASSERT_EQ(blanks.size(), 1u);
    EXPECT_EQ(blanks[0].Cdb[1], 0x11);
    ExpectBlankAndWritable();

    done_.clear();
    device_->OnEraseDone = [this](TSCSIDevice*, bool e) {
        std::lock_guard lock(doneMutex_);
        done_.push_back(e);
    };
    RunBlank(false);
    blanks = With(0xA1);
    ASSERT_EQ(blanks.size(), 1u);
    EXPECT_EQ(blanks[0].Cdb[1], 0x10);
    EXPECT_EQ(Count(0x04), 0u);
    ExpectBlankAndWritable();
}

TEST_F(EraseDiscTest, DvdMinusRwBlanksWithBlankCommand) {
    for (bool quick : {true, false}) {
        SCOPED_TRACE(quick);
        Insert(EMediumKind::DvdRwSequential);
        RecordSomething(kMediumDvdRwSequential);
        RunBlank(quick);
        auto blanks = With(0xA1);
        ASSERT_EQ(blanks.size(), 1u);
        EXPECT_EQ(blanks[0].Cdb[1], quick ? 0x11 : 0x10);
        ExpectBlankAndWritable();
    }
}

TEST_F(EraseDiscTest, DvdPlusRwQuickFormatsThenOverwritesTheStart) {
    Insert(EMediumKind::DvdPlusRw);
    RunBlank(true);
    auto formats = With(0x04);
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(formats[0].Cdb[1], 0x11);
    EXPECT_EQ(formats[0].Out, (std::vector<uint8_t>{0x00, 0x82, 0x00, 0x08, 0x00, 0x23, 0x05, 0x40, 0x98, 0x00,
                                                    0x00, 0x00}));
    auto writes = With(0x2A);
    ASSERT_EQ(writes.size(), 65u);
    EXPECT_EQ(GetBE32(&writes.back().Cdb[2]), 64u * 32u);
    EXPECT_EQ(Count(0x5B), 1u);
    EXPECT_TRUE(SectorIsZero(16));
    EXPECT_TRUE(SectorIsZero(64 * 32 + 31));
}

TEST_F(EraseDiscTest, DvdPlusRwFullOverwriteStopsAtTheFirstRefusedWrite) {
    Insert(EMediumKind::DvdPlusRw);
    std::string error;
    ASSERT_TRUE(drive_->Recorder().Faults().AddScript("WRITE@70=3/0C/00", error)) << error;
    RunBlank(false);
    ASSERT_EQ(Count(0x04), 1u);
    EXPECT_EQ(Count(0x2A), 70u);
    EXPECT_EQ(Count(0x5B), 0u);  // no close after an incomplete overwrite
}

TEST_F(EraseDiscTest, DvdRamQuickOverwritesFullFormats) {
    Insert(EMediumKind::DvdRam);
    RunBlank(true);
    EXPECT_EQ(Count(0x04), 0u);
    EXPECT_EQ(Count(0x2A), 11u + 65u);
    EXPECT_TRUE(SectorIsZero(0));
    device_->OnEraseDone = [this](TSCSIDevice*, bool e) {
        std::lock_guard lock(doneMutex_);
        done_.push_back(e);
    };
    done_.clear();
    RunBlank(false);
    auto formats = With(0x04);
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(formats[0].Out, (std::vector<uint8_t>{0x00, 0x82, 0x00, 0x08, 0x00, 0x22, 0x21, 0x20, 0x00, 0x00,
                                                    0x08, 0x00}));
    EXPECT_EQ(Count(0x2A), 0u);
    // The drive may still finish the format in the background after the blank has reported done.
    ASSERT_TRUE(device_->WaitUntilReady(600000, 100));
    std::vector<uint8_t> data(32 * 2048, 0x22);
    EXPECT_TRUE(device_->WriteSectors(0, 32, 0x50, static_cast<uint32_t>(data.size()), data.data()))
        << device_->LastError();
}

// BD-RE has no BLANK: an erase formats it (30h), then overwrites its start and closes nothing. A
// disc never formatted gets quick certification with the default spare, a formatted one a quick
// reformat of its size, a full erase full certification; a drive refusing 30h gets 00h.
TEST_F(EraseDiscTest, BdReIsReformattedAndItsStartOverwritten) {
    Insert(EMediumKind::BdRe);
    auto formatByte = [](const TLoggingDrive::TCommand& c) { return c.Out.size() > 8 ? c.Out[8] : 0xFF; };
    RunBlank(true);
    auto formats = With(0x04);
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(formats[0].Cdb[1], 0x11);
    EXPECT_EQ(formats[0].Out, (std::vector<uint8_t>{0x00, 0x02, 0x00, 0x08, 0x00, 0xB4, 0x74, 0x00, 0x30 << 2 | 3,
                                                    0x00, 0x30, 0x00}));
    EXPECT_EQ(Count(0xA1), 0u);
    EXPECT_EQ(Count(0x5B), 0u);
    EXPECT_EQ(Count(0x55), 0u) << "no write parameters page on BD";
    EXPECT_EQ(Count(0x2A), 65u);
    EXPECT_TRUE(SectorIsZero(16));
    ASSERT_TRUE(device_->ReadDiscInformation());
    EXPECT_EQ(device_->DiscInfo.DiscStatusBits(), kDiscStatusComplete);

    for (bool quick : {true, false}) {
        RunBlank(quick);
        formats = With(0x04);
        ASSERT_EQ(formats.size(), 1u);
        EXPECT_EQ(formatByte(formats[0]), quick ? 0x30 << 2 | 0 : 0x30 << 2 | 2);
    }

    std::string error;
    ASSERT_TRUE(drive_->Recorder().Faults().AddScript("FORMAT=5/26/00", error)) << error;
    RunBlank(true);
    formats = With(0x04);
    ASSERT_EQ(formats.size(), 2u);
    EXPECT_EQ(formatByte(formats[1]), 0x00);
    EXPECT_EQ(GetBE32(&formats[1].Out[4]), 11826176u);
    EXPECT_EQ(GetBE24(&formats[1].Out[9]), 0x3000u);
}

TEST_F(EraseDiscTest, RefusedBlankReportsErrorAtOnce) {
    Insert(EMediumKind::CdRw);
    std::string error;
    ASSERT_TRUE(drive_->Recorder().Faults().AddScript("BLANK=5/24/00", error)) << error;
    EXPECT_FALSE(device_->EraseDisc(true));
    EXPECT_EQ(Done(), std::vector<bool>{true});
    EXPECT_FALSE(device_->Erasing());
}

TEST_F(EraseDiscTest, DriveThatStaysNotReadyThroughTheWaitFailsTheBlank) {
    Insert(EMediumKind::CdRw);
    // Once the blank is under way nothing but "not ready" comes back, REQUEST SENSE included.
    device_->OnDebugMessage = [this](TSCSIDevice*, const std::string& text, uint8_t) {
        std::string error;
        if (text.rfind(">>> STARTING ERASE PROCESS", 0) != 0) return;
        EXPECT_TRUE(drive_->Recorder().Faults().AddScript(
            "TUR:notready*1000000; READ_DISC_INFO:notready*1000000; REQUEST_SENSE:notready*1000000", error))
            << error;
    };
    ASSERT_TRUE(device_->EraseDisc(true));
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(Done(), std::vector<bool>{true});
    EXPECT_GT(Count(0x03), 0u);
}

TEST_F(EraseDiscTest, AbortEndsTheWaitAndASecondBlankIsRefusedMeanwhile) {
    Insert(EMediumKind::CdRw);
    EngineClock::SetTimeScale(5);  // the full blank now lasts minutes of wall time
    ASSERT_TRUE(device_->EraseDisc(false));
    EXPECT_TRUE(device_->Erasing());
    EXPECT_FALSE(device_->EraseDisc(true));
    const auto start = std::chrono::steady_clock::now();
    device_->AbortErase();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_FALSE(device_->Erasing());
    EXPECT_EQ(Done(), std::vector<bool>{true});
}

}  // namespace
}  // namespace kv::test
