// ISO images made by kelvadore-cli mkiso, opened and extracted by outside readers.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CliShell.h"
#include "iso/IsoLevel1Names.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using namespace kv::test;

// Readers disagree on the dot a file without extension carries in its Joliet name ("README."):
// most drop it, libarchive keeps it.
fs::path WithoutTrailingDot(fs::path p) {
    std::string name = p.filename().string();
    if (name.size() > 1 && name.back() == '.') p.replace_filename(name.substr(0, name.size() - 1));
    return p;
}

class IsoRoundTripTest : public ::testing::TestWithParam<bool> {
protected:
    static void SetUpTestSuite() {
        work_ = fs::temp_directory_path() / ("kv-iso-roundtrip-" + std::to_string(::getpid()));
        fs::remove_all(work_);
        fs::path t = work_ / "Tree";
        unsigned seed = 1;
        auto file = [&](const std::string& rel, size_t size) { WriteRandom(t / rel, size, seed++); };
        file("a/b/c/deep file.txt", 3000);
        file("a/b/c/d/e/f/g/bottom.bin", 10);
        file("empty", 0);
        file("a/empty too.txt", 0);
        file("one byte", 1);
        file("a/b/one.b", 1);
        file("exact 55296.bin", 55296);
        file("exact 65536.bin", 65536);
        file("README", 17);
        file("name with spaces.txt", 100);
        file("My Folder/Inner Folder/more spaces here.dat", 4097);
        file("MixedCase.TxT", 33);
        file("mixedCASE.bin", 34);
        file("\xC3\x9Cn\xC3\xAF" "c\xC3\xB6" "d\xC3\xA9 na\xC3\xAFve.txt", 500);
        file("Caf\xC3\xA9/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", 700);
        file(std::string(96, 'L') + ".txt", 200);
        file(std::string(100, 'n'), 201);
        file("longprefix_one.txt", 11);
        file("longprefix_two.txt", 12);
        file("LongPrefix_three.TXT", 13);
        file("longprefix_four.txt.gz", 14);
        file("clashfolder one/x.txt", 15);
        file("clashfolder two/x.txt", 16);
        file("clashfolder three/x.txt", 17);
        file("big/random.bin", 300000);
        WriteRandom(work_ / "boot.img", 720 * 2048, 99);
    }
    static void TearDownTestSuite() { fs::remove_all(work_); }

    void SetUp() override {
        for (const char* tool : {"isoinfo", "xorriso", "7z", "bsdtar", "/usr/bin/python3"})
            if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
        image_ = work_ / (GetParam() ? "immediate.iso" : "threaded.iso");
        std::string command = std::string(KV_CLI) + " mkiso -o " + Q(image_.string()) + " --volume 'Round Trip' --boot " +
                              Q((work_ / "boot.img").string()) + (GetParam() ? " --immediate " : " ") +
                              Q((work_ / "Tree").string());
        TRun r = RunShell(command);
        ASSERT_EQ(r.Status, 0) << r.Output;
        ASSERT_TRUE(fs::exists(image_));
    }

    // Every source file, relative to the folder that holds "Tree".
    static std::map<fs::path, fs::path> SourceFiles() {
        std::map<fs::path, fs::path> files;
        for (auto& e : fs::recursive_directory_iterator(work_ / "Tree"))
            if (e.is_regular_file()) files[fs::relative(e.path(), work_)] = e.path();
        return files;
    }

    // Extracts with `command` into `into` and compares every file with its source.
    void ExpectIdenticalExtraction(const std::string& command, const fs::path& into) {
        fs::remove_all(into);
        fs::create_directories(into);
        TRun r = RunShell(command);
        ASSERT_EQ(r.Status, 0) << r.Output;
        std::set<fs::path> extracted;
        for (auto& e : fs::recursive_directory_iterator(into))
            if (e.is_regular_file()) {
                fs::path rel = fs::relative(e.path(), into);
                // 7-Zip shows the El Torito image as a file of its own.
                bool boot = rel.begin()->string() == "[BOOT]";
                if (!boot) extracted.insert(WithoutTrailingDot(rel));
                fs::path source = boot ? work_ / "boot.img" : work_ / WithoutTrailingDot(rel);
                ASSERT_TRUE(fs::exists(source)) << "unexpected file " << rel;
                EXPECT_TRUE(ReadFile(e.path()) == ReadFile(source)) << "content differs: " << rel;
            }
        for (auto& [rel, path] : SourceFiles()) EXPECT_TRUE(extracted.count(rel)) << "missing " << rel;
        fs::remove_all(into);
    }

    static inline fs::path work_;
    fs::path image_;
};

TEST_P(IsoRoundTripTest, IsoinfoReadsDescriptorsAndBothTrees) {
    TRun d = RunShell("isoinfo -d -i " + Q(image_.string()));
    ASSERT_EQ(d.Status, 0) << d.Output;
    EXPECT_NE(d.Output.find("Volume id: ROUND TRIP"), std::string::npos) << d.Output;
    EXPECT_NE(d.Output.find("Joliet with UCS level 1 found"), std::string::npos) << d.Output;
    EXPECT_NE(d.Output.find("El Torito"), std::string::npos) << d.Output;
    EXPECT_NE(d.Output.find("Zelvane Disc Engine"), std::string::npos) << d.Output;
    TRun j = RunShell("isoinfo -J -l -i " + Q(image_.string()));
    ASSERT_EQ(j.Status, 0) << j.Output;

    // Every ISO 9660 name is a level-1 name, unique within its directory.
    TRun l = RunShell("isoinfo -l -i " + Q(image_.string()));
    ASSERT_EQ(l.Status, 0) << l.Output;
    std::istringstream lines(l.Output);
    std::string line, directory;
    std::map<std::string, std::set<std::string>> names;
    int checked = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("Directory listing of ", 0) == 0) {
            directory = line.substr(21);
            continue;
        }
        size_t bracket = line.find("]  ");
        if (bracket == std::string::npos) continue;
        std::string name = line.substr(bracket + 3);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (name == "." || name == "..") continue;
        bool isDirectory = line[0] == 'd';
        if (!isDirectory) {
            ASSERT_GE(name.size(), 2u);
            EXPECT_EQ(name.substr(name.size() - 2), ";1") << name;
            name.resize(name.size() - 2);
        }
        EXPECT_TRUE(TIsoLevel1Namer::IsValid(name, isDirectory)) << directory << name;
        EXPECT_TRUE(names[directory].insert(name).second) << "duplicate " << directory << name;
        ++checked;
    }
    int folders = 1;  // "Tree" itself
    for (auto& e : fs::recursive_directory_iterator(work_ / "Tree")) folders += e.is_directory() ? 1 : 0;
    EXPECT_EQ(checked, static_cast<int>(SourceFiles().size()) + folders);
}

TEST_P(IsoRoundTripTest, XorrisoFindsEveryPath) {
    TRun r = RunShell("xorriso -indev " + Q(image_.string()) + " -find / -type f");
    ASSERT_EQ(r.Status, 0) << r.Output;
    std::set<fs::path> found;
    std::istringstream lines(r.Output);
    std::string line;
    while (std::getline(lines, line))
        if (line.size() > 3 && line.front() == '\'' && line.back() == '\'')
            found.insert(WithoutTrailingDot(fs::path(line.substr(2, line.size() - 3))));
    for (auto& [rel, path] : SourceFiles()) EXPECT_TRUE(found.count(rel)) << rel << "\n" << r.Output;
    EXPECT_EQ(found.size(), SourceFiles().size());
}

TEST_P(IsoRoundTripTest, SevenZipListsAndExtractsTheJolietTree) {
    // -tiso: 7-Zip reads the image's UDF tree when it finds one.
    TRun l = RunShell("7z l -tiso " + Q(image_.string()));
    ASSERT_EQ(l.Status, 0) << l.Output;
    fs::path into = work_ / "x7z";
    ExpectIdenticalExtraction("7z x -tiso -y -o" + Q(into.string()) + " " + Q(image_.string()), into);
}

TEST_P(IsoRoundTripTest, BsdtarListsAndExtractsTheJolietTree) {
    TRun l = RunShell("bsdtar -tf " + Q(image_.string()));
    ASSERT_EQ(l.Status, 0) << l.Output;
    EXPECT_NE(l.Output.find("Tree/exact 65536.bin"), std::string::npos) << l.Output;
    fs::path into = work_ / "xtar";
    ExpectIdenticalExtraction("bsdtar -xf " + Q(image_.string()) + " -C " + Q(into.string()), into);
}

TEST_P(IsoRoundTripTest, PycdlibParsesStrictly) {
    const char* script = R"(
import sys, pycdlib
iso = pycdlib.PyCdlib()
iso.open(sys.argv[1])
files = 0
for tree in ('iso_path', 'joliet_path'):
    for root, dirs, names in iso.walk(**{tree: '/'}):
        files += len(names)
print('boot', iso.eltorito_boot_catalog is not None)
print('files', files)
iso.close()
)";
    fs::path scriptFile = work_ / "parse.py";
    std::ofstream(scriptFile) << script;
    TRun r = RunShell("/usr/bin/python3 " + Q(scriptFile.string()) + " " + Q(image_.string()));
    ASSERT_EQ(r.Status, 0) << r.Output;
    EXPECT_NE(r.Output.find("boot True"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("files " + std::to_string(2 * SourceFiles().size())), std::string::npos) << r.Output;
}

INSTANTIATE_TEST_SUITE_P(Modes, IsoRoundTripTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? std::string("Immediate") : std::string("Threaded");
                         });

TEST(MkisoCommandTest, FailuresExitNonZeroWithTheEngineText) {
    fs::path dir = fs::temp_directory_path() / ("kv-mkiso-fail-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    WriteRandom(dir / "in" / "f.bin", 10000, 5);
    TRun full = RunShell(std::string(KV_CLI) + " mkiso -o /dev/full " + Q((dir / "in").string()));
    EXPECT_NE(full.Status, 0);
    EXPECT_NE(full.Output.find("CAN'T WRITE FILE \"/dev/full\""), std::string::npos) << full.Output;
    TRun noOut = RunShell(std::string(KV_CLI) + " mkiso " + Q((dir / "in").string()));
    EXPECT_EQ(noOut.Status, 2) << noOut.Output;
    TRun missing = RunShell(std::string(KV_CLI) + " mkiso -o " + Q((dir / "x.iso").string()) + " " +
                       Q((dir / "nothing").string()));
    EXPECT_NE(missing.Status, 0);
    EXPECT_FALSE(fs::exists(dir / "x.iso"));
    TRun created = RunShell(std::string(KV_CLI) + " mkiso -o " + Q((dir / "no" / "x.iso").string()) + " " +
                       Q((dir / "in").string()));
    EXPECT_NE(created.Status, 0);
    EXPECT_NE(created.Output.find("CAN'T CREATE FILE"), std::string::npos) << created.Output;
    fs::remove_all(dir);
}

TEST(MkisoCommandTest, RecordedDatesCarryTheGmtOffsetInForceAtTheirDate) {
    if (!HaveTool("/usr/bin/python3") || !fs::exists("/usr/share/zoneinfo/America/New_York"))
        GTEST_SKIP() << "pycdlib or the time zone data is missing";
    const fs::path dir = fs::temp_directory_path() / ("kv-mkiso-tz-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    WriteRandom(dir / "in" / "july.txt", 10, 1);
    WriteRandom(dir / "in" / "january.txt", 10, 2);
    const std::string tz = "TZ=America/New_York ";
    ASSERT_EQ(RunShell(tz + "touch -d '2023-07-14 06:20:00' " + Q((dir / "in" / "july.txt").string())).Status,
              0);
    ASSERT_EQ(
        RunShell(tz + "touch -d '2023-01-14 06:20:00' " + Q((dir / "in" / "january.txt").string())).Status,
        0);
    const fs::path image = dir / "tz.iso";
    TRun m = RunShell(tz + Q(KV_CLI) + " mkiso -o " + Q(image.string()) + " " + Q((dir / "in").string()));
    ASSERT_EQ(m.Status, 0) << m.Output;
    // Daylight saving time (EDT, GMT-4) in July, standard time (EST, GMT-5) in January, each at
    // 06:20 local; the volume dates carry the offset of the moment the image was made.
    TRun p = RunShell(tz +
                      "/usr/bin/python3 -c 'import sys, time, pycdlib\n"
                      "i = pycdlib.PyCdlib(); i.open(sys.argv[1])\n"
                      "for f in (\"JULY.TXT\", \"JANUARY.TXT\"):\n"
                      "    d = i.get_record(iso_path=\"/IN/\" + f + \";1\").date\n"
                      "    print(f, d.month, d.hour, d.minute, d.gmtoffset)\n"
                      "now = time.localtime().tm_gmtoff // 900\n"
                      "print(\"volume\", i.pvd.volume_creation_date.gmtoffset == now,"
                      " i.pvd.volume_modification_date.gmtoffset == now)' " +
                      Q(image.string()));
    ASSERT_EQ(p.Status, 0) << p.Output;
    EXPECT_NE(p.Output.find("JULY.TXT 7 6 20 -16\n"), std::string::npos) << p.Output;
    EXPECT_NE(p.Output.find("JANUARY.TXT 1 6 20 -20\n"), std::string::npos) << p.Output;
    EXPECT_NE(p.Output.find("volume True True"), std::string::npos) << p.Output;
    fs::remove_all(dir);
}

}  // namespace
}  // namespace kv
