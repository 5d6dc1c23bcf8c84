// Blu-ray media through the command line at normal speed: BD-R sessions up to a closed disc, a
// BD-RE formatted, grown and erased, a pressed BD-ROM refused; the disc information right at each
// step and the exported media read back by xorriso.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "CliShell.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using namespace kv::test;

class BluRayNormalSpeedTest : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = fs::temp_directory_path() /
                ("kv-bd-normal-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(work_);
        WriteRandom(work_ / "One" / "Folder" / "deep.bin", 150000, 11);
        WriteRandom(work_ / "One" / "name with spaces.txt", 3000, 12);
        WriteRandom(work_ / "Two" / "added.bin", 40000, 13);
        WriteRandom(work_ / "Three" / "last.bin", 70001, 14);
    }
    void TearDown() override { fs::remove_all(work_); }

    std::string Ok(const std::string& args) {
        const TRun r = RunShell(CliCommand(args, 1));
        EXPECT_EQ(r.Status, 0) << args << "\n" << r.Output;
        return r.Output;
    }
    std::string Drive(const fs::path& medium) { return "--drive " + Q(medium.string()) + " "; }

    // The lines of `discinfo` as key -> value.
    std::map<std::string, std::string> DiscInfo(const fs::path& medium) {
        std::map<std::string, std::string> fields;
        const std::string out = Ok(Drive(medium) + "discinfo");
        for (size_t at = 0; at < out.size();) {
            const size_t end = out.find('\n', at);
            const std::string line = out.substr(at, end - at);
            const size_t colon = line.find(':');
            if (colon != std::string::npos)
                fields[line.substr(0, colon)] = line.substr(line.find_first_not_of(' ', colon + 1));
            at = end == std::string::npos ? out.size() : end + 1;
        }
        return fields;
    }
    void ExpectDisc(const fs::path& medium, const std::string& name, int status, int sessions, uint32_t used,
                    uint32_t free) {
        auto f = DiscInfo(medium);
        EXPECT_EQ(f["medium"].substr(0, name.size() + 2), name + " (") << f["medium"];
        EXPECT_EQ(f["disc status"], std::to_string(status));
        EXPECT_EQ(f["sessions"], std::to_string(sessions));
        EXPECT_EQ(f["used blocks"], std::to_string(used));
        EXPECT_EQ(f["free blocks"], std::to_string(free));
    }
    // Every file of `trees` comes back from the exported medium through xorriso, byte for byte.
    void ExpectXorrisoReads(const fs::path& medium, const std::string& sbsector, const std::vector<std::string>& trees) {
        if (!HaveTool("xorriso")) GTEST_SKIP() << "xorriso is not installed";
        const fs::path image = work_ / "export.iso", out = work_ / "x";
        fs::remove_all(out);
        Ok("media export " + Q(medium.string()) + " " + Q(image.string()));
        const TRun x = RunShell("xorriso -indev " + Q(image.string()) + " -load sbsector " + sbsector +
                                " -osirrox on -extract / " + Q(out.string()));
        ASSERT_EQ(x.Status, 0) << x.Output;
        for (const std::string& tree : trees)
            for (auto& e : fs::recursive_directory_iterator(work_ / tree))
                if (e.is_regular_file()) {
                    const fs::path rel = fs::relative(e.path(), work_);
                    EXPECT_TRUE(ReadFile(out / rel) == ReadFile(e.path())) << rel;
                }
    }

    fs::path work_;
};

// A session of fewer than 300 blocks is padded to 300 and, with its UDF beside ISO 9660, closed by a
// BD-R at the end of its 32-block cluster; the next session starts right there (the sessions take
// 384, 320 and 352 blocks).
TEST_F(BluRayNormalSpeedTest, BdRTakesTwoSessionsThenIsClosedAndRefusesAThird) {
    constexpr uint32_t kWhole = 12219392;
    const fs::path disc = work_ / "bdr.kvm";
    Ok("media create --type bdr " + Q(disc.string()));
    ExpectDisc(disc, "BD-R", 0, 0, 0, kWhole);
    auto blank = DiscInfo(disc);
    EXPECT_EQ(blank["total blocks"], std::to_string(kWhole));
    EXPECT_EQ(blank["write speeds"], "53940 44950 35960 26970 17980 8990 KB/s");

    Ok(Drive(disc) + "burn " + Q((work_ / "One").string()));
    ExpectDisc(disc, "BD-R", 1, 1, 384, kWhole - 384);
    EXPECT_NE(Ok(Drive(disc) + "import").find("deep.bin"), std::string::npos);

    Ok(Drive(disc) + "burn --import-last " + Q((work_ / "Two").string()));
    ExpectDisc(disc, "BD-R", 1, 2, 704, kWhole - 704);
    const std::string both = Ok(Drive(disc) + "import");
    EXPECT_NE(both.find("deep.bin"), std::string::npos) << both;
    EXPECT_NE(both.find("added.bin"), std::string::npos) << both;

    Ok(Drive(disc) + "burn --close --import-last " + Q((work_ / "Three").string()));
    ExpectDisc(disc, "BD-R", 2, 3, 1056, 0);
    const TRun refused = RunShell(CliCommand(Drive(disc) + "burn " + Q((work_ / "Two").string()), 1));
    EXPECT_NE(refused.Status, 0);
    EXPECT_NE(refused.Output.find("DISC IS NOT WRITABLE: THE DISC IS CLOSED"), std::string::npos) << refused.Output;
    EXPECT_EQ(refused.Output.find("STARTING WRITE PROCESS"), std::string::npos) << refused.Output;
    Ok(Drive(disc) + "verify " + Q((work_ / "One").string()) + " " + Q((work_ / "Two").string()) + " " +
       Q((work_ / "Three").string()));
    ExpectXorrisoReads(disc, "704", {"One", "Two", "Three"});
}

TEST_F(BluRayNormalSpeedTest, BdReIsFormattedWrittenGrownAndQuickErased) {
    constexpr uint32_t kFormatted = 11826176;
    const fs::path disc = work_ / "bdre.kvm";
    Ok("media create --type bdre " + Q(disc.string()));
    ExpectDisc(disc, "BD-RE", 0, 0, 0, kFormatted);
    EXPECT_EQ(DiscInfo(disc)["erasable"], "yes");

    const std::string first = Ok(Drive(disc) + "burn " + Q((work_ / "One").string()));
    EXPECT_NE(first.find(">>> FORMATTING BD-RE"), std::string::npos) << first;
    auto f = DiscInfo(disc);
    EXPECT_EQ(f["disc status"], "2");
    EXPECT_EQ(f["total blocks"], std::to_string(kFormatted));
    const uint32_t used = static_cast<uint32_t>(std::stoul(f["used blocks"]));
    EXPECT_GT(used, 75u);  // the 150,000-byte file alone
    EXPECT_EQ(std::stoul(f["free blocks"]), kFormatted - used);

    // The second session grows the first in place from the next cluster; sector 16 then describes
    // the whole volume.
    const std::string grown = Ok(Drive(disc) + "burn --import-last " + Q((work_ / "Two").string()));
    EXPECT_EQ(grown.find("FORMATTING"), std::string::npos) << grown;
    f = DiscInfo(disc);
    const uint32_t usedNow = static_cast<uint32_t>(std::stoul(f["used blocks"]));
    EXPECT_GT(usedNow, (used + 31) / 32 * 32);
    EXPECT_EQ(std::stoul(f["free blocks"]), kFormatted - usedNow);
    Ok(Drive(disc) + "verify " + Q((work_ / "One").string()) + " " + Q((work_ / "Two").string()));
    ExpectXorrisoReads(disc, "0", {"One", "Two"});

    EXPECT_NE(Ok(Drive(disc) + "blank").find("blank: done"), std::string::npos);
    ExpectDisc(disc, "BD-RE", 2, 1, 0, kFormatted);
    EXPECT_EQ(RunShell(CliCommand(Drive(disc) + "import", 1)).Output.find("deep.bin"), std::string::npos);
}

TEST_F(BluRayNormalSpeedTest, PressedBdRomIsReadButNeverWritten) {
    const fs::path image = work_ / "one.iso", disc = work_ / "rom.kvm";
    Ok("mkiso -o " + Q(image.string()) + " " + Q((work_ / "One").string()));
    Ok("media create --type bdrom " + Q(disc.string()) + " --from-image " + Q(image.string()));
    auto f = DiscInfo(disc);
    EXPECT_EQ(f["medium"], "BD-ROM (16)");
    EXPECT_EQ(f["disc status"], "2");
    EXPECT_EQ(f["free blocks"], "0");
    const std::string before = Ok("media info " + Q(disc.string()));
    const TRun burn = RunShell(CliCommand(Drive(disc) + "burn " + Q((work_ / "Two").string()), 1));
    EXPECT_NE(burn.Status, 0);
    EXPECT_NE(burn.Output.find("DISC IS NOT WRITABLE: BD-ROM IS A READ-ONLY MEDIUM"), std::string::npos) << burn.Output;
    EXPECT_EQ(burn.Output.find("STARTING WRITE PROCESS"), std::string::npos) << burn.Output;
    EXPECT_NE(RunShell(CliCommand(Drive(disc) + "blank", 1)).Status, 0);
    EXPECT_EQ(Ok("media info " + Q(disc.string())), before);
    Ok(Drive(disc) + "verify " + Q((work_ / "One").string()));
}

}  // namespace
}  // namespace kv
