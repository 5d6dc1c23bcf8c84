// Writes and blanks of media that cannot take them end with one refusal, and nothing that would
// change a disc (WRITE, FORMAT UNIT, BLANK, a cue sheet, a close) ever reaches the drive.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "VirtualRecorderRig.h"
#include "audiowrite/TCueBurner.h"
#include "datawrite/TZelBurner.h"
#include "platform/EngineClock.h"
#include "virtualrecorder/Medium.h"
#include "virtualrecorder/MediumTools.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using vr::EMediumKind;

class DiscRefusalTest : public ::testing::Test {
protected:
    void SetUp() override {
        EngineClock::SetTimeScale(5000);
        dir_ = fs::temp_directory_path() / ("kv-refusal-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        image_ = (dir_ / "image.iso").string();
        std::ofstream(image_, std::ios::binary) << std::string(40 * 2048, '\0');
    }
    void TearDown() override {
        rig_.reset();
        fs::remove_all(dir_);
        EngineClock::SetTimeScale(1);
    }

    // A recorder holding a disc of `kind`, changed by `prepare` before it goes into the tray.
    void Load(EMediumKind kind, const std::function<void(vr::TMedium&)>& prepare = {}) {
        rig_.reset();
        rig_ = std::make_unique<test::TVirtualRecorderRig>((dir_ / "blank.kvm").string(), EMediumKind::CdR, 0,
                                                           "virtual:refusal");
        auto blank = rig_->Recorder->Remove();
        blank.reset();
        const std::string path = (dir_ / "disc.kvm").string();
        std::string error;
        fs::remove(path);
        if (vr::Traits(kind).Pressed) {
            ASSERT_TRUE(vr::PressImage(path, kind, image_, error)) << error;
        } else {
            auto medium = vr::TMedium::Create(path, kind, 0, error);
            ASSERT_TRUE(medium) << error;
            if (prepare) prepare(*medium);
            ASSERT_TRUE(medium->Commit(error)) << error;
        }
        ASSERT_TRUE(rig_->Recorder->InsertFile(path, error)) << error;
    }

    // Every data, image and audio write and (with `blank`) the blank: what each reported.
    std::vector<std::string> RefusalsOfEveryOperation(bool blank = true) {
        std::vector<std::string> out;
        std::mutex m;
        {
            TZelBurner burner;
            if (!rig_->Select(burner)) return out;
            burner.ClearAll(100, 10);
            burner.OnWriteDone = [&](TZelBurner*, const std::string& e) {
                std::lock_guard lock(m);
                out.push_back("data: " + e);
            };
            burner.OnDebugMessage = [&](TSCSIDevice*, const std::string& text, uint8_t) {
                std::lock_guard lock(m);
                out.push_back("data message: " + text);
            };
            EXPECT_FALSE(burner.BurnCD());
            EXPECT_FALSE(burner.BurnISOImage(image_));
            bool erased = false;
            burner.OnEraseDone = [&](TSCSIDevice*, bool) { erased = true; };
            if (blank) {
                EXPECT_FALSE(burner.EraseDisc(true));
                out.push_back("blank: " + burner.LastError());
            }
            EXPECT_FALSE(erased) << "a refused blank has no done event on top";
        }
        TCueBurner audio;
        if (!rig_->Select(audio)) return out;
        audio.OnDebugMessage = [&](TSCSIDevice*, const std::string& text, uint8_t) { out.push_back("audio: " + text); };
        audio.OnWriteDone = [&](TCueBurner*, const std::string& e) { out.push_back("audio done: " + e); };
        EXPECT_FALSE(audio.StartWrite());
        return out;
    }

    void ExpectNothingChangedTheDisc() {
        for (uint8_t opcode : {0x2A, 0xAA, 0x04, 0xA1, 0x5D, 0x5B, 0x53})
            EXPECT_TRUE(rig_->Drive->Sent(opcode).empty()) << std::hex << int{opcode};
    }

    fs::path dir_;
    std::string image_;
    std::unique_ptr<test::TVirtualRecorderRig> rig_;
};

TEST_F(DiscRefusalTest, PressedAndClosedDiscsAreRefusedBeforeAnyWriteCommand) {
    Load(EMediumKind::CdRom);
    const std::string pressed = "DISC IS NOT WRITABLE: CD-ROM IS A READ-ONLY MEDIUM";
    EXPECT_EQ(RefusalsOfEveryOperation(), (std::vector<std::string>{"data: " + pressed, "data: " + pressed,
                                                                     "blank: DISC IS NOT ERASABLE: CD-ROM",
                                                                     "audio: >>> " + pressed}));
    ExpectNothingChangedTheDisc();

    Load(EMediumKind::DvdRom);
    EXPECT_EQ(RefusalsOfEveryOperation().front(), "data: DISC IS NOT WRITABLE: DVD-ROM IS A READ-ONLY MEDIUM");
    ExpectNothingChangedTheDisc();

    // A finalized CD-RW: closed, but a blank makes it writable again.
    Load(EMediumKind::CdRw, [](vr::TMedium& m) {
        vr::TWriteMode mode;
        mode.WriteType = 1;
        std::vector<uint8_t> data(2048 * 300, 0x5A);
        ASSERT_EQ(m.WriteSequential(0, 300, mode, data.data(), true).Key, 0);
        ASSERT_EQ(m.CloseTrack(1).Key, 0);
        ASSERT_EQ(m.CloseSession(true).Key, 0);
    });
    const std::string closed = "DISC IS NOT WRITABLE: THE DISC IS CLOSED";
    EXPECT_EQ(RefusalsOfEveryOperation(false),
              (std::vector<std::string>{"data: " + closed + "; BUT DISC IS ERASABLE, ERASE IT FIRST",
                                        "data: " + closed + "; BUT DISC IS ERASABLE, ERASE IT FIRST",
                                        "audio: >>> DISC IS NOT WRITABLE",
                                        "audio: >>> BUT DISC IS ERASABLE, ERASE IT FIRST"}));
    ExpectNothingChangedTheDisc();
    TSCSIDevice rewritable;
    ASSERT_TRUE(rig_->Select(rewritable));
    EXPECT_EQ(rewritable.BlankRefusal(rewritable.MediumType()), "");

    // A blank CD-R takes a write but no blank.
    Load(EMediumKind::CdR);
    TSCSIDevice device;
    ASSERT_TRUE(rig_->Select(device));
    EXPECT_FALSE(device.EraseDisc(false));
    EXPECT_EQ(device.LastError(), "DISC IS NOT ERASABLE: CD-R");
    ExpectNothingChangedTheDisc();
}

TEST_F(DiscRefusalTest, PressedAndFinalizedBluRayDiscsAreRefusedBeforeAnyWriteCommand) {
    Load(EMediumKind::BdRom);
    const std::string pressed = "DISC IS NOT WRITABLE: BD-ROM IS A READ-ONLY MEDIUM";
    EXPECT_EQ(RefusalsOfEveryOperation(), (std::vector<std::string>{"data: " + pressed, "data: " + pressed,
                                                                     "blank: DISC IS NOT ERASABLE: BD-ROM",
                                                                     "audio: >>> " + pressed}));
    ExpectNothingChangedTheDisc();

    // A finalized BD-R: closed for good, and no blank or format opens it again.
    Load(EMediumKind::BdRDualLayer, [](vr::TMedium& m) {
        std::vector<uint8_t> data(2048 * 64, 0x5A);
        ASSERT_EQ(m.WriteSequential(0, 64, vr::TWriteMode{}, data.data(), true).Key, 0);
        ASSERT_EQ(m.CloseSession(true).Key, 0);
    });
    const std::string closed = "DISC IS NOT WRITABLE: THE DISC IS CLOSED";
    EXPECT_EQ(RefusalsOfEveryOperation(),
              (std::vector<std::string>{"data: " + closed, "data: " + closed, "blank: DISC IS NOT ERASABLE: BD-R DL",
                                        "audio: >>> DISC IS NOT WRITABLE: AN AUDIO CD NEEDS A CD-R OR CD-RW, NOT BD-R DL"}));
    ExpectNothingChangedTheDisc();
}

}  // namespace
}  // namespace kv
