// Media identification through the device layer against the virtual recorder: every medium kind
// blank, with one closed session, appendable with two sessions and finalized.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "device/DevicePathIdentity.h"
#include "device/SCSIDevice.h"
#include "platform/EngineClock.h"
#include "transport/RequestInterface.h"
#include "virtualrecorder/Medium.h"
#include "virtualrecorder/VirtualRecorder.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using vr::EMediumKind;

enum class EState { Blank, OneClosedSession, TwoSessionsAppendable, Finalized };

struct TObserved {
    uint8_t Medium = 0;
    TDisc Disc;
    uint16_t Sessions = 0;
    uint32_t Used = 0, Free = 0, Total = 0;
    bool Erasable = false;
};

// Writes `blocks` data blocks as one track and closes it and its session, as the data burner does.
void RecordSession(vr::TMedium& medium, uint32_t blocks, bool finalize) {
    vr::TWriteMode mode;
    mode.WriteType = medium.Traits().Cd ? 1 : 0;
    std::vector<uint8_t> data(2048 * blocks, 0x5A);
    const int32_t start = medium.NextWritableAddress();
    ASSERT_EQ(medium.WriteSequential(start, blocks, mode, data.data(), true).Key, 0);
    ASSERT_EQ(medium.CloseTrack(medium.State().Tracks.back().Number).Key, 0);
    ASSERT_EQ(medium.CloseSession(finalize).Key, 0);
}

class MediaFixture : public ::testing::Test {
protected:
    void SetUp() override {
        EngineClock::SetTimeScale(5000);
        TSCSIDevice::CurrentMedium = 0;
        dir_ = fs::temp_directory_path() / ("kv-media-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        device_.reset();
        SetSoftDriveSource({});
        ShutdownRequestInterface();
        recorder_.reset();
        fs::remove_all(dir_);
        EngineClock::SetTimeScale(1);
    }

    void Load(EMediumKind kind, EState state, vr::TDriveModel model = {}) {
        const std::string path = (dir_ / "disc.kvm").string();
        std::string error;
        {
            auto medium = vr::TMedium::Create(path, kind, 0, error);
            ASSERT_TRUE(medium) << error;
            if (state != EState::Blank) RecordSession(*medium, 100, state == EState::Finalized);
            if (state == EState::TwoSessionsAppendable) RecordSession(*medium, 50, false);
            ASSERT_TRUE(medium->Commit(error)) << error;
        }
        model.SpinUpMs = 0;
        recorder_ = std::make_shared<vr::TVirtualRecorder>("virtual:media-test", model);
        ASSERT_TRUE(recorder_->InsertFile(path, error)) << error;
        auto drive = recorder_;
        SetSoftDriveSource([drive] { return std::vector<std::shared_ptr<TSoftDrive>>{drive}; });
        device_ = std::make_unique<TSCSIDevice>();
        ASSERT_TRUE(device_->InitializeASPI(true, ""));
        const auto identity = ListedIdentityOfPath(*device_, "virtual:media-test");
        ASSERT_TRUE(identity);
        ASSERT_TRUE(device_->SetDevice(*identity));
    }

    TObserved Observe() {
        TObserved o;
        o.Medium = device_->MediumType();
        TSCSIDevice::CurrentMedium = o.Medium;
        device_->GetDiscInformation(o.Disc);
        o.Sessions = device_->SessionCount();
        o.Used = device_->UsedBlocks();
        o.Free = device_->FreeBlocks();
        o.Total = device_->TotalBlocks();
        o.Erasable = device_->DiscIsErasable();
        return o;
    }

    fs::path dir_;
    std::shared_ptr<vr::TVirtualRecorder> recorder_;
    std::unique_ptr<TSCSIDevice> device_;
};

// Nominal sizes: 80-minute CD (ATIP last lead-out start 79:59:74 = LBA 359,849; the device adds
// the 150 frames before LBA 0 when it counts the ATIP time as frames), DVD-R/RW 2,298,496,
// DVD+R/RW 2,295,104, DVD+R DL 4,173,824, formatted DVD-RAM 2,236,704.
constexpr uint32_t kCdBlocks = 359849;
constexpr uint32_t kCdAtipFrames = 359999;

struct TMediumCase {
    EMediumKind Kind;
    uint8_t Code;
    uint32_t Blocks;
    bool Erasable;
    bool Sequential;  // sessions can be counted and appended
};

const TMediumCase kMedia[] = {
    {EMediumKind::CdR, kMediumCdR, kCdBlocks, false, true},
    {EMediumKind::CdRw, kMediumCdRw, kCdBlocks, true, true},
    {EMediumKind::DvdR, kMediumDvdR, 2298496, false, true},
    {EMediumKind::DvdRwSequential, kMediumDvdRwSequential, 2298496, true, true},
    {EMediumKind::DvdRwRestricted, kMediumDvdRwRestricted, 2298496, true, false},
    {EMediumKind::DvdPlusR, kMediumDvdPlusR, 2295104, false, true},
    {EMediumKind::DvdPlusRw, kMediumDvdPlusRw, 2295104, true, false},
    {EMediumKind::DvdPlusRDualLayer, kMediumDvdPlusRDl, 4173824, false, true},
    {EMediumKind::DvdRam, kMediumDvdRam, 2236704, true, false},
    // BD-R: the whole disc without spare areas; BD-RE: what the format a burn gives it holds.
    {EMediumKind::BdR, kMediumBdR, 12219392, false, true},
    {EMediumKind::BdRDualLayer, kMediumBdRDl, 24438784, false, true},
    {EMediumKind::BdRe, kMediumBdRe, 11826176, true, false},
    {EMediumKind::BdReDualLayer, kMediumBdReDl, 23652352, true, false},
};

std::string NameOf(EMediumKind kind) { return vr::Traits(kind).CliName; }

TEST_F(MediaFixture, PressedMediaAreOneClosedSessionWithNothingFree) {
    Load(EMediumKind::CdRom, EState::Blank);
    auto o = Observe();
    EXPECT_EQ(o.Medium, kMediumCdRom);
    EXPECT_EQ(MediumNames[o.Medium], "CD-ROM");
    EXPECT_EQ(o.Disc.DiscStatus, 2);
    EXPECT_EQ(o.Sessions, 1);
    EXPECT_EQ(o.Free, 0u);
    EXPECT_FALSE(o.Erasable);
    TearDown();
    SetUp();
    Load(EMediumKind::DvdRom, EState::Blank);
    o = Observe();
    EXPECT_EQ(o.Medium, kMediumDvdRom);
    EXPECT_EQ(o.Disc.DiscStatus, 2);
    EXPECT_EQ(o.Sessions, 1);
    EXPECT_EQ(o.Free, 0u);
    TearDown();
    SetUp();
    Load(EMediumKind::BdRom, EState::Blank);
    o = Observe();
    EXPECT_EQ(o.Medium, kMediumBdRom);
    EXPECT_EQ(MediumNames[o.Medium], "BD-ROM");
    EXPECT_EQ(o.Disc.DiscStatus, 2);
    EXPECT_EQ(o.Sessions, 1);
    EXPECT_EQ(o.Free, 0u);
    EXPECT_FALSE(o.Erasable);
}

TEST_F(MediaFixture, BlankMediaShowTheirWholeCapacityFree) {
    for (const auto& m : kMedia) {
        SCOPED_TRACE(NameOf(m.Kind));
        Load(m.Kind, EState::Blank);
        const auto o = Observe();
        EXPECT_EQ(o.Medium, m.Code);
        EXPECT_TRUE(o.Disc.Ready);
        EXPECT_EQ(o.Erasable, m.Erasable);
        EXPECT_EQ(o.Used, 0u);
        EXPECT_EQ(o.Free, m.Blocks);
        // CD: the ATIP time counted as frames; DVD: the formatted or recordable size.
        EXPECT_EQ(o.Total, IsCdMedium(m.Code) ? kCdAtipFrames : m.Blocks);
        if (m.Sequential) {
            EXPECT_EQ(o.Disc.DiscStatus, 0);
            EXPECT_EQ(o.Sessions, 0);
        }
        TearDown();
        SetUp();
    }
}

TEST_F(MediaFixture, RecordedSessionsAreCountedAndUsedPlusFreeIsTheDisc) {
    for (const auto& m : kMedia) {
        if (!m.Sequential) continue;
        for (auto state : {EState::OneClosedSession, EState::TwoSessionsAppendable}) {
            SCOPED_TRACE(NameOf(m.Kind) + (state == EState::OneClosedSession ? " one session" : " two sessions"));
            Load(m.Kind, state);
            const auto o = Observe();
            EXPECT_EQ(o.Medium, m.Code);
            EXPECT_EQ(o.Disc.DiscStatus, 1);  // appendable
            EXPECT_EQ(o.Sessions, state == EState::OneClosedSession ? 1 : 2);
            // Free space starts after the session gaps (CD: 11,400 / 6,900 blocks; DVD-R border and
            // DVD+R session gaps), so it is clearly less than the data written would suggest. A BD-R
            // session starts at the cluster after the last one.
            EXPECT_LT(o.Free, IsBluRayMedium(m.Code) ? m.Blocks - 100 : m.Blocks - 150);
            EXPECT_EQ(o.Used + o.Free, m.Blocks);
            TearDown();
            SetUp();
        }
    }
}

TEST_F(MediaFixture, FinalizedMediaHaveNothingFree) {
    for (const auto& m : kMedia) {
        if (!m.Sequential) continue;
        SCOPED_TRACE(NameOf(m.Kind));
        Load(m.Kind, EState::Finalized);
        const auto o = Observe();
        EXPECT_EQ(o.Medium, m.Code);
        EXPECT_EQ(o.Disc.DiscStatus, 2);
        EXPECT_EQ(o.Sessions, 1);
        EXPECT_EQ(o.Free, 0u);
        TearDown();
        SetUp();
    }
}

TEST_F(MediaFixture, CdRecordableAndRewritableToldApartByAtipWhenGetConfigurationIsRefused) {
    for (auto kind : {EMediumKind::CdR, EMediumKind::CdRw}) {
        SCOPED_TRACE(NameOf(kind));
        Load(kind, EState::TwoSessionsAppendable);
        std::string error;
        ASSERT_TRUE(recorder_->Faults().AddScript("46h=5/20/00*1000", error)) << error;
        EXPECT_EQ(device_->MediumType(), kind == EMediumKind::CdR ? kMediumCdR : kMediumCdRw);
        EXPECT_EQ(device_->SessionCount(), 2);
        TearDown();
        SetUp();
    }
}

TEST_F(MediaFixture, BlankCdrFormatCapacityQuirkDoesNotLeakIntoCounts) {
    vr::TDriveModel model;
    model.BlankCdrFfdQuirk = true;
    Load(EMediumKind::CdR, EState::Blank, model);
    const auto o = Observe();
    EXPECT_EQ(o.Medium, kMediumCdR);
    EXPECT_EQ(o.Free, kCdBlocks);
    EXPECT_EQ(o.Total, kCdAtipFrames);
    EXPECT_NE(o.Disc.Capacity, 0xFFFD0001u);
}

TEST_F(MediaFixture, WriteParametersPageOfEveryMediumIsAccepted) {
    for (const auto& m : kMedia) {
        SCOPED_TRACE(NameOf(m.Kind));
        Load(m.Kind, EState::Blank);
        device_->ReadCapabilities();
        for (bool test : {false, true})
            EXPECT_TRUE(device_->SetWriteParameters(test, true, m.Code, false)) << device_->LastError();
        TearDown();
        SetUp();
    }
}

TEST_F(MediaFixture, WriteParametersPageWithUnknownWriteTypeIsRefused) {
    Load(EMediumKind::CdR, EState::Blank);
    std::array<uint8_t, 512> reply{};
    ASSERT_TRUE(device_->ModeSense(0x05, reply.data(), false, 512, reply.size()));
    auto list = device_->TransferBuffer();
    std::fill(list.begin(), list.begin() + 70, uint8_t{0});
    list[8] = 0x05;
    list[9] = 0x32;
    list[10] = 0x07;  // write type 7 is reserved (MMC)
    list[11] = 0x04;
    list[12] = 0x08;
    EXPECT_FALSE(device_->ModeSelect(0x32 + 10));
    EXPECT_EQ(device_->LastAsc(), 0x26);  // INVALID FIELD IN PARAMETER LIST
}

TEST_F(MediaFixture, InjectedFaultsSurfaceAsTheirTexts) {
    Load(EMediumKind::CdR, EState::Blank);
    std::string error;
    ASSERT_TRUE(recorder_->Faults().AddScript("51h:busy", error));
    EXPECT_FALSE(device_->ReadDiscInformation());
    EXPECT_TRUE(device_->TargetBusy());
    EXPECT_NE(device_->LastError().find("TARGET BUSY"), std::string::npos) << device_->LastError();

    ASSERT_TRUE(recorder_->Faults().AddScript("51h:timeout", error));
    EXPECT_FALSE(device_->ReadDiscInformation());
    EXPECT_NE(device_->LastError().find("COMMAND TIMEOUT"), std::string::npos) << device_->LastError();

    ASSERT_TRUE(recorder_->Faults().AddScript("51h=3/0C/00", error));
    EXPECT_FALSE(device_->ReadDiscInformation());
    EXPECT_EQ(device_->LastAsc(), 0x0C);
    EXPECT_NE(device_->LastError().find(TSCSIDevice::AscText(0x0C, 0x00)), std::string::npos)
        << device_->LastError();

    EXPECT_TRUE(device_->ReadDiscInformation());  // the rules are used up
}

TEST_F(MediaFixture, EmptyTrayAndDriveThatStaysNotReady) {
    Load(EMediumKind::CdR, EState::Blank);
    recorder_->Remove();
    TDisc disc;
    device_->GetDiscInformation(disc);
    EXPECT_FALSE(disc.Ready);
    EXPECT_NE(device_->LastError().find("MEDIUM NOT PRESENT"), std::string::npos) << device_->LastError();
    EXPECT_EQ(device_->SessionCount(), 0);
    TearDown();
    SetUp();

    Load(EMediumKind::DvdPlusR, EState::Blank);
    std::string error;
    ASSERT_TRUE(recorder_->Faults().AddScript("TUR:notready*100000", error));
    device_->GetDiscInformation(disc);
    EXPECT_FALSE(disc.Ready);
    EXPECT_NE(device_->LastError().find("NOT READY"), std::string::npos) << device_->LastError();
}

// The counts follow from what a drive answers: READ TRACK INFORMATION of the invisible track on CD,
// of the last track in the last session on DVD, READ CAPACITY when no track is writable.
struct TCountCase {
    EMediumKind Kind;
    EState State;
    uint32_t Used, Free, Total;
};

// CD: a 100-block track is padded to the 4 s minimum (300) when it is closed and followed by 2
// run-out blocks; the next session starts 11,400 blocks after the first lead-out and 6,900 after
// later ones. Used on an appendable CD is the invisible track's next writable address; on a
// finalized CD it is READ CAPACITY's last address (300 + 2 run-out - 1). Total is the ATIP time
// counted as frames. DVD: 100 blocks fill 7 ECC blocks (112); the first border adds 16,384, later
// ones 6,144, a DVD+R session 2,048. On a finalized DVD the last track is complete and has no valid
// next writable address, so its recorded end counts as used and total.
const TCountCase kCounts[] = {
    {EMediumKind::CdR, EState::OneClosedSession, 11702, 359849 - 11702, kCdAtipFrames},
    {EMediumKind::CdR, EState::TwoSessionsAppendable, 18904, 359849 - 18904, kCdAtipFrames},
    {EMediumKind::CdR, EState::Finalized, 301, 0, kCdAtipFrames},
    {EMediumKind::CdRw, EState::TwoSessionsAppendable, 18904, 359849 - 18904, kCdAtipFrames},
    {EMediumKind::DvdR, EState::OneClosedSession, 16496, 2298496 - 16496, 2298496},
    {EMediumKind::DvdR, EState::TwoSessionsAppendable, 22704, 2298496 - 22704, 2298496},
    {EMediumKind::DvdR, EState::Finalized, 112, 0, 112},
    {EMediumKind::DvdRwSequential, EState::OneClosedSession, 16496, 2298496 - 16496, 2298496},
    {EMediumKind::DvdRwSequential, EState::Finalized, 112, 0, 112},
    {EMediumKind::DvdPlusR, EState::OneClosedSession, 2160, 2295104 - 2160, 2295104},
    {EMediumKind::DvdPlusR, EState::TwoSessionsAppendable, 4272, 2295104 - 4272, 2295104},
    {EMediumKind::DvdPlusR, EState::Finalized, 112, 0, 112},
    {EMediumKind::DvdPlusRDualLayer, EState::TwoSessionsAppendable, 4272, 4173824 - 4272, 4173824},
    {EMediumKind::DvdPlusRDualLayer, EState::Finalized, 112, 0, 112},
    // BD-R: 100 blocks fill 4 clusters of 32 (128), 50 two more (64); no gap between sessions.
    {EMediumKind::BdR, EState::OneClosedSession, 128, 12219392 - 128, 12219392},
    {EMediumKind::BdR, EState::TwoSessionsAppendable, 192, 12219392 - 192, 12219392},
    {EMediumKind::BdR, EState::Finalized, 128, 0, 128},
    {EMediumKind::BdRDualLayer, EState::TwoSessionsAppendable, 192, 24438784 - 192, 24438784},
};

TEST_F(MediaFixture, BlockCountsOfRecordedMediaAreWhatTheDriveAnswersLeadTo) {
    for (const auto& c : kCounts) {
        SCOPED_TRACE(NameOf(c.Kind) + " state " + std::to_string(static_cast<int>(c.State)));
        Load(c.Kind, c.State);
        const auto o = Observe();
        EXPECT_EQ(o.Used, c.Used);
        EXPECT_EQ(o.Free, c.Free);
        EXPECT_EQ(o.Total, c.Total);
        TearDown();
        SetUp();
    }
}

TEST_F(MediaFixture, PressedMediaAreFullAndAFinalizedCdHasNoInvisibleTrackForItsCapacity) {
    // A pressed disc's one track spans it: CD used is READ CAPACITY's last address, DVD-ROM used
    // and total are the end of its complete track.
    Load(EMediumKind::CdRom, EState::Blank);
    auto o = Observe();
    EXPECT_EQ(o.Used, kCdBlocks - 1);
    EXPECT_EQ(o.Total, kCdBlocks);
    TearDown();
    SetUp();
    Load(EMediumKind::DvdRom, EState::Blank);
    o = Observe();
    EXPECT_EQ(o.Used, 2298496u);
    EXPECT_EQ(o.Total, 2298496u);
    TearDown();
    SetUp();
    // READ TRACK INFORMATION of the invisible track fails on a finalized CD, so the disc record's
    // capacity reads 0 while the ATIP total stays.
    Load(EMediumKind::CdR, EState::Finalized);
    o = Observe();
    EXPECT_EQ(o.Disc.Capacity, 0u);
    EXPECT_EQ(o.Disc.FirstSession, 1);
    EXPECT_EQ(o.Disc.LastSession, 1);
}

}  // namespace
}  // namespace kv
