// UDF beside ISO 9660, read back by outside UDF readers (udfinfo, 7-Zip's UDF reader, pycdlib's):
// the awkward tree as an image, a DVD+RW and a BD-RE grown by a second session, write-once media with two.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "AwkwardTree.h"
#include "CliShell.h"
#include "TreeScan.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using namespace kv::test;

std::string UdfCli(const std::string& args) {
    return CliCommand(args, 5000);
}

// The UDF tree of a source folder: every folder and file; symbolic links are Rock Ridge's alone.
TTree UdfView(const fs::path& root, bool times) {
    TTree out;
    for (const auto& [p, n] : Scan(root, false, times))
        if (n.Kind != 'l') out[UdfShownPath(p)] = n;
    return out;
}

// "key=value" of udfinfo's report; empty when absent.
std::string Field(const std::string& report, const std::string& key) {
    const size_t at = report.find("\n" + key + "=");
    if (at == std::string::npos) return {};
    const size_t from = at + key.size() + 2;
    return report.substr(from, report.find('\n', from) - from);
}

class UdfBridgeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        work_ = fs::temp_directory_path() / ("kv-udf-bridge-" + std::to_string(::getpid()));
        fs::remove_all(work_);
        BuildAwkwardTree(work_ / "full", true);
        image_ = work_ / "awkward.iso";
        made_ = RunShell("SOURCE_DATE_EPOCH=1700000000 " +
                         CliCommand("mkiso --volume Awkward -o " + Q(image_.string()) + " " +
                                    Q((work_ / "full" / "Awkward").string())));
        WriteRandom(work_ / "one" / "Old" / "first.bin", 300000, 1);
        WriteRandom(work_ / "one" / "Old" / "small.txt", 10, 2);
        WriteRandom(work_ / "two" / "New" / "second.bin", 70000, 3);
    }
    static void TearDownTestSuite() { fs::remove_all(work_); }

    void SetUp() override {
        for (const char* tool : {"udfinfo", "7z", "/usr/bin/python3"})
            if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
        ASSERT_EQ(made_.Status, 0) << made_.Output;
    }

    static fs::path Fresh(const std::string& name) { return EmptyFolder(work_ / name); }

    // A medium burned with the "one" tree, then with the "two" tree appended to it.
    static fs::path TwoSessions(const std::string& type, const std::string& options) {
        const fs::path medium = work_ / (type + ".kvm");
        fs::remove(medium);
        EXPECT_EQ(RunShell(UdfCli("media create --type " + type + " " + Q(medium.string()))).Status, 0);
        const std::string drive = "--drive " + Q(medium.string()) + " burn " + options + " ";
        const TRun first = RunShell(UdfCli(drive + Q((work_ / "one" / "Old").string())));
        EXPECT_EQ(first.Status, 0) << first.Output;
        const TRun next = RunShell(UdfCli(drive + "--import-last " + Q((work_ / "two" / "New").string())));
        EXPECT_EQ(next.Status, 0) << next.Output;
        return medium;
    }
    static fs::path Export(const fs::path& medium) {
        const fs::path image = fs::path(medium).replace_extension(".iso");
        const TRun r = RunShell(UdfCli("media export " + Q(medium.string()) + " " + Q(image.string())));
        EXPECT_EQ(r.Status, 0) << r.Output;
        return image;
    }
    static std::string DiscUdf(const fs::path& medium) {
        const TRun info = RunShell(UdfCli("--drive " + Q(medium.string()) + " discinfo"));
        EXPECT_EQ(info.Status, 0) << info.Output;
        size_t at = info.Output.find("\nudf:");
        if (at == std::string::npos) return "<absent>";
        at = info.Output.find_first_not_of(' ', at + 5);
        return info.Output.substr(at, info.Output.find('\n', at) - at);
    }
    // Both trees' files, as the last session's UDF should show them.
    static TTree BothSessions() {
        TTree both = UdfView(work_ / "one", false);
        both.merge(UdfView(work_ / "two", false));
        return both;
    }

    static inline fs::path work_, image_;
    static inline TRun made_;
};

TEST_F(UdfBridgeTest, UdfReadersGiveTheSourceTreeUnderItsOwnNamesWithItsContentsAndTimes) {
    const TRun info = RunShell("udfinfo " + Q(image_.string()));
    ASSERT_EQ(info.Status, 0) << info.Output;
    size_t files = 0, folders = 2;  // the image's root and Awkward itself
    for (const auto& [p, n] : Scan(work_ / "full" / "Awkward", false, false)) {
        if (n.Kind == 'f') ++files;
        if (n.Kind == 'd') ++folders;
    }
    EXPECT_EQ(Field(info.Output, "udfrev"), "2.01") << info.Output;
    EXPECT_EQ(Field(info.Output, "numfiles"), std::to_string(files)) << info.Output;
    EXPECT_EQ(Field(info.Output, "numdirs"), std::to_string(folders)) << info.Output;
    EXPECT_EQ(Field(info.Output, "integrity"), "closed");
    EXPECT_EQ(Field(info.Output, "label"), "Awkward");
    EXPECT_EQ(Field(info.Output, "blocks"), std::to_string(fs::file_size(image_) / 2048));
    EXPECT_EQ(info.Output.find("Warning"), std::string::npos) << info.Output;

    const fs::path z = Fresh("7z-udf");
    const TRun x = RunShell("7z x -tudf -y -o" + Q(z.string()) + " " + Q(image_.string()));
    ASSERT_EQ(x.Status, 0) << x.Output;
    ExpectSameTree(UdfView(work_ / "full", true), Scan(z, false, true), "7z (UDF)");

    const fs::path py = Fresh("pycdlib-udf");
    std::ofstream(work_ / "udf.py") << R"(
import os, sys, pycdlib
iso = pycdlib.PyCdlib(); iso.open(sys.argv[1]); out = sys.argv[2]
for root, dirs, files in iso.walk(udf_path='/'):
    for d in dirs: os.makedirs(os.path.join(out, root.lstrip('/'), d), exist_ok=True)
    for f in files: iso.get_file_from_iso(os.path.join(out, root.lstrip('/'), f), udf_path=root.rstrip('/') + '/' + f)
iso.close()
)";
    const TRun p = RunShell("/usr/bin/python3 " + Q((work_ / "udf.py").string()) + " " + Q(image_.string()) +
                            " " + Q(py.string()));
    ASSERT_EQ(p.Status, 0) << p.Output;
    ExpectSameTree(UdfView(work_ / "full", false), Scan(py, false, false), "pycdlib (UDF)");
}

TEST_F(UdfBridgeTest, TheCommandLineChoosesUdfAndItsRevision) {
    const fs::path source = work_ / "one" / "Old";
    const fs::path old = work_ / "102.iso", none = work_ / "none.iso";
    const TRun m =
        RunShell(CliCommand("mkiso --udf-revision 1.02 -o " + Q(old.string()) + " " + Q(source.string())));
    ASSERT_EQ(m.Status, 0) << m.Output;
    const TRun info = RunShell("udfinfo " + Q(old.string()));
    EXPECT_EQ(Field(info.Output, "udfrev"), "1.02") << info.Output;
    const fs::path z = Fresh("7z-102");
    ASSERT_EQ(RunShell("7z x -tudf -y -o" + Q(z.string()) + " " + Q(old.string())).Status, 0);
    ExpectSameTree(UdfView(work_ / "one", false), Scan(z, false, false), "7z (UDF 1.02)");

    const TRun off =
        RunShell(CliCommand("mkiso --udf off -o " + Q(none.string()) + " " + Q(source.string())));
    ASSERT_EQ(off.Status, 0) << off.Output;
    EXPECT_NE(RunShell("udfinfo " + Q(none.string())).Status, 0);
    EXPECT_EQ(RunShell("isoinfo -d -i " + Q(none.string())).Status, 0);

    const TRun bad =
        RunShell(CliCommand("mkiso --udf sometimes -o " + Q(none.string()) + " " + Q(source.string())));
    EXPECT_EQ(bad.Status, 2) << bad.Output;
    EXPECT_NE(bad.Output.find("--udf takes auto, on or off"), std::string::npos) << bad.Output;
}

TEST_F(UdfBridgeTest, ADvdPlusRwOrBdReGrownByASecondSessionShowsBothSessionsThroughItsUdf) {
    for (const std::string type : {"dvdplusrw", "bdre"}) {
        SCOPED_TRACE(type);
        const fs::path medium = TwoSessions(type, "");
        EXPECT_EQ(DiscUdf(medium), "2.01");
        const fs::path image = Export(medium);
        const fs::path z = Fresh("7z-grown-" + type);
        const TRun x = RunShell("7z x -tudf -y -o" + Q(z.string()) + " " + Q(image.string()));
        ASSERT_EQ(x.Status, 0) << x.Output;
        ExpectSameTree(BothSessions(), Scan(z, false, false), "7z (UDF of a grown " + type + ")");
        const TRun info = RunShell("udfinfo " + Q(image.string()));
        EXPECT_EQ(Field(info.Output, "numfiles"), "3") << info.Output;
        fs::remove(image);
    }
}

TEST_F(UdfBridgeTest, WriteOnceMediaCarryAUdfInEverySessionAndCdsNoneUnlessAsked) {
    const fs::path plain = work_ / "plain-cd.kvm";
    ASSERT_EQ(RunShell(UdfCli("media create --type cdr " + Q(plain.string()))).Status, 0);
    ASSERT_EQ(
        RunShell(UdfCli("--drive " + Q(plain.string()) + " burn " + Q((work_ / "one" / "Old").string()))).Status,
        0);
    EXPECT_EQ(DiscUdf(plain), "none");

    for (const auto& [type, options] :
         {std::pair<std::string, std::string>{"cdr", "--udf on"}, {"dvdplusr", ""}}) {
        SCOPED_TRACE(type);
        const fs::path medium = TwoSessions(type, options);
        EXPECT_EQ(DiscUdf(medium), "2.01");
        // A multisession reader finds the last session's anchor at its start + 256.
        const TRun info =
            RunShell("udfinfo --startblock=" + LastTrackStart(medium) + " " + Q(Export(medium).string()));
        ASSERT_EQ(info.Status, 0) << info.Output;
        EXPECT_EQ(Field(info.Output, "numfiles"), "3") << info.Output;
        EXPECT_EQ(Field(info.Output, "numdirs"), "3") << info.Output;
    }
}

}  // namespace
}  // namespace kv
