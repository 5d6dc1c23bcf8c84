#include <dlfcn.h>

#include "DeviceFixture.h"

namespace kv::test {
namespace {

class LibraryPathTest : public DeviceFixture {
protected:
    void SetUp() override {
        DeviceFixture::SetUp();
        lib = dlopen(KV_FAKE_LIBRARY, RTLD_NOW);
        ASSERT_NE(lib, nullptr);
        count = reinterpret_cast<size_t (*)()>(dlsym(lib, "FakeLibraryBlockCount"));
        block = reinterpret_cast<void (*)(size_t, uint8_t*)>(dlsym(lib, "FakeLibraryBlock"));
        join = reinterpret_cast<void (*)()>(dlsym(lib, "FakeLibraryJoinWorkers"));
        ASSERT_TRUE(device.InitializeASPI(false, KV_FAKE_LIBRARY));
    }
    void TearDown() override {
        join();
        DeviceFixture::TearDown();
        dlclose(lib);
    }
    std::array<uint8_t, kSrbBlockSize> LastBlock() {
        std::array<uint8_t, kSrbBlockSize> b{};
        block(count() - 1, b.data());
        return b;
    }
    void* lib = nullptr;
    size_t (*count)() = nullptr;
    void (*block)(size_t, uint8_t*) = nullptr;
    void (*join)() = nullptr;
};

TEST_F(LibraryPathTest, ScanAndSelectionThroughTheLibrary) {
    EXPECT_EQ(device.HostAdapterCount(), 1);
    ASSERT_EQ(device.DeviceList(), std::vector<std::string>{"0:0:0,H: LIBRARY FAKE RECORDER   1.00"});
    ASSERT_TRUE(device.SetDevice(device.DeviceList()[0]));
    EXPECT_EQ(device.DeviceName(), "LIBRARY  FAKE RECORDER    1.00");
}

TEST_F(LibraryPathTest, RequestBlockFilledByTheExecutor) {
    device.SetAddress(0, 0, 2);
    device.Inquiry();
    auto b = LastBlock();
    TSrbView srb(b.data());
    EXPECT_EQ(srb.Command(), kSrbExecScsiCommand);
    EXPECT_EQ(srb.Flags(), 0x48);
    EXPECT_EQ(srb.SenseLength(), 24);
    EXPECT_EQ(srb.CdbLength(), 6);
    EXPECT_EQ(srb.Lun(), 2);
    EXPECT_EQ(srb.DataLength(), 128u);
    EXPECT_EQ(srb.Cdb()[0], 0x12);
    EXPECT_EQ(srb.Cdb()[1], 0x40) << "LUN in bits 7-5 of CDB byte 1";
    EXPECT_EQ(srb.Cdb()[4], 0x80);
    EXPECT_NE(srb.PostEvent(), 0) << "completion event requested";
    EXPECT_EQ(srb.DataPointer(), device.InquiryData().data());
    EXPECT_EQ(srb.BufferLow32(), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(device.InquiryData().data())));

    device.SetAddress(0, 0, 0);
    const uint8_t data[2048] = {};
    device.WriteSectors(0, 1, 0x50, 2048, data);
    b = LastBlock();
    EXPECT_EQ(TSrbView(b.data()).Flags(), 0x50);
    EXPECT_TRUE(device.TestUnitReady(1000));
    b = LastBlock();
    EXPECT_EQ(TSrbView(b.data()).Flags(), 0x40);
}

TEST_F(LibraryPathTest, HungCommandTimesOutAfterAtLeastTenSeconds) {
    ASSERT_TRUE(device.SetDevice(device.DeviceList()[0]));
    TSRB srb;
    srb.SetFlags(kSrbEventNotify);
    srb.SetCdbLength(12);
    srb.Cdb()[0] = 0xA1;  // the fake library never completes BLANK
    const int64_t start = EngineClock::NowMs();
    EXPECT_EQ(device.ExecSCSICommand(srb, 1), 1);
    EXPECT_GE(EngineClock::NowMs() - start, 9990) << "timeouts below 10 s are raised to 10 s";
    EXPECT_EQ(srb.Status(), kSrbError);
    EXPECT_EQ(srb.HostStatus(), kHostCommandTimeout);
    EXPECT_EQ(device.LastError(), "COMMAND TIMEOUT");
}

TEST_F(LibraryPathTest, AsynchronousCompletionSignalsTheEvent) {
    EngineClock::SetTimeScale(1);
    ASSERT_TRUE(device.SetDevice(device.DeviceList()[0]));
    EXPECT_TRUE(device.EjectMedium(true)) << "completed from the library's own thread";
    EXPECT_EQ(device.LastError(), "");
}

TEST_F(LibraryPathTest, UnloadFreesTheLibraryAndCommandsStop) {
    ASSERT_TRUE(device.SetDevice(device.DeviceList()[0]));
    EXPECT_TRUE(device.UnloadASPI());
    EXPECT_FALSE(TSCSIDevice::ASPIInitialized());
    EXPECT_FALSE(device.TestUnitReady(1000));
    EXPECT_FALSE(device.Blank(false));
}

}  // namespace
}  // namespace kv::test
