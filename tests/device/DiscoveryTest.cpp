#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "DeviceFixture.h"
#include "jobs/DriveSelection.h"

namespace kv::test {
namespace {

struct TMessages {
    std::vector<std::pair<std::string, uint8_t>> Lines;
    TOnDebugMsg Handler() {
        return [this](TSCSIDevice*, const std::string& m, uint8_t t) { Lines.emplace_back(m, t); };
    }
};

class DiscoveryTest : public DeviceFixture {};

TEST_F(DiscoveryTest, ScanListsIdentityStringsByteForByte) {
    AddDrive("KELVADORVIRTUAL RECORDER1.00");
    AddDrive("WORM    ONCE ONLY UNIT  0001", 0x04);
    ASSERT_TRUE(device.InitializeASPI(true, ""));
    EXPECT_EQ(device.HostAdapterCount(), 2);
    ASSERT_EQ(device.DeviceList(), (std::vector<std::string>{
                                       "1:0:0,D: KELVADORVIRTUAL RECORDER1.00",
                                       "1:1:0,E: WORM    ONCE ONLY UNIT  0001 (not supported)",
                                   }));
    EXPECT_EQ(device.HostAdapter, kNoDevice) << "scan restores the address";

    // A write-once unit can still be selected.
    ASSERT_TRUE(device.SetDevice(device.DeviceList()[1]));
    EXPECT_EQ(device.DeviceType(), 0x04);
    EXPECT_EQ(device.DeviceName(), "WORM     ONCE ONLY UNIT   0001");
    EXPECT_EQ(device.TargetId, 1);
}

TEST_F(DiscoveryTest, ScanWithRealNodesAndSoftwareDrives) {
    // Real nodes come first and keep their letters; software drives follow on the next adapter.
    class TOneNode : public TNoNodesLayer {
    public:
        std::vector<TDeviceNode> ListNodes() override { return {{"/dev/sr1", 1}}; }
        int Open(const std::string&) override { return 7; }
        TPassThroughResult Execute(int, const TPassThroughRequest& r) override {
            TPassThroughResult res;
            res.Completed = true;
            if (r.Cdb[0] == 0x12) {
                std::memset(r.Data, 0, r.DataLength);
                r.Data[0] = 5;
                std::memcpy(r.Data + 8, "REALVENDREAL PRODUCT    0100", 28);
            }
            return res;
        }
    };
    SetPassThroughLayer(std::make_shared<TOneNode>());
    AddDrive();
    ASSERT_TRUE(device.InitializeASPI(true, ""));
    EXPECT_EQ(device.DeviceList(), (std::vector<std::string>{"0:1:0,E: REALVENDREAL PRODUCT    0100",
                                                             "1:0:0,F: KELVADORVIRTUAL RECORDER1.00"}));
}

TEST_F(DiscoveryTest, ControlCharactersStayInIdentityButNotInName) {
    AddDrive(std::string("AB\tC\x01   PRODUCT         1.00"));
    ASSERT_TRUE(device.InitializeASPI(true, ""));
    const std::string identity = "1:0:0,D: AB\tC\x01   PRODUCT         1.00";
    ASSERT_EQ(device.DeviceList().at(0), identity);
    ASSERT_TRUE(device.SetDevice(identity));
    EXPECT_EQ(device.Device(), identity);
    EXPECT_EQ(device.DeviceName(), "AB C     PRODUCT          1.00");
}

TEST_F(DiscoveryTest, InvalidSelectionsClearTheStateWithOneMessage) {
    AddDrive();
    ASSERT_TRUE(device.InitializeASPI(true, ""));
    TMessages messages;
    device.OnDebugMessage = messages.Handler();
    int changes = 0;
    device.OnDeviceChange = [&](TSCSIDevice*) { ++changes; };

    ASSERT_TRUE(device.SetDevice(device.DeviceList()[0]));
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(messages.Lines.empty());

    const std::vector<std::string> invalid = {
        "10:0:0,D: KELVADORVIRTUAL RECORDER1.00",  // two-digit adapter: character 3 is ':'
        "1:5:0,Q: GONE    ABSENT DRIVE    1.00",   // stored identity of an absent drive
        "1:0",                                      // too short
        "x:0:0,D:",
    };
    for (const auto& id : invalid) {
        messages.Lines.clear();
        ASSERT_TRUE(device.SetDevice(device.DeviceList()[0]));
        EXPECT_FALSE(device.SetDevice(id)) << id;
        ASSERT_EQ(messages.Lines.size(), 1u) << id;
        EXPECT_EQ(messages.Lines[0], std::make_pair(std::string("INVALID DEVICE ID / NOT A CD OR DVD DRIVE"),
                                                    uint8_t{0}));
        EXPECT_EQ(device.Device(), "");
        EXPECT_EQ(device.DeviceName(), "");
        EXPECT_EQ(device.DeviceType(), 127);
        EXPECT_EQ(device.HostAdapter, kNoDevice);
        EXPECT_EQ(device.TargetId, kNoDevice);
        EXPECT_EQ(device.Lun, kNoDevice);
    }
    EXPECT_EQ(changes, 5);
    messages.Lines.clear();
    EXPECT_FALSE(device.SetDevice(""));
    EXPECT_TRUE(messages.Lines.empty()) << "an empty identity clears silently";
    EXPECT_FALSE(device.TestUnitReady(1000)) << "no device: commands are not submitted";
}

TEST_F(DiscoveryTest, DebugMessagesOfTheScan) {
    AddDrive();
    TMessages messages;
    device.OnDebugMessage = messages.Handler();
    device.DoDebug = true;
    ASSERT_TRUE(device.InitializeASPI(true, ""));
    ASSERT_EQ(messages.Lines.size(), 3u);
    EXPECT_EQ(messages.Lines[0].first, ">>> ZLASPI32");
    EXPECT_EQ(messages.Lines[1].first, ">>> KELVADORE ZLASPI (SPTI 0)");
    EXPECT_EQ(messages.Lines[2].first, ">>> KELVADORE ZLASPI (SPTI 1)");
    // The interface lines are for a debug record, not for the user's log.
    EXPECT_EQ(messages.Lines[2].second, kMessageInterface);
}

TEST_F(DiscoveryTest, ModelRules) {
    struct TRule {
        std::string Identity;
        bool Underrun, LinkSize, SlowModel, Immediate, SlowDrive;
    };
    const std::vector<TRule> rules = {
        {"PLAIN   ORDINARY DRIVE  1.00", false, false, false, true, false},
        {"YAMAHA  CD-W512EB       1.00", true, false, false, true, false},
        {"PLEXTOR CRX175E         1.00", false, true, false, true, false},
        {"SONY    CD-RW  CRX800E  1.00", false, true, false, true, false},
        {"SONY    CD-RW CRX800E   1.00", false, false, false, true, false},
        {"MATSHITAUJDA750 DVD/CDRW1.00", false, false, true, true, false},
        {"TDK     CDRW321040X     1.00", false, false, true, false, false},
        {"  TDK   OTHER           1.00", false, false, true, true, false},
        {"AB      TDK             1.00", false, false, false, true, false},
        {"PIONEER DVD-RW  DVR-104 1.00", false, false, false, true, true},
        {"PIONEER DVD-RW  DVR-103 1.00", false, false, false, true, true},
        {"PIONEER DVD-RW  DVR-1041.00", false, false, false, true, false},
    };
    for (const auto& r : rules) {
        drives.clear();
        ShutdownRequestInterface();
        AddDrive(r.Identity);
        ASSERT_TRUE(device.InitializeASPI(true, ""));
        ASSERT_TRUE(device.SetDevice(device.DeviceList().at(0))) << r.Identity;
        EXPECT_EQ(device.ForceUnderrunCapable, r.Underrun) << r.Identity;
        EXPECT_EQ(device.SetLinkSizeValid, r.LinkSize) << r.Identity;
        EXPECT_EQ(TSCSIDevice::SlowReadyModel.load(), r.SlowModel) << r.Identity;
        EXPECT_EQ(TSCSIDevice::ImmediateClose.load(), r.Immediate) << r.Identity;
        EXPECT_EQ(device.SlowReadyDrive, r.SlowDrive) << r.Identity;
    }
}

TEST_F(DiscoveryTest, TwoComponentsShareOneInterface) {
    AddDrive();
    ASSERT_TRUE(device.InitializeASPI(true, ""));
    AddDrive("SECOND  DRIVE           1.00");
    TSCSIDevice second;  // constructed while loaded: scans at once
    EXPECT_EQ(second.DeviceList().size(), 1u) << "the table is not rebuilt";
    EXPECT_TRUE(second.InitializeASPI(true, ""));
    EXPECT_EQ(second.DeviceList(), device.DeviceList());
}

TEST_F(DiscoveryTest, SelectDriveByIdentityPathOrFirst) {
    AddDrive("FIRST   DRIVE           1.00");
    AddDrive("SECOND  DRIVE           1.00");
    std::string why;
    // SelectDrive installs the virtual recorders' source; the table built here keeps the test's drives.
    ASSERT_TRUE(device.InitializeASPI(true, ""));
    ASSERT_TRUE(jobs::SelectDrive(device, "", &why)) << why;
    EXPECT_EQ(device.Device(), "1:0:0,D: FIRST   DRIVE           1.00");
    ASSERT_TRUE(jobs::SelectDrive(device, "virtual:1.kvm", &why)) << why;
    EXPECT_EQ(device.Device(), "1:1:0,E: SECOND  DRIVE           1.00");
    ASSERT_TRUE(jobs::SelectDrive(device, "1:0:0,D: FIRST   DRIVE           1.00", &why)) << why;
    EXPECT_EQ(device.TargetId, 0);
    EXPECT_FALSE(jobs::SelectDrive(device, "/dev/sr7", &why));
    EXPECT_NE(why.find("/dev/sr7"), std::string::npos);
}

TEST(CommandLine, DrivesPrintsNothingWithoutDrives) {
    if (!std::filesystem::exists(KV_CLI)) GTEST_SKIP() << "kelvadore-cli not built";
    // This machine has no optical drive, and the virtual recorders are switched off.
    FILE* p = popen("KELVADORE_VIRTUAL_RECORDERS=off " KV_CLI " drives", "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    const int status = pclose(p);
    if (!std::filesystem::exists("/dev/sr0")) {
        EXPECT_EQ(out, "");
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(CommandLine, DrivesListsTheVirtualRecorderAfterTheRealDrives) {
    if (!std::filesystem::exists(KV_CLI)) GTEST_SKIP() << "kelvadore-cli not built";
    if (std::filesystem::exists("/dev/sr0")) GTEST_SKIP() << "a real drive changes the addresses";
    // A home of its own: medium files left in a shared one would add recorders to the list.
    std::string home = ::testing::TempDir() + "kv-drives-home-XXXXXX";
    ASSERT_NE(::mkdtemp(home.data()), nullptr);
    FILE* p = popen(("KELVADORE_HOME=" + home + " KELVADORE_VIRTUAL_MEDIA= " KV_CLI " drives").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    EXPECT_EQ(WEXITSTATUS(pclose(p)), 0);
    // Without real drives the software drives sit on adapter 1 (one past the highest real
    // adapter, which counts as 0), target 0, and take the first pseudo letter.
    EXPECT_EQ(out.rfind("1:0:0,D: ", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    std::filesystem::remove_all(home);
}

}  // namespace
}  // namespace kv::test
