// kelvadore-cli verify (a disc read back against its sources) and watch (media changes).
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "CliShell.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using namespace kv::test;

std::string VerifyCli(const std::string& args) { return test::CliCommand(args, 5000); }

class VerifyWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = fs::temp_directory_path() / ("kv-verify-" + std::to_string(::getpid()));
        fs::remove_all(work_);
        WriteRandom(work_ / "Tree/big.bin", 300000, 1);
        WriteRandom(work_ / "Tree/Folder/small.txt", 1000, 2);
        WriteRandom(work_ / "Tree/Folder/gone.dat", 5000, 3);
        WriteRandom(work_ / "Tree/README", 10, 4);
    }
    void TearDown() override { fs::remove_all(work_); }

    TRun Verify(const fs::path& medium, const std::string& paths) {
        return RunShell(VerifyCli("--drive " + Q(medium.string()) + " verify " + paths));
    }

    fs::path work_;
};

TEST_F(VerifyWatchTest, VerifyNamesExactlyTheChangedTruncatedOrDeletedSourceAndReadsTheLastSession) {
    const fs::path medium = work_ / "cdr.kvm";
    const std::string tree = Q((work_ / "Tree").string());
    ASSERT_EQ(RunShell(VerifyCli("media create --type cdr " + Q(medium.string()))).Status, 0);
    TRun r = RunShell(VerifyCli("--drive " + Q(medium.string()) + " burn " + tree));
    ASSERT_EQ(r.Status, 0) << r.Output;
    r = Verify(medium, tree);
    EXPECT_EQ(r.Status, 0) << r.Output;
    EXPECT_NE(r.Output.find("4 files and 2 folders compared, 4 equal"), std::string::npos) << r.Output;

    auto expectOnly = [&](const std::string& status, const std::string& discPath) {
        TRun v = Verify(medium, tree);
        EXPECT_EQ(v.Status, 1) << v.Output;
        EXPECT_NE(v.Output.find(status + ": " + discPath), std::string::npos) << v.Output;
        EXPECT_NE(v.Output.find("VERIFY ERROR: 1 FILE DIFFERS"), std::string::npos) << v.Output;
    };
    const std::string original = ReadFile(work_ / "Tree/Folder/small.txt");
    WriteRandom(work_ / "Tree/Folder/small.txt", 1000, 99);  // same size, other bytes
    expectOnly("different", "Tree/Folder/small.txt");
    fs::resize_file(work_ / "Tree/Folder/small.txt", 10);
    expectOnly("different", "Tree/Folder/small.txt");
    std::ofstream(work_ / "Tree/Folder/small.txt", std::ios::binary | std::ios::trunc) << original;
    fs::remove(work_ / "Tree/Folder/gone.dat");
    expectOnly("source missing", "Tree/Folder/gone.dat");

    // A second session with one more file: verify reads the last one, --session 1 the first.
    WriteRandom(work_ / "Extra/new.bin", 7000, 5);
    r = RunShell(VerifyCli("--drive " + Q(medium.string()) + " burn --import-last " + Q((work_ / "Extra").string())));
    ASSERT_EQ(r.Status, 0) << r.Output;
    r = Verify(medium, Q((work_ / "Extra").string()));
    EXPECT_EQ(r.Status, 0) << r.Output;
    r = RunShell(VerifyCli("--drive " + Q(medium.string()) + " verify --session 1 " + Q((work_ / "Extra").string())));
    EXPECT_EQ(r.Status, 1) << r.Output;
    EXPECT_NE(r.Output.find("missing on disc: Extra/new.bin"), std::string::npos) << r.Output;
}

TEST_F(VerifyWatchTest, WatchPrintsInsertAndEjectOfAVirtualMedium) {
    const fs::path home = work_ / "home";
    fs::create_directories(home / "virtual");
    const std::string env = "KELVADORE_HOME=" + Q(home.string()) + " ";
    const std::string cli = Q(std::string(KV_CLI));
    const fs::path medium = home / "virtual" / "new.kvm";
    // The watcher starts first; the medium appears and goes once it says it is watching.
    const TRun r = RunShell("set -e; " + env + "timeout 60 " + cli + " watch --count 2 > " + Q((work_ / "out").string()) +
                            " & for i in $(seq 100); do grep -q watching " + Q((work_ / "out").string()) +
                            " 2>/dev/null && break; sleep 0.1; done; " + env + cli + " media create --type cdr " +
                            Q(medium.string()) + "; sleep 0.5; rm " + Q(medium.string()) + "; wait $!");
    EXPECT_EQ(r.Status, 0) << r.Output;
    const std::string out = ReadFile(work_ / "out");
    const size_t inserted = out.find("inserted: virtual:");
    const size_t ejected = out.find("ejected: virtual:");
    EXPECT_NE(inserted, std::string::npos) << out;
    EXPECT_NE(ejected, std::string::npos) << out;
    EXPECT_LT(inserted, ejected) << out;
    EXPECT_NE(out.find("new.kvm"), std::string::npos) << out;
}

}  // namespace
}  // namespace kv
