#include <functional>

#include "DeviceFixture.h"

namespace kv::test {
namespace {

using TBytes = std::vector<uint8_t>;

struct TCase {
    const char* Name;
    std::function<void(TSCSIDevice&, uint8_t* buffer)> Run;
    TBytes Cdb;
    TDataDirection Direction;
    uint32_t Length;
};

class CommandBytesTest : public DeviceFixture {};

TEST_F(CommandBytesTest, EveryCommandSendsItsExactCdb) {
    auto drive = AddDrive();
    Select();
    const auto None = TDataDirection::None, In = TDataDirection::In, Out = TDataDirection::Out;
    const std::vector<TCase> cases = {
        {"TestUnitReady", [](TSCSIDevice& d, uint8_t*) { d.TestUnitReady(5000); }, {0x00, 0, 0, 0, 0, 0}, None, 0},
        {"RewindUnit", [](TSCSIDevice& d, uint8_t*) { d.RewindUnit(); }, {0x01, 0, 0, 0, 0, 0}, None, 0},
        {"RequestSense", [](TSCSIDevice& d, uint8_t* b) { d.RequestSense(b, 40); }, {0x03, 0, 0, 0, 0x28, 0}, In, 40},
        {"FormatUnit", [](TSCSIDevice& d, uint8_t* b) { d.FormatUnit(0x11, b, 12); }, {0x04, 0x11, 0, 0, 0, 0}, Out, 12},
        {"EjectMedium(eject)", [](TSCSIDevice& d, uint8_t*) { d.EjectMedium(true); }, {0x1B, 0, 0, 0, 0x02, 0}, None, 0},
        {"EjectMedium(load)", [](TSCSIDevice& d, uint8_t*) { d.EjectMedium(false); }, {0x1B, 0, 0, 0, 0x03, 0}, None, 0},
        {"AllowMediumRemoval(allow)", [](TSCSIDevice& d, uint8_t*) { d.AllowMediumRemoval(true); },
         {0x1E, 0, 0, 0, 0x00, 0}, None, 0},
        {"AllowMediumRemoval(prevent)", [](TSCSIDevice& d, uint8_t*) { d.AllowMediumRemoval(false); },
         {0x1E, 0, 0, 0, 0x01, 0}, None, 0},
        {"ReadFormatCapacities", [](TSCSIDevice& d, uint8_t*) { d.ReadFormatCapacities(); },
         {0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0}, In, 248},
        {"ReadCapacity", [](TSCSIDevice& d, uint8_t*) { uint32_t a, b; d.ReadCapacity(a, b); },
         {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, In, 8},
        {"ReadSectors", [](TSCSIDevice& d, uint8_t* b) { d.ReadSectors(0x01020304, 0x0506, 4096, b); },
         {0x28, 0, 0x01, 0x02, 0x03, 0x04, 0, 0x05, 0x06, 0}, In, 4096},
        {"WriteSectors", [](TSCSIDevice& d, uint8_t* b) { d.WriteSectors(0xFFFFFF6A, 2, 0x50, 4096, b); },
         {0x2A, 0, 0xFF, 0xFF, 0xFF, 0x6A, 0, 0x00, 0x02, 0}, Out, 4096},
        {"SynchronizeCache(immediate)", [](TSCSIDevice& d, uint8_t*) { d.SynchronizeCache(1000, true); },
         {0x35, 0x02, 0, 0, 0, 0, 0, 0, 0, 0}, None, 0},
        {"SynchronizeCache", [](TSCSIDevice& d, uint8_t*) { d.SynchronizeCache(1000, false); },
         {0x35, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}, None, 0},
        {"GetConfiguration", [](TSCSIDevice& d, uint8_t* b) { d.GetConfiguration(2, 0x2A, 114, b); },
         {0x46, 0x02, 0, 0x2A, 0, 0, 0, 0, 0x72, 0}, In, 114},
        {"ReadDiscInformation", [](TSCSIDevice& d, uint8_t*) { d.ReadDiscInformation(); },
         {0x51, 0, 0, 0, 0, 0, 0, 0, 0x38, 0}, In, 56},
        {"ReadTrackInformation(invisible)", [](TSCSIDevice& d, uint8_t*) { d.ReadTrackInformation(255); },
         {0x52, 0x01, 0, 0, 0, 0xFF, 0, 0, 0x28, 0}, In, 40},
        {"ReserveTrack", [](TSCSIDevice& d, uint8_t*) { d.ReserveTrack(0x11223344); },
         {0x53, 0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44, 0, 0, 0}, None, 0},
        {"SendOPC", [](TSCSIDevice& d, uint8_t*) { d.SendOPC(); }, {0x54, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}, None, 0},
        {"ModeSelect", [](TSCSIDevice& d, uint8_t*) { d.ModeSelect(60); },
         {0x55, 0x10, 0, 0, 0, 0, 0, 0, 0x3C, 0}, Out, 60},
        {"ModeSense(default)", [](TSCSIDevice& d, uint8_t* b) { d.ModeSense(0x2A, b, true, 255, 255); },
         {0x5A, 0, 0xAA, 0, 0, 0, 0, 0, 0xFF, 0}, In, 255},
        {"ModeSense(current)", [](TSCSIDevice& d, uint8_t* b) { d.ModeSense(0x05, b, false, 0x123, 4096); },
         {0x5A, 0, 0x05, 0, 0, 0, 0, 0x01, 0x23, 0}, In, 0x123},
        {"CloseTrackSession(track, immediate)", [](TSCSIDevice& d, uint8_t*) { d.CloseTrackSession(true, true, false); },
         {0x5B, 0x01, 0x01, 0, 0, 0xFF, 0, 0, 0, 0}, None, 0},
        {"CloseTrackSession(session)", [](TSCSIDevice& d, uint8_t*) { d.CloseTrackSession(false, false, false); },
         {0x5B, 0x00, 0x02, 0, 0, 0x00, 0, 0, 0, 0}, None, 0},
        {"CloseTrackSession(finalize)", [](TSCSIDevice& d, uint8_t*) { d.CloseTrackSession(true, false, true); },
         {0x5B, 0x00, 0x05, 0, 0, 0xFF, 0, 0, 0, 0}, None, 0},
        {"CloseTrackSessionRaw", [](TSCSIDevice& d, uint8_t*) { d.CloseTrackSessionRaw(true, 0x06, 1, 2, 3); },
         {0x5B, 0x01, 0x06, 0x01, 0x02, 0x03, 0, 0, 0, 0}, None, 0},
        {"ReadBufferCapacity", [](TSCSIDevice& d, uint8_t*) { d.ReadBufferCapacity(); },
         {0x5C, 0, 0, 0, 0, 0, 0, 0, 0x20, 0}, In, 32},
        {"SendCueSheet", [](TSCSIDevice& d, uint8_t* b) { d.SendCueSheet(b, 0x123); },
         {0x5D, 0, 0, 0, 0, 0, 0, 0x01, 0x23, 0}, Out, 0x123},
        {"ReadTOC(ATIP, MSF)", [](TSCSIDevice& d, uint8_t* b) { d.ReadTOC(4, b, 26, 0, true, 0); },
         {0x43, 0x02, 0x04, 0, 0, 0, 0, 0, 0x1A, 0}, In, 26},
        {"ReadTOC(track, control)", [](TSCSIDevice& d, uint8_t* b) { d.ReadTOC(0, b, 114, 5, false, 0x40); },
         {0x43, 0x00, 0x00, 0, 0, 0, 0x05, 0, 0x72, 0x40}, In, 114},
        {"Blank(quick)", [](TSCSIDevice& d, uint8_t*) { d.Blank(true); }, {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         None, 0},
        {"Blank(full)", [](TSCSIDevice& d, uint8_t*) { d.Blank(false); }, {0xA1, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         None, 0},
        {"SetStreaming", [](TSCSIDevice& d, uint8_t* b) { d.SetStreaming(b, 28); },
         {0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1C, 0}, Out, 28},
        {"SetCDSpeed(max)", [](TSCSIDevice& d, uint8_t*) { d.SetCDSpeed(0, 0); },
         {0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}, None, 0},
        {"SetCDSpeed", [](TSCSIDevice& d, uint8_t*) { d.SetCDSpeed(1764, 706); },
         {0xBB, 0, 0x06, 0xE4, 0x02, 0xC2, 0, 0, 0, 0, 0, 0}, None, 0},
        {"SendDVDStructure", [](TSCSIDevice& d, uint8_t* b) { d.SendDVDStructure(0x0F, b, 22); },
         {0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0, 0x16, 0, 0}, Out, 22},
    };
    std::vector<uint8_t> buffer(8192, 0x33);
    for (const auto& c : cases) {
        drive->Clear();
        c.Run(device, buffer.data());
        const auto rec = drive->Recorded();
        ASSERT_EQ(rec.size(), 1u) << c.Name;
        EXPECT_EQ(rec[0].Cdb, c.Cdb) << c.Name;
        EXPECT_EQ(rec[0].Direction, c.Direction) << c.Name;
        EXPECT_EQ(rec[0].Length, c.Length) << c.Name;
    }
}

TEST_F(CommandBytesTest, TimeStampAndModeSelectCarryTheirParameterData) {
    auto drive = AddDrive();
    Select();
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_hour = 8;
    t.tm_min = 7;
    t.tm_sec = 5;
    ASSERT_TRUE(device.SendTimeStamp(t));
    TBytes expected = {0x00, 0x14, 0, 0, 0, 0, 0, 0};
    for (char c : std::string("20261209080705")) expected.push_back(static_cast<uint8_t>(c));
    EXPECT_EQ(drive->Recorded().at(0).DataOut, expected);

    drive->Clear();
    auto transfer = device.TransferBuffer();
    for (size_t i = 0; i < 8; ++i) transfer[i] = static_cast<uint8_t>(i + 1);
    ASSERT_TRUE(device.ModeSelect(8));
    EXPECT_EQ(drive->Recorded().at(0).DataOut, (TBytes{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(CommandBytesTest, RepliesConvertedToHostOrder) {
    auto drive = AddDrive();
    Select();
    drive->Queue(0x25, TRecordingDrive::WithData({0x00, 0x05, 0x7F, 0xFF, 0x00, 0x00, 0x08, 0x00}));
    uint32_t last = 0, length = 0;
    ASSERT_TRUE(device.ReadCapacity(last, length));
    EXPECT_EQ(last, 0x57FFFu);
    EXPECT_EQ(length, 2048u);

    TBytes track(40, 0);
    for (size_t i = 8; i < 32; ++i) track[i] = static_cast<uint8_t>(i);
    drive->Queue(0x52, TRecordingDrive::WithData(track));
    ASSERT_TRUE(device.ReadTrackInformation(1));
    EXPECT_EQ(device.TrackInfo.TrackStart, 0x08090A0Bu);
    EXPECT_EQ(device.TrackInfo.NextWritable, 0x0C0D0E0Fu);
    EXPECT_EQ(device.TrackInfo.FreeBlocks, 0x10111213u);
    EXPECT_EQ(device.TrackInfo.FixedPacketSize, 0x14151617u);
    EXPECT_EQ(device.TrackInfo.TrackSize, 0x18191A1Bu);
    EXPECT_EQ(device.TrackInfo.LastRecorded, 0x1C1D1E1Fu);

    drive->Queue(0x5C, TRecordingDrive::WithData({0, 0x1E, 0, 0, 0, 0x20, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    ASSERT_TRUE(device.ReadBufferCapacity());
    EXPECT_EQ(device.DeviceBufferSize.load(), 0x200000u);
    EXPECT_EQ(device.DeviceFreeBufferSize.load(), 0x200000u) << "FFFFFFFFh means the whole buffer";
    drive->Queue(0x5C, TRecordingDrive::CheckCondition(5, 0x20, 0));
    EXPECT_FALSE(device.ReadBufferCapacity());
    EXPECT_EQ(device.DeviceFreeBufferSize.load(), 0u);
}

TEST_F(CommandBytesTest, ModeSenseClearsCallerBufferAndCopiesOnlyOnSuccess) {
    auto drive = AddDrive();
    Select();
    std::vector<uint8_t> buffer(300, 0xEE);
    drive->Queue(0x5A, TRecordingDrive::WithData(TBytes(255, 0x42)));
    ASSERT_TRUE(device.ModeSense(0x2A, buffer.data(), false, 255, 100));
    EXPECT_EQ(buffer[99], 0x42);
    EXPECT_EQ(buffer[100], 0xEE) << "never beyond the caller's buffer size";
    drive->Queue(0x5A, TRecordingDrive::CheckCondition(5, 0x24, 0));
    EXPECT_FALSE(device.ModeSense(0x2A, buffer.data(), false, 255, 100));
    EXPECT_EQ(buffer[0], 0x00);
}

TEST_F(CommandBytesTest, FormatCapacitiesDescriptorChoice) {
    auto drive = AddDrive();
    Select();
    auto reply = [](std::vector<std::pair<uint32_t, uint32_t>> descriptors) {
        TBytes r(4, 0);
        for (auto [blocks, word] : descriptors) {
            for (int s = 24; s >= 0; s -= 8) r.push_back(static_cast<uint8_t>(blocks >> s));
            for (int s = 24; s >= 0; s -= 8) r.push_back(static_cast<uint8_t>(word >> s));
        }
        return TRecordingDrive::WithData(r);
    };
    drive->Queue(0x23, reply({{100, 0x00000800}, {200, 0x00000800}}));
    EXPECT_EQ(device.ReadFormatCapacities(), 100u);
    drive->Queue(0x23, reply({{100, 0x02000800}, {200, 0x98000000}}));
    EXPECT_EQ(device.ReadFormatCapacities(), 200u);
    drive->Queue(0x23, reply({{100, 0x02000800}, {200, 0x01000800}, {300, 0x00000800}}));
    EXPECT_EQ(device.ReadFormatCapacities(), 300u);
    drive->Queue(0x23, reply({{100, 0x02000800}, {200, 0x01000800}, {300, 0x01000800}}));
    EXPECT_EQ(device.ReadFormatCapacities(), 100u);
    drive->Queue(0x23, TRecordingDrive::CheckCondition(5, 0x20, 0));
    bool ok = true;
    EXPECT_EQ(device.ReadFormatCapacities(&ok), 0u);
    EXPECT_FALSE(ok);
}

}  // namespace
}  // namespace kv::test
