// A folder only Linux can hold (names that differ in case or by a final dot, names with
// backslashes, control characters, bytes that are not UTF-8, characters Windows refuses, Joliet
// names that clash once shortened, hard links) and a folder holding entries its reader may not
// open, burned with kelvadore-cli to a virtual DVD+R, appended to, extracted and verified; read
// back with xorriso, isoinfo and pycdlib.
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CliShell.h"
#include "LinuxNamesFolder.h"

namespace kv::test {

class TLinuxNamesScenario {
public:
    TLinuxNamesScenario(const std::filesystem::path& work, int timeScale) : work_(work), timeScale_(timeScale) {}

    void Run() {
        Build();
        RefusedBeforeAnyWrite();
        if (::testing::Test::HasFatalFailure()) return;
        FirstSession();
        if (::testing::Test::HasFatalFailure()) return;
        Appended();
    }

    ~TLinuxNamesScenario() {
        OpenLinuxNamesFolders(work_);
        std::error_code ec;
        std::filesystem::remove_all(work_, ec);
    }

private:
    std::string Cli(const std::string& args) const { return CliCommand("--drive " + Q(medium_.string()) + " " + args, timeScale_); }

    void Build() {
        namespace fs = std::filesystem;
        fs::remove_all(work_);
        fs::create_directories(work_);
        BuildLinuxNamesFolders(work_);
        // Reachable for the user the refused burn runs as.
        fs::permissions(work_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
        fs::create_directories(work_ / "shared");
        fs::permissions(work_ / "shared", fs::perms::all);
        medium_ = work_ / "shared" / "disc.kvm";
        TRun m = RunShell(CliCommand("media create --type dvdplusr " + Q(medium_.string())));
        ASSERT_EQ(m.Status, 0) << m.Output;
        fs::permissions(medium_, fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec));
    }

    // Root reads whatever the mode says: the refused burn runs as nobody (uid 65534) then, for
    // whom the entries of mode 000 are as closed as for any user.
    void RefusedBeforeAnyWrite() {
        const std::string asUser = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
        const std::string command = "KELVADORE_HOME=" + Q((work_ / "shared").string()) + " KELVADORE_TIME_SCALE=" +
                                    std::to_string(timeScale_) + " " + asUser + Q(std::string(KV_CLI)) + " --drive " +
                                    Q(medium_.string()) + " burn " + Q((work_ / "Awkward").string()) + " " +
                                    Q((work_ / "Locked").string());
        const TRun refused = RunShell(command);
        EXPECT_NE(refused.Status, 0) << refused.Output;
        EXPECT_NE(refused.Output.find("CANNOT READ \"" + (work_ / "Locked" / "secret.txt").string() +
                                      "\": Permission denied"),
                  std::string::npos)
            << refused.Output;
        EXPECT_NE(refused.Output.find("CANNOT LIST \"" + (work_ / "Locked" / "closed").string() +
                                      "\": Permission denied"),
                  std::string::npos)
            << refused.Output;
        EXPECT_EQ(refused.Output.find("STARTING WRITE PROCESS"), std::string::npos) << refused.Output;
        const TRun info = RunShell(CliCommand("media info " + Q(medium_.string())));
        ASSERT_NE(info.Output.find("state:     blank"), std::string::npos) << "written after all:\n" << info.Output;
    }

    static void ExpectSameTree(const TNamedTree& expected, const TNamedTree& got, const std::string& reader) {
        EXPECT_EQ(NamedTreeDifferences(expected, got), "") << reader;
    }

    std::filesystem::path SessionImage(const std::string& name, const std::string& start) const {
        const std::filesystem::path image = work_ / (name + ".iso");
        EXPECT_TRUE(ExportSessionImage(medium_, image, start));
        return image;
    }

    TNamedTree XorrisoTree(const std::filesystem::path& image, const std::string& name) const {
        const std::filesystem::path into = work_ / name;
        std::filesystem::remove_all(into);
        TRun x = RunShell("xorriso -osirrox on -indev " + Q(image.string()) + " -extract / " + Q(into.string()));
        EXPECT_EQ(x.Status, 0) << x.Output;
        return ScanNamed(into);
    }

    // Rock Ridge names by pycdlib, one path a line in hex (names may hold line ends), with the
    // number of names each folder has in the Joliet and in the ISO 9660 tree once case is folded.
    std::string Pycdlib(const std::filesystem::path& image) const {
        const std::filesystem::path script = work_ / "names.py";
        std::ofstream(script) << R"(
import sys, pycdlib
iso = pycdlib.PyCdlib(); iso.open(sys.argv[1])
# list_children gives the names as recorded bytes (walk insists on UTF-8).
def rock(path, folder):
    for child in iso.list_children(rr_path=path):
        if child.is_dot() or child.is_dotdot(): continue
        name = child.rock_ridge.name()
        print('rr', (folder + b'/' + name).hex())
        if child.is_dir(): rock(path.rstrip('/') + '/' + name.decode('utf-8'), folder + b'/' + name)
rock('/', b'')
for kind in ('joliet_path', 'iso_path'):
    for root, dirs, files in iso.walk(**{kind: '/'}):
        names = [n.split(';')[0].rstrip('.').upper() for n in dirs + files]
        print(kind, root, len(names), len(set(names)))
iso.close()
)";
        TRun p = RunShell("/usr/bin/python3 " + Q(script.string()) + " " + Q(image.string()));
        EXPECT_EQ(p.Status, 0) << p.Output;
        return p.Output;
    }

    static std::string Hex(const std::string& bytes) {
        static const char* digits = "0123456789abcdef";
        std::string out;
        for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
        return out;
    }

    void FirstSession() {
        const TRun burn = RunShell(Cli("burn " + Q((work_ / "Awkward").string())));
        ASSERT_EQ(burn.Status, 0) << burn.Output;
        source_ = ScanNamed(work_ / "Awkward", "Awkward");
        const std::filesystem::path image = SessionImage("first", "0");
        ExpectSameTree(source_, XorrisoTree(image, "xorriso-1"), "xorriso");

        const std::string py = Pycdlib(image);
        std::set<std::string> rock;
        std::istringstream lines(py);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("rr ", 0) == 0) rock.insert(line.substr(3));
            std::istringstream words(line);
            std::string kind, root;
            int names = 0, distinct = 0;
            if (words >> kind >> root >> names >> distinct && kind != "rr") {
                EXPECT_EQ(names, distinct) << kind << " names clash in " << root << "\n" << py;
            }
        }
        std::set<std::string> expected;
        for (const auto& [p, data] : source_) expected.insert(Hex("/" + p));
        EXPECT_EQ(rock, expected) << "pycdlib's Rock Ridge names";

        // isoinfo: both names of the hard-linked file show its link count and one extent.
        const TRun listing = RunShell("isoinfo -R -l -i " + Q(image.string()));
        ASSERT_EQ(listing.Status, 0) << listing.Output;
        std::vector<std::string> linked;
        std::istringstream rows(listing.Output);
        for (std::string row; std::getline(rows, row);)
            if (row.find("]  hard") != std::string::npos) linked.push_back(row);
        ASSERT_EQ(linked.size(), 2u) << listing.Output;
        for (const std::string& row : linked) EXPECT_EQ(row.rfind("-rw-r--r--   2 ", 0), 0u) << row;
        EXPECT_EQ(linked[0].substr(linked[0].find('['), 12), linked[1].substr(linked[1].find('['), 12));
    }

    void Appended() {
        const TRun next = RunShell(Cli("burn --import-last " + Q((work_ / "More").string())));
        ASSERT_EQ(next.Status, 0) << next.Output;
        TNamedTree both = source_;
        both.merge(ScanNamed(work_ / "More", "More"));
        const std::string start = LastTrackStart(medium_);
        ASSERT_NE(start, "0");
        ExpectSameTree(both, XorrisoTree(SessionImage("second", start), "xorriso-2"), "xorriso, second session");

        // Every file extracted from the second session under its own name, with its contents.
        const std::filesystem::path out = work_ / "extracted";
        for (const auto& [p, data] : both) {
            if (data == "/") continue;
            std::filesystem::remove_all(out);
            std::filesystem::create_directories(out);
            const TRun x = RunShell(Cli("extract " + Q(p) + " " + Q(out.string())));
            ASSERT_EQ(x.Status, 0) << Q(p) << "\n" << x.Output;
            const TNamedTree got = ScanNamed(out);
            ASSERT_EQ(got.size(), 1u) << Q(p);
            EXPECT_EQ(got.begin()->first, std::filesystem::path(p).filename().string());
            EXPECT_TRUE(got.begin()->second == data) << "contents of " << Q(p);
        }

        const TRun first = RunShell(Cli("verify --session 1 " + Q((work_ / "Awkward").string())));
        EXPECT_EQ(first.Status, 0) << first.Output;
        EXPECT_NE(first.Output.find("verify: 22 files and 3 folders compared, 22 equal"), std::string::npos)
            << first.Output;
        const TRun last = RunShell(Cli("verify " + Q((work_ / "Awkward").string()) + " " + Q((work_ / "More").string())));
        EXPECT_EQ(last.Status, 0) << last.Output;
        EXPECT_NE(last.Output.find("verify: 23 files and 4 folders compared, 23 equal"), std::string::npos)
            << last.Output;
    }

    std::filesystem::path work_;
    int timeScale_;
    std::filesystem::path medium_;
    TNamedTree source_;
};

}  // namespace kv::test
