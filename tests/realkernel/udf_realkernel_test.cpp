// The Linux kernel's UDF driver, in a QEMU guest whose emulated drive holds what kelvadore-cli
// wrote: the awkward tree as an image, a DVD+RW grown by a second session, a DVD+R with two.
// Every file comes back under its own name (symbolic links are Rock Ridge's alone) with its
// contents, mode, owner and modification time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "AwkwardTree.h"
#include "CliShell.h"
#include "QemuGuest.h"
#include "TreeScan.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using namespace kv::test;

// One line per folder and file below the current folder, symbolic links left out: kind, mode,
// owner, modification time, for files their names' count, size and SHA-256, then the path. The guest's busybox and the
// host's coreutils print the same.
constexpr const char* kListing =
    "find . ! -name . ! -type l | while IFS= read -r p; do\n"
    "  if [ -d \"$p\" ]; then echo \"d $(stat -c '%a %u %Y' \"$p\") $p\";\n"
    "  else echo \"f $(stat -c '%a %u %Y %h %s' \"$p\") $(sha256sum < \"$p\" | cut -c1-64) $p\"; fi\n"
    "done\n";

// The listing by the path a UDF reader shows.
std::map<std::string, std::string> Listing(const std::string& text) {
    std::map<std::string, std::string> out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find(" ./");
        if (at == std::string::npos) continue;
        out[UdfShownPath(line.substr(at + 3)).string()] = line.substr(0, at);
    }
    return out;
}

std::map<std::string, std::string> HostListing(const fs::path& folder) {
    const TRun r = RunShell("cd " + Q(folder.string()) + " && " + kListing);
    EXPECT_EQ(r.Status, 0) << r.Output;
    return Listing(r.Output);
}

void ExpectSameListing(const std::map<std::string, std::string>& expected,
                       const std::map<std::string, std::string>& got, const std::string& what) {
    ASSERT_FALSE(expected.empty()) << what;
    for (const auto& [path, line] : expected) {
        const auto it = got.find(path);
        if (it == got.end())
            ADD_FAILURE() << what << ": missing " << path;
        else
            EXPECT_EQ(it->second, line) << what << ": " << path;
    }
    for (const auto& [path, line] : got) EXPECT_TRUE(expected.count(path)) << what << ": unexpected " << path;
}

class RealKernelUdfTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QemuInstalled()) GTEST_SKIP() << "qemu-system-x86_64 is not installed";
        work_ = fs::temp_directory_path() / ("kv-realkernel-udf-" + std::to_string(::getpid()));
        fs::remove_all(work_);
        fs::create_directories(work_);
    }
    void TearDown() override { fs::remove_all(work_); }

    // The guest mounts the drive's UDF (with `options`) and lists it.
    std::map<std::string, std::string> GuestListing(const fs::path& image, const std::string& options) {
        const TGuestRun g = RunInGuest(image, "mount -t udf -o ro" + options +
                                                  " /dev/sr0 /mnt || { dmesg | tail -5; exit 3; }\n"
                                                  "cd /mnt\n" +
                                                  kListing);
        if (!g.Available) {
            skipped_ = true;
            return {};
        }
        EXPECT_EQ(g.Status, 0) << g.Log;
        return Listing(g.Output);
    }
    fs::path TwoSessions(const std::string& type) {
        const fs::path medium = work_ / (type + ".kvm");
        EXPECT_EQ(RunShell(CliCommand("media create --type " + type + " " + Q(medium.string()), 5000)).Status,
                  0);
        for (const fs::path& tree : {work_ / "t1" / "one", work_ / "t2" / "two"}) {
            const TRun r = RunShell(CliCommand(
                "--drive " + Q(medium.string()) + " burn --import-last " + Q(tree.string()), 5000));
            EXPECT_EQ(r.Status, 0) << r.Output;
        }
        const fs::path image = work_ / (type + ".iso");
        EXPECT_EQ(
            RunShell(CliCommand("media export " + Q(medium.string()) + " " + Q(image.string()), 5000)).Status,
            0);
        return image;
    }
    // Burned as the folders "one" and "two" (with a file of two names), each in a session of its own.
    void TwoTrees() {
        WriteRandom(work_ / "t1" / "one" / "first.bin", 300000, 1);
        WriteRandom(work_ / "t1" / "one" / "Folder" / "small.txt", 10, 2);

        WriteRandom(work_ / "t2" / "two" / "second.bin", 70000, 3);
        fs::create_hard_link(work_ / "t2" / "two" / "second.bin", work_ / "t2" / "two" / "again.bin");
    }

    fs::path work_;
    bool skipped_ = false;
};

TEST_F(RealKernelUdfTest, TheAwkwardTreeComesBackWhole) {
    BuildAwkwardTree(work_ / "src", true);
    const fs::path image = work_ / "awkward.iso";
    const TRun m =
        RunShell(CliCommand("mkiso -o " + Q(image.string()) + " " + Q((work_ / "src" / "Awkward").string())));
    ASSERT_EQ(m.Status, 0) << m.Output;
    const auto got = GuestListing(image, "");
    if (skipped_) GTEST_SKIP() << "the guest could not be set up";
    const auto expected = HostListing(work_ / "src");
    EXPECT_EQ(expected.at("Awkward/run.sh").substr(0, 6), "f 750 ");  // modes, owners, times, sizes, contents
    ExpectSameListing(expected, got, "the kernel's UDF driver");
}

TEST_F(RealKernelUdfTest, AGrownDvdPlusRwShowsBothSessions) {
    TwoTrees();
    const fs::path image = TwoSessions("dvdplusrw");
    const auto got = GuestListing(image, "");
    if (skipped_) GTEST_SKIP() << "the guest could not be set up";
    auto expected = HostListing(work_ / "t1");
    expected.merge(HostListing(work_ / "t2"));
    ExpectSameListing(expected, got, "UDF of a grown DVD+RW");
}

// The kernel takes the session the drive reports as the last (CDROMMULTISESSION) and reads the
// recognition sequence at its start + 16, the anchor at its start + 256. QEMU's drive reports a
// single session, so the guest is told the second session's start as a real drive would report it.
TEST_F(RealKernelUdfTest, EachSessionOfADvdPlusRIsReadFromItsOwnStart) {
    TwoTrees();
    const fs::path image = TwoSessions("dvdplusr");
    const std::string second = LastTrackStart(work_ / "dvdplusr.kvm");
    ASSERT_NE(second, "0");
    const auto last = GuestListing(image, ",session=" + second);
    if (skipped_) GTEST_SKIP() << "the guest could not be set up";
    auto expected = HostListing(work_ / "t1");
    ExpectSameListing(expected, GuestListing(image, ""), "UDF of the first session");
    expected.merge(HostListing(work_ / "t2"));
    ExpectSameListing(expected, last, "UDF of the second session");
}

}  // namespace
}  // namespace kv
