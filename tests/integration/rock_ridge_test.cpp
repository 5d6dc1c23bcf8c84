// Rock Ridge and strict level-1 names, read back by outside readers: the awkward tree comes back
// exactly through Rock Ridge, and as Joliet names through Joliet.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "AwkwardTree.h"
#include "CliShell.h"
#include "TreeScan.h"
#include "iso/IsoLevel1Names.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using namespace kv::test;

// The name a reader of the Joliet tree shows: shortened when it does not fit one record (110
// UCS-2 characters, a file's ";1" included), with its extension kept. The test names are ASCII.
fs::path JolietPath(const fs::path& rel, bool isFile) {
    fs::path out;
    for (auto it = rel.begin(); it != rel.end(); ++it) {
        std::string name = it->string();
        const bool file = isFile && std::next(it) == rel.end();
        const size_t limit = file ? 108 : 110;
        if (name.size() > limit) {
            const size_t dot = file ? name.find_last_of('.') : std::string::npos;
            const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
            name = name.substr(0, limit - ext.size()) + ext;
        }
        out /= name;
    }
    return out;
}

// Some Joliet readers keep the dot given to a name without extension (README.), others drop it.
std::map<fs::path, TNode> WithoutTrailingDots(const std::map<fs::path, TNode>& in) {
    std::map<fs::path, TNode> out;
    for (const auto& [p, n] : in) {
        fs::path q;
        for (const fs::path& c : p) {
            std::string s = c.string();
            if (s.size() > 1 && s.back() == '.') s.pop_back();
            q /= s;
        }
        out[q] = n;
    }
    return out;
}

class RockRidgeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        work_ = fs::temp_directory_path() / ("kv-rock-ridge-" + std::to_string(::getpid()));
        fs::remove_all(work_);
        BuildAwkwardTree(work_ / "full", true);
        image_ = work_ / "awkward.iso";
        made_ = RunShell("SOURCE_DATE_EPOCH=1700000000 " +
                         CliCommand("mkiso --volume Awkward -o " + Q(image_.string()) + " " +
                                    Q((work_ / "full" / "Awkward").string())));
    }
    static void TearDownTestSuite() { fs::remove_all(work_); }

    void SetUp() override {
        for (const char* tool : {"isoinfo", "xorriso", "7z", "bsdtar", "/usr/bin/python3"})
            if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
        ASSERT_EQ(made_.Status, 0) << made_.Output;
    }

    static fs::path Fresh(const std::string& name) { return EmptyFolder(work_ / name); }
    static std::map<fs::path, TNode> Source(bool modes, bool times) { return Scan(work_ / "full", modes, times); }

    // What the Joliet tree holds: every file under its Joliet name; links are Rock Ridge only.
    static std::map<fs::path, TNode> JolietView() {
        std::map<fs::path, TNode> out;
        for (const auto& [p, n] : Source(false, false))
            if (n.Kind != 'l') out[JolietPath(p, n.Kind == 'f')] = n;
        return out;
    }

    static inline fs::path work_, image_;
    static inline TRun made_;
};

TEST_F(RockRidgeTest, RockRidgeReadersGiveTheSourceNamesContentsModesAndLinks) {
    const fs::path tar = Fresh("bsdtar");
    TRun t = RunShell("bsdtar -xf " + Q(image_.string()) + " -C " + Q(tar.string()));
    ASSERT_EQ(t.Status, 0) << t.Output;
    ExpectSameTree(Source(true, true), Scan(tar, true, true), "bsdtar");

    const fs::path xo = Fresh("xorriso");
    TRun x = RunShell("xorriso -osirrox on -indev " + Q(image_.string()) + " -extract / " + Q(xo.string()));
    ASSERT_EQ(x.Status, 0) << x.Output;
    ExpectSameTree(Source(true, true), Scan(xo, true, true), "xorriso");

    // pycdlib's Rock Ridge paths, written out with the modes and links it reads.
    const fs::path py = Fresh("pycdlib-rr");
    std::ofstream(work_ / "rr.py") << R"(
import os, stat, sys, pycdlib
iso = pycdlib.PyCdlib(); iso.open(sys.argv[1]); out = sys.argv[2]
for root, dirs, files in iso.walk(rr_path='/'):
    for name in dirs + files:
        path = (root.rstrip('/') + '/' + name); rr = iso.get_record(rr_path=path).rock_ridge
        local = os.path.join(out, path.lstrip('/')); mode = rr.get_file_mode()
        if rr.is_symlink(): os.symlink(rr.symlink_path(), local)
        elif stat.S_ISDIR(mode): os.makedirs(local, exist_ok=True)
        else: iso.get_file_from_iso(local, rr_path=path)
        if not rr.is_symlink(): os.chmod(local, stat.S_IMODE(mode))
iso.close()
)";
    TRun p = RunShell("/usr/bin/python3 " + Q((work_ / "rr.py").string()) + " " + Q(image_.string()) + " " +
                      Q(py.string()));
    ASSERT_EQ(p.Status, 0) << p.Output;
    ExpectSameTree(Source(true, false), Scan(py, true, false), "pycdlib");

    // isoinfo -R lists every name of a folder exactly.
    TRun l = RunShell("isoinfo -R -l -i " + Q(image_.string()));
    ASSERT_EQ(l.Status, 0) << l.Output;
    std::set<std::string> listed;
    std::istringstream lines(l.Output);
    std::string line, folder;
    while (std::getline(lines, line)) {
        if (line.rfind("Directory listing of /", 0) == 0) folder = line.substr(22);
        const size_t at = line.find("]  ");
        if (at == std::string::npos) continue;
        std::string name = line.substr(at + 3, line.find(" -> ") == std::string::npos ? std::string::npos
                                                                                      : line.find(" -> ") - at - 3);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (name != "." && name != "..") listed.insert(folder + name);
    }
    std::set<std::string> expected;
    for (const auto& [path, node] : Source(false, false)) expected.insert(path.string());
    EXPECT_EQ(listed, expected);
}

TEST_F(RockRidgeTest, JolietReadersGiveTheJolietNamesAndContents) {
    const fs::path z = Fresh("7z");
    // 7-Zip reads the image's UDF tree when it finds one; -tiso asks for the ISO 9660 reader.
    TRun r = RunShell("7z x -tiso -y -o" + Q(z.string()) + " " + Q(image_.string()));
    ASSERT_EQ(r.Status, 0) << r.Output;
    ExpectSameTree(JolietView(), WithoutTrailingDots(Scan(z, false, false)), "7z");

    const fs::path py = Fresh("pycdlib-joliet");
    std::ofstream(work_ / "joliet.py") << R"(
import os, sys, pycdlib
iso = pycdlib.PyCdlib(); iso.open(sys.argv[1]); out = sys.argv[2]
for root, dirs, files in iso.walk(joliet_path='/'):
    for d in dirs: os.makedirs(os.path.join(out, root.lstrip('/'), d), exist_ok=True)
    for f in files:
        name = f[:-2] if f.endswith(';1') else f
        iso.get_file_from_iso(os.path.join(out, root.lstrip('/'), name), joliet_path=root.rstrip('/') + '/' + f)
iso.close()
)";
    TRun p = RunShell("/usr/bin/python3 " + Q((work_ / "joliet.py").string()) + " " + Q(image_.string()) + " " +
                      Q(py.string()));
    ASSERT_EQ(p.Status, 0) << p.Output;
    ExpectSameTree(JolietView(), WithoutTrailingDots(Scan(py, false, false)), "pycdlib");
}

TEST_F(RockRidgeTest, IsoNamesAreDCharactersOnlyAndUniquePerFolder) {
    TRun l = RunShell("isoinfo -l -i " + Q(image_.string()));
    ASSERT_EQ(l.Status, 0) << l.Output;
    std::istringstream lines(l.Output);
    std::string line, directory;
    std::map<std::string, std::set<std::string>> names;
    size_t checked = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("Directory listing of ", 0) == 0) directory = line.substr(21);
        const size_t bracket = line.find("]  ");
        if (bracket == std::string::npos) continue;
        std::string name = line.substr(bracket + 3);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (name == "." || name == "..") continue;
        const bool isDirectory = line[0] == 'd';
        if (!isDirectory) {
            ASSERT_EQ(name.substr(name.size() - 2), ";1") << name;
            name.resize(name.size() - 2);
        }
        EXPECT_TRUE(TIsoLevel1Namer::IsValid(name, isDirectory)) << directory << name;
        EXPECT_TRUE(names[directory].insert(name).second) << "duplicate " << directory << name;
        ++checked;
    }
    EXPECT_EQ(checked, Source(false, false).size());
    // The clashes of the awkward tree take their numeric tails.
    EXPECT_TRUE(names["/AWKWARD/"].count("IMG_2001.JPG"));
    EXPECT_TRUE(names["/AWKWARD/MANY/"].count("FILE0299.TXT"));
    EXPECT_TRUE(names["/AWKWARD/"].count("SAME8C01"));
}

TEST_F(RockRidgeTest, BurnedToAVirtualDvdTheSessionIsTheImage) {
    const fs::path medium = work_ / "awkward.kvm";
    TRun c = RunShell(CliCommand("media create --type dvdplusr " + Q(medium.string()), 5000));
    ASSERT_EQ(c.Status, 0) << c.Output;
    TRun b = RunShell("SOURCE_DATE_EPOCH=1700000000 " +
                      CliCommand("--drive " + Q(medium.string()) + " burn --volume Awkward " +
                                     Q((work_ / "full" / "Awkward").string()),
                                 5000));
    ASSERT_EQ(b.Status, 0) << b.Output;
    const fs::path exported = work_ / "exported.iso";
    TRun e = RunShell(CliCommand("media export " + Q(medium.string()) + " " + Q(exported.string()), 5000));
    ASSERT_EQ(e.Status, 0) << e.Output;
    // Made again after the burn: reading a tree moves its access times, which Rock Ridge records;
    // a second read in a row leaves them (relatime), so the two runs see the same tree.
    const fs::path again = work_ / "again.iso";
    TRun m = RunShell("SOURCE_DATE_EPOCH=1700000000 " + CliCommand("mkiso --volume Awkward -o " + Q(again.string()) +
                                                                   " " + Q((work_ / "full" / "Awkward").string())));
    ASSERT_EQ(m.Status, 0) << m.Output;
    const std::string made = ReadFile(again), burned = ReadFile(exported);
    ASSERT_GE(burned.size(), made.size());
    EXPECT_TRUE(burned.compare(0, made.size(), made) == 0) << "the burned session differs from the image";
    EXPECT_EQ(burned.find_first_not_of('\0', made.size()), std::string::npos);
    // Kelvadore's own import reads the disc through Rock Ridge.
    TRun i = RunShell(CliCommand("--drive " + Q(medium.string()) + " import", 5000));
    ASSERT_EQ(i.Status, 0) << i.Output;
    EXPECT_NE(i.Output.find("\n  run.sh  20 bytes at "), std::string::npos) << i.Output;
    EXPECT_NE(i.Output.find("  -rwxr-x---\n"), std::string::npos) << i.Output;
    EXPECT_NE(i.Output.find("\n  link to readme -> README  lrwxrwxrwx\n"), std::string::npos) << i.Output;
    EXPECT_NE(i.Output.find("\n  " + std::string(251, 'c') + ".dat  255 bytes"), std::string::npos) << i.Output;
}

// With Rock Ridge and UDF off the image is the one made before either existed, byte for byte but
// for the clash tails of level-1 names ("~N" then, "0N" now). The reference was made by the earlier
// mkiso from the same tree, in UTC, with its clock stopped at SOURCE_DATE_EPOCH.
TEST_F(RockRidgeTest, WithoutRockRidgeTheImageIsTheEarlierOne) {
    BuildAwkwardTree(work_ / "plain", false);
    // Without Rock Ridge a link is written as what it points to, and the earlier mkiso left a link
    // to a folder out: the reference holds no "link to deep". Its folder keeps its times.
    const fs::path plainRoot = work_ / "plain" / "Awkward";
    struct stat rootTimes {};
    ASSERT_EQ(::stat(plainRoot.c_str(), &rootTimes), 0);
    fs::remove(plainRoot / "link to deep");
    const struct timespec times[2] = {rootTimes.st_atim, rootTimes.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, plainRoot.c_str(), times, 0), 0);
    const fs::path reference = work_ / "reference.iso", image = work_ / "plain.iso";
    ASSERT_EQ(RunShell("gzip -dc " + Q(std::string(KV_TEST_DATA_DIR) + "/awkward-reference.iso.gz") + " > " +
                       Q(reference.string()))
                  .Status,
              0);
    TRun m = RunShell("TZ=UTC SOURCE_DATE_EPOCH=1700000000 " +
                      CliCommand("mkiso --no-rock-ridge --udf off -o " + Q(image.string()) + " " +
                                 Q((work_ / "plain" / "Awkward").string())));
    ASSERT_EQ(m.Status, 0) << m.Output;
    const std::string before = ReadFile(reference), now = ReadFile(image);
    ASSERT_EQ(before.size(), now.size());
    const auto* pvd = reinterpret_cast<const uint8_t*>(now.data()) + 16 * 2048;
    const size_t tableSize = GetLE32(pvd + 132);
    const size_t tables[2] = {size_t{GetLE32(pvd + 140)} * 2048, size_t{GetBE32(pvd + 148)} * 2048};
    auto inTable = [&](size_t at) {
        return (at >= tables[0] && at < tables[0] + tableSize) || (at >= tables[1] && at < tables[1] + tableSize);
    };
    size_t tails = 0;
    for (size_t i = 0; i < now.size(); ++i) {
        if (before[i] == now[i] || inTable(i)) continue;
        ASSERT_TRUE(before[i] == '~' && now[i] == '0') << "byte " << i;
        ++tails;
    }
    EXPECT_EQ(tails, 304u);
    // A folder's tail moves it in the path tables (they are sorted by name), nothing else changes:
    // the tables hold the same records once '~' is read as '0'.
    for (size_t start : tables) {
        std::multiset<std::string> a, b;
        for (const std::string* s : {&before, &now}) {
            for (size_t at = start; at < start + tableSize;) {
                const size_t id = static_cast<uint8_t>((*s)[at]);
                std::string record = s->substr(at + 2, 4) + s->substr(at + 8, id);
                std::replace(record.begin(), record.end(), '~', '0');
                (s == &before ? a : b).insert(record);
                at += 8 + id + id % 2;
            }
        }
        EXPECT_EQ(a, b);
    }
}

}  // namespace
}  // namespace kv
