// Data discs burned by kelvadore-cli on the virtual recorder, exported and read by outside readers.
#include <gtest/gtest.h>

#include "CliShell.h"
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>

namespace kv {
namespace {

namespace fs = std::filesystem;
using namespace kv::test;

// The command line with the recorder's waits running fast.
std::string Cli(const std::string& args) { return test::CliCommand(args, 5000); }

class BurnDataTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        work_ = fs::temp_directory_path() / ("kv-burn-data-" + std::to_string(::getpid()));
        fs::remove_all(work_);
        unsigned seed = 7;
        auto file = [&](const std::string& rel, size_t size) {
            WriteRandom(work_ / "Tree" / rel, size, seed++);
        };
        file("big.bin", 200000);
        file("exact 65536.bin", 65536);
        file("one byte.bin", 1);
        file("empty.txt", 0);
        file("Folder/Inner/deep.dat", 4097);
        file("Folder/name with spaces.txt", 300);
    }
    static void TearDownTestSuite() { fs::remove_all(work_); }

    void SetUp() override {
        for (const char* tool : {"isoinfo", "xorriso", "7z", "bsdtar", "/usr/bin/python3"})
            if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
    }

    static fs::path NewMedium(const std::string& type) {
        const fs::path medium = work_ / (type + ".kvm");
        fs::remove(medium);
        TRun r = RunShell(Cli("media create --type " + type + " " + Q(medium.string())));
        EXPECT_EQ(r.Status, 0) << r.Output;
        return medium;
    }

    static fs::path Export(const fs::path& medium) {
        const fs::path image = fs::path(medium).replace_extension(".iso");
        fs::remove(image);
        TRun r = RunShell(Cli("media export " + Q(medium.string()) + " " + Q(image.string())));
        EXPECT_EQ(r.Status, 0) << r.Output;
        return image;
    }

    static std::map<fs::path, fs::path> SourceFiles() {
        std::map<fs::path, fs::path> files;
        for (auto& e : fs::recursive_directory_iterator(work_ / "Tree"))
            if (e.is_regular_file()) files[fs::relative(e.path(), work_)] = e.path();
        return files;
    }

    // Extracts with `command` into `into` and compares every file with its source.
    static void ExpectIdenticalExtraction(const std::string& command, const fs::path& into) {
        fs::remove_all(into);
        fs::create_directories(into);
        TRun r = RunShell(command);
        ASSERT_EQ(r.Status, 0) << r.Output;
        std::set<fs::path> extracted;
        for (auto& e : fs::recursive_directory_iterator(into))
            if (e.is_regular_file()) {
                const fs::path rel = fs::relative(e.path(), into);
                extracted.insert(rel);
                ASSERT_TRUE(fs::exists(work_ / rel)) << "unexpected file " << rel;
                EXPECT_TRUE(ReadFile(e.path()) == ReadFile(work_ / rel)) << "content differs: " << rel;
            }
        for (auto& [rel, path] : SourceFiles()) EXPECT_TRUE(extracted.count(rel)) << "missing " << rel;
        fs::remove_all(into);
    }

    static inline fs::path work_;
};

TEST_F(BurnDataTest, CompilationOnEveryWritableMediumReadsBackWithEveryReader) {
    for (const std::string type :
         {"cdr", "cdrw", "dvdr", "dvdrw", "dvdrw-ro", "dvdplusr", "dvdplusrw", "dvdplusrdl", "dvdram", "bdr", "bdrdl",
          "bdre", "bdredl"}) {
        SCOPED_TRACE(type);
        const fs::path medium = NewMedium(type);
        TRun burn = RunShell(Cli("--drive " + Q(medium.string()) + " burn --volume 'Burn Test' " +
                                 Q((work_ / "Tree").string())));
        ASSERT_EQ(burn.Status, 0) << burn.Output;
        EXPECT_NE(burn.Output.find("STARTING WRITE PROCESS ON"), std::string::npos) << burn.Output;
        const fs::path image = Export(medium);

        TRun d = RunShell("isoinfo -d -i " + Q(image.string()));
        ASSERT_EQ(d.Status, 0) << d.Output;
        EXPECT_NE(d.Output.find("Volume id: BURN TEST"), std::string::npos) << d.Output;
        TRun x = RunShell("xorriso -indev " + Q(image.string()) + " -find / -type f");
        ASSERT_EQ(x.Status, 0) << x.Output;
        EXPECT_NE(x.Output.find("'/Tree/Folder/Inner/deep.dat'"), std::string::npos) << x.Output;
        ExpectIdenticalExtraction("7z x -y -o" + Q((work_ / "x7z").string()) + " " + Q(image.string()),
                                  work_ / "x7z");
        ExpectIdenticalExtraction("bsdtar -xf " + Q(image.string()) + " -C " + Q((work_ / "xtar").string()),
                                  work_ / "xtar");
        TRun p = RunShell(
            "/usr/bin/python3 -c 'import sys, pycdlib; i = pycdlib.PyCdlib(); i.open(sys.argv[1]); "
            "print(\"files\", sum(len(n) for r, d, n in i.walk(joliet_path=\"/\"))); i.close()' " +
            Q(image.string()));
        ASSERT_EQ(p.Status, 0) << p.Output;
        EXPECT_NE(p.Output.find("files " + std::to_string(SourceFiles().size())), std::string::npos)
            << p.Output;
    }
}

TEST_F(BurnDataTest, RewritableMediaBlankedFromTheCommandLineTakeTheNextBurn) {
    for (const std::string type : {"cdrw", "dvdrw", "dvdplusrw", "dvdram", "bdre"}) {
        SCOPED_TRACE(type);
        const fs::path medium = NewMedium(type);
        const std::string drive = "--drive " + Q(medium.string());
        TRun first = RunShell(Cli(drive + " burn --volume First " + Q((work_ / "Tree").string())));
        ASSERT_EQ(first.Status, 0) << first.Output;
        TRun blank = RunShell(Cli(drive + " blank"));
        ASSERT_EQ(blank.Status, 0) << blank.Output;
        EXPECT_NE(blank.Output.find("blanking: 100%"), std::string::npos) << blank.Output;
        TRun second = RunShell(Cli(drive + " burn --volume Second " + Q((work_ / "Tree").string())));
        ASSERT_EQ(second.Status, 0) << second.Output;
        const fs::path image = Export(medium);
        TRun d = RunShell("isoinfo -d -i " + Q(image.string()));
        EXPECT_NE(d.Output.find("Volume id: SECOND"), std::string::npos) << d.Output;
        ExpectIdenticalExtraction("7z x -y -o" + Q((work_ / "xblank").string()) + " " + Q(image.string()),
                                  work_ / "xblank");
    }
}

// An image written with burn-iso comes back as it was, followed by nothing but zeros.
void ExpectImageBurnedAsIs(const fs::path& medium, const fs::path& source, const fs::path& exported) {
    const std::string original = ReadFile(source);
    const std::string back = ReadFile(exported);
    ASSERT_GE(back.size(), original.size()) << medium;
    EXPECT_TRUE(back.compare(0, original.size(), original) == 0) << medium;
    EXPECT_EQ(back.find_first_not_of('\0', original.size()), std::string::npos) << medium;
}

TEST_F(BurnDataTest, BurnIsoWritesForeignAndOwnImagesUnchanged) {
    const fs::path foreign = work_ / "foreign.iso";
    TRun x = RunShell("xorriso -as mkisofs -quiet -J -R -V FOREIGN -o " + Q(foreign.string()) + " " +
                      Q((work_ / "Tree").string()));
    ASSERT_EQ(x.Status, 0) << x.Output;
    const fs::path own = work_ / "own.iso";
    TRun m = RunShell(Cli("mkiso -o " + Q(own.string()) + " " + Q((work_ / "Tree").string())));
    ASSERT_EQ(m.Status, 0) << m.Output;
    for (const std::string type : {"cdr", "dvdplusr", "dvdr", "bdr", "bdre"}) {
        for (const fs::path& image : {foreign, own}) {
            SCOPED_TRACE(type + " " + image.filename().string());
            const fs::path medium = NewMedium(type);
            TRun burn = RunShell(Cli("--drive " + Q(medium.string()) + " burn-iso " + Q(image.string())));
            ASSERT_EQ(burn.Status, 0) << burn.Output;
            ExpectImageBurnedAsIs(medium, image, Export(medium));
        }
    }
}

TEST_F(BurnDataTest, SecondSessionWithImportShowsOldAndNewFiles) {
    const fs::path second = work_ / "Second";
    WriteRandom(second / "Tree" / "added later.bin", 70000, 99);
    // Same place as a file of the first session: the second session's data replaces it.
    WriteRandom(second / "Tree" / "Folder" / "name with spaces.txt", 5000, 98);
    for (const std::string type : {"cdr", "dvdplusr", "dvdplusrw", "bdr", "bdre"}) {
        SCOPED_TRACE(type);
        const fs::path medium = NewMedium(type);
        const std::string drive = "--drive " + Q(medium.string());
        TRun first = RunShell(Cli(drive + " burn " + Q((work_ / "Tree").string())));
        ASSERT_EQ(first.Status, 0) << first.Output;
        TRun next = RunShell(Cli(drive + " burn --import-last " + Q((second / "Tree").string())));
        ASSERT_EQ(next.Status, 0) << next.Output;
        const fs::path image = Export(medium);
        const fs::path into = work_ / "xms";
        fs::remove_all(into);
        TRun x = RunShell("xorriso -indev " + Q(image.string()) + " -load sbsector " +
                          LastTrackStart(medium) + " -osirrox on -extract / " + Q(into.string()));
        ASSERT_EQ(x.Status, 0) << x.Output;
        for (auto& [rel, path] : SourceFiles()) {
            const fs::path replacement = second / rel;
            const fs::path expected = fs::exists(replacement) ? replacement : path;
            EXPECT_TRUE(fs::exists(into / rel) && ReadFile(into / rel) == ReadFile(expected)) << rel;
        }
        EXPECT_TRUE(ReadFile(into / "Tree" / "added later.bin") == ReadFile(second / "Tree" / "added later.bin"));
        fs::remove_all(into);
    }
}

// Every file under `source` has its twin under `into`, and nothing else is there.
void ExpectSameFiles(const fs::path& source, const fs::path& into) {
    size_t files = 0;
    for (auto& e : fs::recursive_directory_iterator(into))
        if (e.is_regular_file()) {
            ++files;
            const fs::path rel = fs::relative(e.path(), into);
            EXPECT_TRUE(ReadFile(e.path()) == ReadFile(source / rel)) << rel;
        }
    size_t expected = 0;
    for (auto& e : fs::recursive_directory_iterator(source)) expected += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, expected) << into;
}

TEST_F(BurnDataTest, NextSessionKeepsTheLongestNamesAndGivesImportedFilesUniqueIsoNames) {
    // The first session is burned as "burn ." from inside the folder, which puts the folder on the
    // disc under its own name.
    const fs::path sources = work_ / "Long", photos = sources / "photos";
    const std::string file = std::string(104, 'f') + ".bin", folder(110, 'd');
    WriteRandom(photos / file, 5000, 41);
    WriteRandom(photos / folder / "inside.txt", 3000, 42);
    WriteRandom(photos / "Quarterly report A.doc", 100, 43);
    WriteRandom(photos / "Quarterly report B.doc", 100, 44);
    WriteRandom(sources / "More" / "more.txt", 10, 45);
    for (const std::string type : {"cdr", "dvdplusr"}) {
        SCOPED_TRACE(type);
        const fs::path medium = NewMedium(type);
        const std::string drive = "--drive " + Q(medium.string());
        // ISO 9660 names only: the view spliced below is what an ISO 9660 reader of the last
        // session sees; a UDF reader finds the session's own anchor (UdfBridgeTest).
        TRun first = RunShell("cd " + Q(photos.string()) + " && " + Cli(drive + " burn --udf off ."));
        ASSERT_EQ(first.Status, 0) << first.Output;
        TRun next = RunShell(Cli(drive + " burn --udf off --import-last " + Q((sources / "More").string())));
        ASSERT_EQ(next.Status, 0) << next.Output;

        TRun listed = RunShell(Cli(drive + " import --session 2"));
        ASSERT_EQ(listed.Status, 0) << listed.Output;
        // Read back through Rock Ridge, with the modes it records.
        EXPECT_NE(listed.Output.find("photos/  drwx"), std::string::npos) << listed.Output;
        EXPECT_NE(listed.Output.find("  " + folder + "/  drwx"), std::string::npos);
        EXPECT_NE(listed.Output.find("\n    inside.txt  3000 bytes"), std::string::npos);
        EXPECT_NE(listed.Output.find("  " + file + "  5000 bytes"), std::string::npos) << listed.Output;
        const fs::path out = work_ / "long-name.bin";
        TRun x =
            RunShell(Cli(drive + " extract --session 2 " + Q("/photos/" + file) + " " + Q(out.string())));
        ASSERT_EQ(x.Status, 0) << x.Output;
        EXPECT_TRUE(ReadFile(out) == ReadFile(photos / file));

        const fs::path image = Export(medium), into = work_ / "xlong";
        const std::string start = LastTrackStart(medium);
        fs::remove_all(into);
        TRun xo = RunShell("xorriso -indev " + Q(image.string()) + " -load sbsector " + start +
                           " -osirrox on -extract / " + Q(into.string()));
        ASSERT_EQ(xo.Status, 0) << xo.Output;
        ExpectSameFiles(sources, into);
        // 7z and pycdlib read the volume at sector 16: the last session's descriptors go there, as a
        // multisession reader finds them.
        std::string bytes = ReadFile(image);
        const size_t last = (std::stoul(start) + 16) * 2048;
        ASSERT_GT(bytes.size(), last + 16 * 2048);
        bytes.replace(16 * 2048, 16 * 2048, bytes, last, 16 * 2048);
        const fs::path view = work_ / "second-session.iso";
        std::ofstream(view, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        fs::remove_all(into);
        TRun z = RunShell("7z x -y -o" + Q(into.string()) + " " + Q(view.string()));
        ASSERT_EQ(z.Status, 0) << z.Output;
        ExpectSameFiles(sources, into);
        TRun p = RunShell(
            "/usr/bin/python3 -c 'import sys, pycdlib\n"
            "i = pycdlib.PyCdlib(); i.open(sys.argv[1]); n = 0\n"
            "for root, dirs, names in i.walk(iso_path=\"/\"):\n"
            "    ids = dirs + [f.split(\";\")[0] for f in names]; n += len(ids)\n"
            "    print(\"clash\", root, ids) if len(set(ids)) != len(ids) else None\n"
            "print(\"entries\", n)' " +
            Q(view.string()));
        ASSERT_EQ(p.Status, 0) << p.Output;
        EXPECT_EQ(p.Output.find("clash"), std::string::npos) << p.Output;
        EXPECT_NE(p.Output.find("entries 8"), std::string::npos) << p.Output;
        fs::remove_all(into);
    }
}

TEST_F(BurnDataTest, ThreeSessionsEachStayReadableBySessionNumber) {
    const fs::path medium = NewMedium("cdr");
    const std::string drive = "--drive " + Q(medium.string());
    const fs::path second = work_ / "S2", third = work_ / "S3";
    WriteRandom(second / "Tree" / "two.bin", 3000, 21);
    WriteRandom(third / "Tree" / "three.bin", 3000, 31);
    WriteRandom(third / "Tree" / "one byte.bin", 10, 32);
    for (const fs::path& tree : {work_ / "Tree", second / "Tree", third / "Tree"}) {
        const TRun burn = RunShell(Cli(drive + " burn --import-last " + Q(tree)));
        ASSERT_EQ(burn.Status, 0) << burn.Output;
    }
    // 255 stands for the last session, as does any number beyond it.
    for (const std::string session : {"255", "3", "9"}) {
        const TRun last = RunShell(Cli(drive + " import --session " + session));
        ASSERT_EQ(last.Status, 0) << last.Output;
        EXPECT_NE(last.Output.find("three.bin"), std::string::npos) << session << last.Output;
        EXPECT_NE(last.Output.find("two.bin"), std::string::npos) << session << last.Output;
        EXPECT_NE(last.Output.find("deep.dat"), std::string::npos) << session << last.Output;
    }
    const TRun middle = RunShell(Cli(drive + " import --session 2"));
    ASSERT_EQ(middle.Status, 0) << middle.Output;
    EXPECT_NE(middle.Output.find("two.bin"), std::string::npos) << middle.Output;
    EXPECT_EQ(middle.Output.find("three.bin"), std::string::npos) << middle.Output;
    // Each session keeps its own version of a file that a later one replaced.
    const fs::path out = work_ / "sessions-out";
    fs::remove_all(out);
    fs::create_directories(out);
    for (const auto& [session, source] :
         {std::pair{std::string("1"), work_ / "Tree" / "one byte.bin"}, {std::string("255"), third / "Tree" / "one byte.bin"}}) {
        const fs::path dest = out / ("session " + session + ".bin");
        const TRun x = RunShell(Cli(drive + " extract --session " + session + " " + Q("/Tree/one byte.bin") + " " + Q(dest)));
        ASSERT_EQ(x.Status, 0) << x.Output;
        EXPECT_TRUE(ReadFile(dest) == ReadFile(source)) << session;
    }
    fs::remove_all(out);
}

TEST_F(BurnDataTest, FailuresEndWithTheEngineTextAndNonZeroStatus) {
    const fs::path medium = NewMedium("cdr");
    TRun missing =
        RunShell(Cli("--drive " + Q(medium.string()) + " burn-iso " + Q((work_ / "none.iso").string())));
    EXPECT_NE(missing.Status, 0);
    EXPECT_NE(missing.Output.find("CAN'T OPEN FILE"), std::string::npos) << missing.Output;
    TRun refused = RunShell("KELVADORE_VR_FAULTS='WRITE@2=3/0C/00' " +
                            Cli("--drive " + Q(medium.string()) + " burn " + Q((work_ / "Tree").string())));
    EXPECT_NE(refused.Status, 0);
    EXPECT_NE(refused.Output.find("WRITER ERROR ["), std::string::npos) << refused.Output;
    TRun test = RunShell(
        Cli("--drive " + Q(NewMedium("cdrw").string()) + " burn --test " + Q((work_ / "Tree").string())));
    EXPECT_EQ(test.Status, 0) << test.Output;
    EXPECT_NE(test.Output.find("TEST/DUMMY WRITE"), std::string::npos) << test.Output;
    TRun info = RunShell(Cli("media info " + Q((work_ / "cdrw.kvm").string())));
    EXPECT_NE(info.Output.find("state:     blank"), std::string::npos) << info.Output;
}

TEST_F(BurnDataTest, CtrlCAbortsTheBurnCleanlyAndTheDiscStaysReadable) {
    // Slow enough (1x on a speed-limited recorder, engine time only 5 times faster) that the
    // interrupt lands while the data is being written.
    const fs::path tree = work_ / "Large";
    WriteRandom(tree / "large.bin", 16 * 1024 * 1024, 99);
    const fs::path disc = NewMedium("cdr"), log = work_ / "interrupt.log";
    const std::string burn = CliCommand("--drive " + Q(disc) + " burn --speed 1x " + Q(tree), 5);
    // The interrupt is sent only once the write has started (the handler is in place by then).
    const TRun run = RunShell(burn + " >" + Q(log) + " 2>&1 & pid=$!; started=no; " +
                              "for i in $(seq 2400); do if grep -q '>>> STARTING' " + Q(log) +
                              "; then started=yes; break; fi; sleep 0.05; done; " +
                              "if [ $started = yes ]; then sleep 0.3; kill -INT $pid; fi; wait $pid; echo exit=$? started=$started");
    const std::string output = ReadFile(log);
    ASSERT_NE(run.Output.find("started=yes"), std::string::npos) << run.Output << output;
    EXPECT_NE(run.Output.find("exit=130"), std::string::npos) << run.Output << output;
    EXPECT_NE(output.find("OPERATION ABORTED BY USER"), std::string::npos) << output;
    const TRun info = RunShell(Cli("media info " + Q(disc)));
    EXPECT_EQ(info.Status, 0) << info.Output;
    fs::remove_all(tree);
}

// A WRITE failing half-way through the second session: the disc reads as the first session left
// it, and the next append builds on that session's tree.
TEST_F(BurnDataTest, FailedAppendLeavesTheDiscReadingAsBefore) {
    const fs::path failed = work_ / "Failed", later = work_ / "Later";
    WriteRandom(failed / "Tree" / "never there.bin", 3 * 1024 * 1024, 41);
    WriteRandom(later / "Tree" / "appended.bin", 5000, 42);
    const fs::path out = work_ / "after-failure.bin";
    for (const std::string type : {"cdr", "dvdplusr", "dvdplusrw", "dvdram", "dvdrw"}) {
        SCOPED_TRACE(type);
        const fs::path medium = NewMedium(type);
        const std::string drive = "--drive " + Q(medium.string());
        const TRun first = RunShell(Cli(drive + " burn --import-last " + Q(work_ / "Tree")));
        ASSERT_EQ(first.Status, 0) << first.Output;
        const TRun broken = RunShell("KELVADORE_VR_FAULTS='WRITE@12=3/0C/00' " +
                                     Cli(drive + " burn --import-last " + Q(failed / "Tree")));
        ASSERT_NE(broken.Status, 0) << broken.Output;
        const TRun listed = RunShell(Cli(drive + " import"));
        ASSERT_EQ(listed.Status, 0) << listed.Output;
        EXPECT_EQ(listed.Output.find("never there.bin"), std::string::npos) << listed.Output;
        EXPECT_NE(listed.Output.find("deep.dat"), std::string::npos) << listed.Output;
        const bool writeOnce = type == "cdr" || type == "dvdplusr";
        EXPECT_EQ(listed.Output.find("IS INCOMPLETE") != std::string::npos, writeOnce) << listed.Output;
        fs::remove(out);
        const TRun x = RunShell(Cli(drive + " extract " + Q("/Tree/big.bin") + " " + Q(out)));
        ASSERT_EQ(x.Status, 0) << x.Output;
        EXPECT_TRUE(ReadFile(out) == ReadFile(work_ / "Tree" / "big.bin"));
        const TRun third = RunShell(Cli(drive + " burn --import-last " + Q(later / "Tree")));
        ASSERT_EQ(third.Status, 0) << third.Output;
        const TRun after = RunShell(Cli(drive + " import"));
        EXPECT_NE(after.Output.find("appended.bin"), std::string::npos) << after.Output;
        EXPECT_NE(after.Output.find("deep.dat"), std::string::npos) << after.Output;
        EXPECT_EQ(after.Output.find("never there.bin"), std::string::npos) << after.Output;
    }
    fs::remove(out);
}

// The free blocks discinfo reports.
int64_t FreeBlocks(const std::string& drive) {
    const TRun info = RunShell(Cli(drive + " discinfo"));
    const std::string key = "free blocks:";
    const size_t at = info.Output.find(key);
    return at == std::string::npos ? -1 : std::stoll(info.Output.substr(at + key.size()));
}

TEST_F(BurnDataTest, DvdRwGrowsForEachSessionAndIsNeverQuickFormattedAway) {
    const fs::path medium = NewMedium("dvdrw");
    const std::string drive = "--drive " + Q(medium.string());
    const TRun first = RunShell(Cli(drive + " burn --import-last " + Q(work_ / "Tree")));
    ASSERT_EQ(first.Status, 0) << first.Output;
    const int64_t afterFirst = FreeBlocks(drive);
    EXPECT_GT(afterFirst, 2290000);
    // The grow refused: the burn stops rather than quick-format the disc, which stays as it was.
    const fs::path grown = work_ / "Grown", third = work_ / "GrownToo";
    WriteRandom(grown / "Tree" / "grown.bin", 1024 * 1024, 51);
    WriteRandom(third / "Tree" / "Folder" / "third.bin", 5000, 52);
    const TRun refused =
        RunShell("KELVADORE_VR_FAULTS='FORMAT=3/0C/00' " + Cli(drive + " burn --import-last " + Q(grown / "Tree")));
    EXPECT_NE(refused.Status, 0);
    EXPECT_NE(refused.Output.find("DVD-RW COULD NOT BE EXTENDED FOR THE NEXT SESSION"), std::string::npos) << refused.Output;
    const TRun listed = RunShell(Cli(drive + " import"));
    EXPECT_NE(listed.Output.find("deep.dat"), std::string::npos) << listed.Output;
    EXPECT_EQ(listed.Output.find("grown.bin"), std::string::npos) << listed.Output;
    EXPECT_EQ(FreeBlocks(drive), afterFirst);
    // Two more sessions, each taking its own size off the free blocks.
    int64_t free = afterFirst;
    for (const fs::path& tree : {grown / "Tree", third / "Tree"}) {
        const TRun next = RunShell(Cli(drive + " burn --import-last " + Q(tree)));
        ASSERT_EQ(next.Status, 0) << next.Output;
        const int64_t now = FreeBlocks(drive);
        EXPECT_LT(now, free);
        EXPECT_GT(now, free - 1024);
        free = now;
    }
    const fs::path into = work_ / "dvdrw-out";
    fs::remove_all(into);
    const TRun x = RunShell("xorriso -indev " + Q(Export(medium)) + " -osirrox on -extract / " + Q(into));
    ASSERT_EQ(x.Status, 0) << x.Output;
    for (auto& [rel, path] : SourceFiles()) EXPECT_TRUE(ReadFile(into / rel) == ReadFile(path)) << rel;
    EXPECT_TRUE(ReadFile(into / "Tree" / "grown.bin") == ReadFile(grown / "Tree" / "grown.bin"));
    EXPECT_TRUE(ReadFile(into / "Tree" / "Folder" / "third.bin") == ReadFile(third / "Tree" / "Folder" / "third.bin"));
    fs::remove_all(into);
}

}  // namespace
}  // namespace kv
