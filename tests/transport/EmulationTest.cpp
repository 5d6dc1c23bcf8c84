#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <thread>

#include "FakeLayer.h"
#include "transport/PassThrough.h"
#include "transport/RequestInterface.h"
#include "transport/Srb.h"

namespace kv::test {
namespace {

class TSoftIdentity : public TSoftDrive {
public:
    explicit TSoftIdentity(std::string path) : path_(std::move(path)) {}
    std::string DevicePath() const override { return path_; }
    TPassThroughResult Execute(const TPassThroughRequest& request) override {
        TPassThroughResult r;
        r.Completed = true;
        if (request.Cdb[0] == 0x12 && request.Data) {
            uint8_t reply[36] = {0x05};
            std::memcpy(reply + 8, "KELVADORVIRTUAL RECORDER    1.0 ", 28);
            std::memcpy(request.Data, reply, std::min<uint32_t>(36, request.DataLength));
        }
        return r;
    }

private:
    std::string path_;
};

class EmulationTest : public ::testing::Test {
protected:
    void TearDown() override {
        ShutdownRequestInterface();
        SetPassThroughLayer(nullptr);
        SetSoftDriveSource({});
    }
    std::shared_ptr<TFakeLayer> Install(std::vector<TFakeLayer::TNode> nodes,
                                        std::vector<std::shared_ptr<TSoftDrive>> soft = {}) {
        auto layer = std::make_shared<TFakeLayer>(std::move(nodes));
        SetPassThroughLayer(layer);
        SetSoftDriveSource([soft] { return soft; });
        return layer;
    }
    static TFakeLayer::TNode Node(int n, std::string identity = "VENDOR  PRODUCT NAME    1.00") {
        return {n, std::move(identity)};
    }
};

uint8_t Exec(uint8_t adapter, uint8_t target, std::array<uint8_t, 6> cdb, uint8_t* data = nullptr,
             uint32_t length = 0, TSRB* out = nullptr) {
    TSRB local;
    TSRB& srb = out ? *out : local;
    srb.SetCommand(kSrbExecScsiCommand);
    srb.SetHostAdapter(adapter);
    srb.SetTarget(target);
    srb.SetFlags(data ? kSrbDirIn : 0);
    srb.SetCdbLength(6);
    std::copy(cdb.begin(), cdb.end(), srb.Cdb().begin());
    srb.SetDataPointer(data);
    srb.SetDataLength(length);
    EXPECT_TRUE(SendRequest(srb.Raw()));
    return srb.Status();
}

TEST_F(EmulationTest, DriveTableLettersAddressesAndSoftwareAdapter) {
    auto a = std::make_shared<TSoftIdentity>("virtual:a.kvm");
    auto b = std::make_shared<TSoftIdentity>("virtual:b.kvm");
    auto layer = Install({Node(0), {1, "X", 5, true, false}, {2, "Y", 5, false, true}, Node(9)}, {a, b});
    ASSERT_TRUE(LoadRequestInterface(true, ""));
    EXPECT_EQ(RequestInterfaceName(), "ZLASPI32");
    EXPECT_TRUE(RequestInterfaceIsBuiltIn());

    // sr0 -> D: at 0:0, sr9 -> M: at 1:1; sr1 (open fails) and sr2 (INQUIRY fails) are absent.
    EXPECT_EQ(DriveLetterOf(0, 0, 0), 'D');
    EXPECT_EQ(DriveLetterOf(1, 1, 0), 'M');
    EXPECT_EQ(DriveLetterOf(0, 1, 0), char(127));
    EXPECT_EQ(DriveLetterOf(0, 2, 0), char(127));
    EXPECT_FALSE(EmulatedAddressOfPath("/dev/sr1"));
    // Software drives: next adapter after the highest real one, targets in order, next letters.
    EXPECT_EQ(DriveLetterOf(2, 0, 0), 'N');
    EXPECT_EQ(DriveLetterOf(2, 1, 0), 'O');
    auto addr = EmulatedAddressOfPath("virtual:b.kvm");
    ASSERT_TRUE(addr);
    EXPECT_EQ(addr->HostAdapter, 2);
    EXPECT_EQ(addr->TargetId, 1);
    addr = EmulatedAddressOfPath("/dev/sr9");
    ASSERT_TRUE(addr);
    EXPECT_EQ(addr->HostAdapter, 1);
    EXPECT_EQ(addr->TargetId, 1);
    EXPECT_EQ(RequestSupportInfo(), 0x0103u);
    EXPECT_EQ(layer->OpenCount(), 0u) << "probe handles are closed";

    TSRB type;
    type.SetCommand(kSrbGetDeviceType);
    type.SetHostAdapter(2);
    type.SetTarget(1);
    SendRequest(type.Raw());
    EXPECT_EQ(type.Status(), kSrbDone);
    EXPECT_EQ(type.DeviceType(), 0x05);
    TSRB absent;
    absent.SetCommand(kSrbGetDeviceType);
    absent.SetTarget(3);
    SendRequest(absent.Raw());
    EXPECT_EQ(absent.Status(), kSrbNoDevice);
    EXPECT_EQ(absent.DeviceType(), 0x1F);
}

TEST_F(EmulationTest, SoftwareDrivesAloneAndNoDrivesAtAll) {
    Install({});
    EXPECT_FALSE(LoadRequestInterface(true, ""));
    EXPECT_FALSE(RequestInterfaceLoaded());
    EXPECT_FALSE(SendRequest(TSRB().Raw()));
    ShutdownRequestInterface();

    Install({}, {std::make_shared<TSoftIdentity>("virtual:only.kvm")});
    ASSERT_TRUE(LoadRequestInterface(false, ""));  // no library anywhere: falls back to the emulation
    EXPECT_EQ(RequestInterfaceName(), "ZLASPI32");
    EXPECT_EQ(DriveLetterOf(1, 0, 0), 'D');
    EXPECT_EQ(RequestSupportInfo(), 0x0102u);
}

TEST_F(EmulationTest, HostAdapterInquiryReply) {
    Install({Node(8)});
    ASSERT_TRUE(LoadRequestInterface(true, ""));
    TSRB srb;
    srb.SetCommand(kSrbHostAdapterInquiry);
    srb.SetHostAdapter(1);
    SendRequest(srb.Raw());
    ASSERT_EQ(srb.Status(), kSrbDone);
    EXPECT_EQ(srb.Byte(8), 2);
    EXPECT_EQ(srb.Byte(9), 7);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(srb.Raw() + 26), 16), std::string("SPTI 1") + std::string(10, '\0'));
    EXPECT_EQ(GetLE16(srb.Raw() + 42), 7);
    EXPECT_EQ(srb.Byte(45), 8);
    EXPECT_EQ(GetLE32(srb.Raw() + 46), 0x00FF0000u);
    TSRB beyond;
    beyond.SetCommand(kSrbHostAdapterInquiry);
    beyond.SetHostAdapter(2);
    SendRequest(beyond.Raw());
    EXPECT_EQ(beyond.Status(), kSrbInvalidHostAdapter);
    TSRB unknown;
    unknown.SetCommand(kSrbResetDevice);
    SendRequest(unknown.Raw());
    EXPECT_EQ(unknown.Status(), kSrbError);
}

TEST_F(EmulationTest, InquiryAnsweredFromTableWithinCallersLength) {
    auto layer = Install({Node(0, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01")});
    ASSERT_TRUE(LoadRequestInterface(true, ""));
    const auto before = layer->Commands().size();
    std::array<uint8_t, 64> buffer;
    buffer.fill(0xEE);
    EXPECT_EQ(Exec(0, 0, {0x12, 0, 0, 0, 5, 0}, buffer.data(), 5), kSrbDone);
    EXPECT_EQ(buffer[0], 0x05);
    EXPECT_EQ(buffer[5], 0xEE) << "never more than the caller's data length";
    EXPECT_EQ(Exec(0, 0, {0x12, 0, 0, 0, 60, 0}, buffer.data(), 60), kSrbDone);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data() + 8), 28), "ABCDEFGHIJKLMNOPQRSTUVWXYZ01");
    EXPECT_EQ(buffer[36], 0xEE) << "36 stored bytes";
    EXPECT_EQ(layer->Commands().size(), before) << "the drive is not touched";
    EXPECT_EQ(Exec(0, 5, {0x12, 0, 0, 0, 5, 0}, buffer.data(), 5), kSrbNoDevice);
}

TEST_F(EmulationTest, PassThroughOutcomesMapToStatusBytes) {
    auto layer = Install({Node(0)});
    ASSERT_TRUE(LoadRequestInterface(true, ""));
    EXPECT_EQ(Exec(0, 0, {0x00}), kSrbDone);

    layer->Reply = {};
    layer->Reply.Completed = true;
    layer->Reply.ScsiStatus = 0x02;
    layer->Reply.Sense.fill(0x5A);
    layer->Reply.SenseLength = 32;
    TSRB check;
    EXPECT_EQ(Exec(0, 0, {0x00}, nullptr, 0, &check), kSrbError);
    EXPECT_EQ(check.TargetStatus(), 0x02);
    EXPECT_EQ(check.Sense()[31], 0x5A);
    EXPECT_EQ(check.Sense()[32], 0x00) << "32 sense bytes, the 33rd stays clear";

    layer->Reply = {};  // platform call failed (errno)
    TSRB failed;
    EXPECT_EQ(Exec(0, 0, {0x00}, nullptr, 0, &failed), kSrbError);
    EXPECT_EQ(failed.TargetStatus(), 0);
    EXPECT_EQ(failed.HostStatus(), 0);
    EXPECT_EQ(failed.Sense()[0], 0);

    layer->Reply = {};
    layer->Reply.Completed = true;
    layer->Reply.HostStatus = kHostCommandTimeout;
    TSRB timeout;
    EXPECT_EQ(Exec(0, 0, {0x00}, nullptr, 0, &timeout), kSrbError);
    EXPECT_EQ(timeout.HostStatus(), kHostCommandTimeout);
}

TEST_F(EmulationTest, HandleKeptOpenUntilReleasedOrClosed) {
    auto layer = Install({Node(0)});
    ASSERT_TRUE(LoadRequestInterface(true, ""));
    Exec(0, 0, {0x00});
    EXPECT_EQ(layer->OpenCount(), 1u);
    Exec(0, 0, {0x00});
    EXPECT_EQ(layer->OpenCount(), 1u) << "one handle per drive";
    SetReleaseHandleAfterCommand(true);
    Exec(0, 0, {0x00});
    SetReleaseHandleAfterCommand(false);
    EXPECT_EQ(layer->OpenCount(), 0u);
    Exec(0, 0, {0x00});
    EXPECT_EQ(layer->OpenCount(), 1u);
    ShutdownRequestInterface();
    EXPECT_EQ(layer->OpenCount(), 0u);
}

TEST_F(EmulationTest, CommandsFromTwoThreadsWhileHandlesAreReleased) {
    auto layer = Install({Node(0), Node(1)});
    ASSERT_TRUE(LoadRequestInterface(true, ""));
    auto worker = [](uint8_t target) {
        for (int i = 0; i < 400; ++i) {
            if (target == 1) SetReleaseHandleAfterCommand(i % 2 == 0);
            TSRB srb;
            EXPECT_EQ(Exec(0, target, {0x00}, nullptr, 0, &srb), kSrbDone);
        }
    };
    std::thread t1(worker, 0), t2(worker, 1), t3(worker, 0);
    t1.join();
    t2.join();
    t3.join();
    SetReleaseHandleAfterCommand(false);
    EXPECT_EQ(layer->commandsOnClosedHandle.load(), 0);
    ShutdownRequestInterface();
    EXPECT_EQ(layer->OpenCount(), 0u);
}

TEST_F(EmulationTest, SecondLoadKeepsTableReloadRebuildsIt) {
    std::vector<std::shared_ptr<TSoftDrive>> soft;
    auto layer = Install({Node(0)});
    SetSoftDriveSource([&soft] { return soft; });
    ASSERT_TRUE(LoadRequestInterface(true, ""));
    soft.push_back(std::make_shared<TSoftIdentity>("virtual:late.kvm"));
    EXPECT_TRUE(LoadRequestInterface(true, ""));
    EXPECT_FALSE(EmulatedAddressOfPath("virtual:late.kvm")) << "an emulation in use is not rebuilt";
    EXPECT_TRUE(UnloadRequestInterface());
    EXPECT_TRUE(RequestInterfaceLoaded()) << "unloading leaves the emulation loaded";
    ASSERT_TRUE(ReloadRequestInterface());
    EXPECT_TRUE(EmulatedAddressOfPath("virtual:late.kvm"));
}

TEST_F(EmulationTest, ExternalLibraryLoadingAndRefusal) {
    Install({});
    EXPECT_FALSE(LoadRequestInterface(false, KV_FAKE_LIBRARY_INCOMPLETE)) << "missing SendASPI32Command";
    EXPECT_FALSE(RequestInterfaceLoaded());
    EXPECT_FALSE(LoadRequestInterface(false, "/nonexistent/libwnaspi32.so"));

    ASSERT_TRUE(LoadRequestInterface(false, KV_FAKE_LIBRARY));
    EXPECT_EQ(RequestInterfaceName(), "WNASPI32.DLL");
    EXPECT_FALSE(RequestInterfaceIsBuiltIn());
    EXPECT_EQ(RequestSupportInfo(), 0x0101u);
    void* lib = dlopen(KV_FAKE_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr);
    auto count = reinterpret_cast<size_t (*)()>(dlsym(lib, "FakeLibraryBlockCount"));
    const size_t before = count();
    uint8_t inquiry[36] = {};
    EXPECT_EQ(Exec(0, 0, {0x12, 0, 0, 0, 36, 0}, inquiry, 36), kSrbDone);
    EXPECT_EQ(count(), before + 1) << "commands are routed to the library";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(inquiry + 8), 7), "LIBRARY");
    EXPECT_EQ(DriveLetterOf(0, 0, 0), 'H') << "asked with command 6";
    dlclose(lib);

    EXPECT_TRUE(UnloadRequestInterface());
    EXPECT_FALSE(RequestInterfaceLoaded());
}

TEST_F(EmulationTest, PreferBuiltInWinsOnlyWithDrives) {
    Install({Node(0)});
    ASSERT_TRUE(LoadRequestInterface(true, KV_FAKE_LIBRARY));
    EXPECT_EQ(RequestInterfaceName(), "ZLASPI32");
    ShutdownRequestInterface();
    Install({});
    ASSERT_TRUE(LoadRequestInterface(true, KV_FAKE_LIBRARY));
    EXPECT_EQ(RequestInterfaceName(), "WNASPI32.DLL");
}

}  // namespace
}  // namespace kv::test
