#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/ByteOrder.h"
#include "platform/EngineClock.h"
#include "virtualrecorder/Medium.h"
#include "virtualrecorder/VirtualRecorder.h"

namespace kv::vr {
inline std::ostream& operator<<(std::ostream& o, const TSense& s) {
    char text[16];
    std::snprintf(text, sizeof text, "%X/%02X/%02X", s.Key, s.Asc, s.Ascq);
    return o << text;
}

namespace test {

struct TReply {
    TPassThroughResult Result;
    std::vector<uint8_t> Data;
    bool Good() const { return Result.Completed && Result.ScsiStatus == 0 && Result.HostStatus == 0; }
    TSense Sense() const {
        if (Result.ScsiStatus != 2) return {};
        return {static_cast<uint8_t>(Result.Sense[2] & 0x0F), Result.Sense[12], Result.Sense[13]};
    }
    uint16_t Progress() const { return (Result.Sense[15] & 0x80) ? GetBE16(&Result.Sense[16]) : 0; }
};

// One SEND CUE SHEET entry at `lba` (ADR and CONTROL in the first byte).
inline std::vector<uint8_t> CueEntry(uint8_t ctlAdr, uint8_t tno, uint8_t index, uint8_t form, int32_t lba) {
    const TMsf m = LbaToMsf(lba);
    return {ctlAdr, tno, index, form, 0, m.M, m.S, m.F};
}

// Drives a recorder the way the transport does: one CDB at a time through Execute().
class TDriveHarness {
public:
    explicit TDriveHarness(TVirtualRecorder& recorder) : rec_(recorder) {}

    TReply Run(std::initializer_list<uint8_t> cdb, TDataDirection direction = TDataDirection::None,
               std::vector<uint8_t> out = {}, uint32_t inLength = 0) {
        TPassThroughRequest request;
        std::copy(cdb.begin(), cdb.end(), request.Cdb.begin());
        request.CdbLength = static_cast<uint8_t>(cdb.size());
        request.Direction = direction;
        TReply reply;
        if (direction == TDataDirection::In) {
            reply.Data.assign(inLength, 0xEE);
            request.Data = reply.Data.data();
            request.DataLength = inLength;
        } else if (direction == TDataDirection::Out) {
            outBuffer_ = std::move(out);
            request.Data = outBuffer_.data();
            request.DataLength = static_cast<uint32_t>(outBuffer_.size());
        }
        reply.Result = rec_.Execute(request);
        if (direction == TDataDirection::In) reply.Data.resize(reply.Result.Transferred);
        return reply;
    }

    static uint8_t B(uint32_t v, int shift) { return static_cast<uint8_t>(v >> shift); }

    TReply Tur() { return Run({0x00, 0, 0, 0, 0, 0}); }
    TReply RequestSense() { return Run({0x03, 0, 0, 0, 18, 0}, TDataDirection::In, {}, 18); }
    TReply Inquiry() { return Run({0x12, 0, 0, 0, 96, 0}, TDataDirection::In, {}, 96); }
    TReply Eject() { return Run({0x1B, 0, 0, 0, 0x02, 0}); }
    TReply Load() { return Run({0x1B, 0, 0, 0, 0x03, 0}); }
    TReply Prevent(bool on) { return Run({0x1E, 0, 0, 0, static_cast<uint8_t>(on), 0}); }
    TReply ReadDiscInfo() { return Run({0x51, 0, 0, 0, 0, 0, 0, 0, 56, 0}, TDataDirection::In, {}, 56); }
    TReply ReadTrackInfo(uint32_t track, uint8_t type = 1) {
        return Run({0x52, type, B(track, 24), B(track, 16), B(track, 8), B(track, 0), 0, 0, 48, 0},
                   TDataDirection::In, {}, 48);
    }
    TReply ReadToc(uint8_t format, uint8_t track = 0, bool msf = false) {
        return Run({0x43, static_cast<uint8_t>(msf ? 2 : 0), format, 0, 0, 0, track, 0x03, 0xFF, 0},
                   TDataDirection::In, {}, 1023);
    }
    TReply ReadCapacity() { return Run({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, TDataDirection::In, {}, 8); }
    TReply ReadFormatCapacities() {
        return Run({0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0}, TDataDirection::In, {}, 248);
    }
    TReply ReadBufferCapacity() {
        return Run({0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, TDataDirection::In, {}, 12);
    }
    TReply GetConfiguration(uint8_t rt, uint16_t feature) {
        return Run({0x46, rt, B(feature, 8), B(feature, 0), 0, 0, 0, 0x04, 0, 0}, TDataDirection::In, {},
                   1024);
    }
    uint16_t Profile() {
        TReply r = GetConfiguration(2, 0);
        return r.Data.size() >= 8 ? GetBE16(&r.Data[6]) : 0xFFFF;
    }
    TReply ModeSense(uint8_t page, uint8_t pageControl = 0) {
        return Run({0x5A, 0, static_cast<uint8_t>((pageControl << 6) | page), 0, 0, 0, 0, 0x02, 0, 0},
                   TDataDirection::In, {}, 512);
    }
    // Sends page 05h as the engine does: an 8-byte zero header followed by the 52-byte page.
    TReply ModeSelect(std::vector<uint8_t> page) {
        std::vector<uint8_t> list(8, 0);
        list.insert(list.end(), page.begin(), page.end());
        const uint16_t n = static_cast<uint16_t>(list.size());
        return Run({0x55, 0x10, 0, 0, 0, 0, 0, B(n, 8), B(n, 0), 0}, TDataDirection::Out, list);
    }
    static std::vector<uint8_t> WritePage(uint8_t writeType, uint8_t byte3, uint8_t blockType,
                                          bool test = false, bool bufe = true) {
        std::vector<uint8_t> p(52, 0);
        p[0] = 0x05;
        p[1] = 0x32;
        p[2] = static_cast<uint8_t>((bufe ? 0x40 : 0) | (test ? 0x10 : 0) | writeType);
        p[3] = byte3;
        p[4] = blockType;
        PutBE16(&p[14], 150);
        return p;
    }
    // Track-at-once Mode 1 data; `open` keeps the disc appendable (multisession 11b).
    TReply SetTaoData(bool open = true, bool test = false) {
        return ModeSelect(WritePage(1, open ? 0xC4 : 0x04, 8, test));
    }
    TReply SetTaoAudio(bool open = true) { return ModeSelect(WritePage(1, open ? 0xC0 : 0x00, 0)); }
    TReply SetSao(bool open = false, bool test = false) {
        return ModeSelect(WritePage(2, open ? 0xC4 : 0x04, 0, test));
    }

    TReply Write(int32_t lba, uint32_t count, const std::vector<uint8_t>& data) {
        const uint32_t a = static_cast<uint32_t>(lba);
        return Run({0x2A, 0, B(a, 24), B(a, 16), B(a, 8), B(a, 0), 0, B(count, 8), B(count, 0), 0},
                   TDataDirection::Out, data);
    }
    TReply WritePattern(int32_t lba, uint32_t count, uint16_t sectorSize = 2048, uint8_t seed = 0) {
        return Write(lba, count, Pattern(lba, count, sectorSize, seed));
    }
    static std::vector<uint8_t> Pattern(int32_t lba, uint32_t count, uint16_t sectorSize, uint8_t seed = 0) {
        std::vector<uint8_t> d(size_t{count} * sectorSize);
        for (uint32_t i = 0; i < count; ++i)
            for (uint32_t j = 0; j < sectorSize; ++j)
                d[size_t{i} * sectorSize + j] =
                    static_cast<uint8_t>((lba + static_cast<int32_t>(i)) * 7 + j + seed);
        return d;
    }
    TReply Read(int32_t lba, uint32_t count) {
        const uint32_t a = static_cast<uint32_t>(lba);
        return Run({0x28, 0, B(a, 24), B(a, 16), B(a, 8), B(a, 0), 0, B(count, 8), B(count, 0), 0},
                   TDataDirection::In, {}, count * 2048);
    }
    TReply ReadCdAudio(int32_t lba, uint32_t count) {
        const uint32_t a = static_cast<uint32_t>(lba);
        return Run({0xBE, 0x04, B(a, 24), B(a, 16), B(a, 8), B(a, 0), B(count, 16), B(count, 8), B(count, 0),
                    0x10, 0, 0},
                   TDataDirection::In, {}, count * 2352);
    }
    TReply Sync(bool immediate = false) {
        return Run({0x35, static_cast<uint8_t>(immediate ? 2 : 0), 0, 0, 0, 0, 0, 0, 0, 0});
    }
    TReply Close(uint8_t function, uint16_t track = 0, bool immediate = false) {
        return Run(
            {0x5B, static_cast<uint8_t>(immediate), function, 0, B(track, 8), B(track, 0), 0, 0, 0, 0});
    }
    TReply Reserve(uint32_t blocks) {
        return Run({0x53, 0, 0, 0, 0, B(blocks, 24), B(blocks, 16), B(blocks, 8), B(blocks, 0), 0, 0, 0});
    }
    TReply Blank(bool minimal, bool immediate = true) {
        return Run({0xA1, static_cast<uint8_t>((immediate ? 0x10 : 0) | (minimal ? 1 : 0)), 0, 0, 0, 0, 0, 0,
                    0, 0, 0, 0});
    }
    TReply Format(std::vector<uint8_t> list) {
        return Run({0x04, 0x11, 0, 0, 0, 0}, TDataDirection::Out, list);
    }
    TReply SendCueSheet(const std::vector<uint8_t>& sheet) {
        const uint32_t n = static_cast<uint32_t>(sheet.size());
        return Run({0x5D, 0, 0, 0, 0, 0, B(n, 16), B(n, 8), B(n, 0), 0}, TDataDirection::Out, sheet);
    }
    TReply SetCdSpeed(uint16_t read, uint16_t write) {
        return Run({0xBB, 0, B(read, 8), B(read, 0), B(write, 8), B(write, 0), 0, 0, 0, 0, 0, 0});
    }

    // Waits (bounded) until TEST UNIT READY is GOOD, as after loading a tray.
    bool WaitReady(int attempts = 2000) {
        for (int i = 0; i < attempts; ++i) {
            if (Tur().Good()) return true;
            EngineClock::SleepMs(100);
        }
        return false;
    }

    // Disc information fields the tests look at.
    struct TDiscInfo {
        uint8_t Status, LastState, Sessions, FirstTrackLast, LastTrackLast;
        bool Erasable;
    };
    TDiscInfo DiscInfo() {
        TReply r = ReadDiscInfo();
        EXPECT_TRUE(r.Good()) << r.Sense();
        if (r.Data.size() < 34) return {};
        return {static_cast<uint8_t>(r.Data[2] & 3),
                static_cast<uint8_t>((r.Data[2] >> 2) & 3),
                r.Data[4],
                r.Data[5],
                r.Data[6],
                (r.Data[2] & 0x10) != 0};
    }
    struct TTrackInfo {
        uint8_t Number, Session;
        bool Blank, NwaValid, Reserved;
        uint32_t Start, Nwa, Free, Size, LastRecorded;
    };
    TTrackInfo TrackInfo(uint32_t track, uint8_t type = 1) {
        TReply r = ReadTrackInfo(track, type);
        EXPECT_TRUE(r.Good()) << "track " << track << ": " << r.Sense();
        if (r.Data.size() < 36) return {};
        const auto& d = r.Data;
        return {d[2],
                d[3],
                (d[6] & 0x40) != 0,
                (d[7] & 1) != 0,
                (d[6] & 0x80) != 0,
                GetBE32(&d[8]),
                GetBE32(&d[12]),
                GetBE32(&d[16]),
                GetBE32(&d[24]),
                GetBE32(&d[28])};
    }

private:
    TVirtualRecorder& rec_;
    std::vector<uint8_t> outBuffer_;
};

// A recorder with a fresh medium file in a private folder; engine time runs fast.
class TRecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        EngineClock::SetTimeScale(Scale());
        dir_ = std::filesystem::temp_directory_path() /
               ("kv-vr-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        recorder_.reset();
        std::filesystem::remove_all(dir_);
        EngineClock::SetTimeScale(1.0);
    }
    virtual double Scale() const { return 100000.0; }
    virtual TDriveModel Model() const { return TDriveModel{}; }

    std::string PathFor(const std::string& name) const { return (dir_ / name).string(); }

    // Creates `name` holding a new medium and loads it into a new recorder.
    TDriveHarness& Insert(EMediumKind kind, uint32_t capacity = 0, const std::string& name = "disc.kvm") {
        std::string error;
        auto medium = TMedium::Create(PathFor(name), kind, capacity, error);
        EXPECT_TRUE(medium) << error;
        recorder_ = std::make_unique<TVirtualRecorder>("virtual:test", Model());
        recorder_->Insert(std::move(medium));
        drive_ = std::make_unique<TDriveHarness>(*recorder_);
        EXPECT_TRUE(drive_->WaitReady());
        return *drive_;
    }
    // Replaces the recorder by a new one that loads the medium file again (a later process).
    TDriveHarness& Reload(const std::string& name = "disc.kvm") {
        recorder_.reset();
        recorder_ = std::make_unique<TVirtualRecorder>("virtual:test", Model());
        std::string error;
        EXPECT_TRUE(recorder_->InsertFile(PathFor(name), error)) << error;
        drive_ = std::make_unique<TDriveHarness>(*recorder_);
        EXPECT_TRUE(drive_->WaitReady());
        return *drive_;
    }

    std::filesystem::path dir_;
    std::unique_ptr<TVirtualRecorder> recorder_;
    std::unique_ptr<TDriveHarness> drive_;
};

}  // namespace test
}  // namespace kv::vr
