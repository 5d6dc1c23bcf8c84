#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "iso/FileExtract.h"
#include "iso/IsoNames.h"
#include "iso/SessionImport.h"
#include "iso/TBurnerImage.h"
#include "platform/ByteOrder.h"
#include "platform/EngineClock.h"
#include "transport/PassThrough.h"
#include "transport/RequestInterface.h"
#include "virtualrecorder/MediumTools.h"
#include "virtualrecorder/VirtualRecorder.h"

namespace kv::test {
namespace {

namespace fs = std::filesystem;

// Forwards to the recorder and keeps the block counts of every READ(10).
class TReadCountingDrive : public TSoftDrive {
public:
    explicit TReadCountingDrive(std::shared_ptr<vr::TVirtualRecorder> r) : recorder_(std::move(r)) {}
    std::string DevicePath() const override { return recorder_->DevicePath(); }
    TPassThroughResult Execute(const TPassThroughRequest& request) override {
        if (request.Cdb[0] == 0x28) {
            std::lock_guard lock(mutex_);
            reads_.push_back(GetBE16(&request.Cdb[7]));
        }
        return recorder_->Execute(request);
    }
    std::vector<uint16_t> TakeReads() {
        std::lock_guard lock(mutex_);
        return std::exchange(reads_, {});
    }
    vr::TVirtualRecorder& Recorder() { return *recorder_; }

private:
    std::shared_ptr<vr::TVirtualRecorder> recorder_;
    std::mutex mutex_;
    std::vector<uint16_t> reads_;
};

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(seed + i * 7 + i / 2048);
    return data;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& data) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                 static_cast<std::streamsize>(data.size()));
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Replaces every occurrence of `from` in the image by `to` (same length); returns the count.
int Patch(std::vector<uint8_t>& image, const std::vector<uint8_t>& from, const std::vector<uint8_t>& to) {
    int count = 0;
    for (auto it = image.begin(); (it = std::search(it, image.end(), from.begin(), from.end())) != image.end();) {
        std::copy(to.begin(), to.end(), it);
        it += static_cast<std::ptrdiff_t>(from.size());
        ++count;
    }
    return count;
}

std::vector<uint8_t> Ucs2(const std::string& ascii) {
    std::vector<uint8_t> out;
    for (char c : ascii) {
        out.push_back(0);
        out.push_back(static_cast<uint8_t>(c));
    }
    return out;
}

class SessionImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        EngineClock::SetTimeScale(100000);
        dir_ = fs::temp_directory_path() / ("kv-import-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "src");
        fs::create_directories(dir_ / "out");
        model_.ClearAll();
        device_.OnDebugMessage = [this](TSCSIDevice*, const std::string& text, uint8_t type) {
            messages_.push_back(std::to_string(type) + " " + text);
        };
    }
    void TearDown() override {
        ShutdownRequestInterface();
        SetSoftDriveSource({});
        drive_.reset();
        fs::remove_all(dir_);
        EngineClock::SetTimeScale(1);
    }
    // The usual tree: nested folders, a Joliet-only name, a file of 100 000 bytes.
    void MakeTree() {
        WriteFile(dir_ / "src" / "Report 2005.doc", Pattern(3000, 1));
        WriteFile(dir_ / "src" / "Docs" / "Deep" / "inner.txt", Pattern(5000, 2));
        WriteFile(dir_ / "src" / "Docs" / "big.bin", Pattern(100000, 3));
        WriteFile(dir_ / "src" / "readme.txt", Pattern(10, 4));
    }
    // xorriso writes Rock Ridge unless told not to; import would prefer it to the other trees.
    std::vector<uint8_t> MakeImage(bool joliet, bool rockRidge = false) {
        const std::string cmd = std::string("xorriso ") + (rockRidge ? "" : "-rockridge off ") + "-as mkisofs -quiet " +
                                std::string(joliet ? "-J " : "") + "-V IMPORT -o '" +
                                (dir_ / "image.iso").string() + "' '" + (dir_ / "src").string() + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return ReadFile(dir_ / "image.iso");
    }
    void Press(const std::vector<uint8_t>& image) {
        // A disc pressed before leaves the drive first.
        ShutdownRequestInterface();
        SetSoftDriveSource({});
        drive_.reset();
        WriteFile(dir_ / "image.iso", image);
        std::string error;
        const std::string medium = (dir_ / "disc.kvm").string();
        ASSERT_TRUE(vr::PressImage(medium, vr::EMediumKind::CdRom, (dir_ / "image.iso").string(), error)) << error;
        auto recorder = std::make_shared<vr::TVirtualRecorder>("virtual:import", vr::TDriveModel{});
        ASSERT_TRUE(recorder->InsertFile(medium, error)) << error;
        drive_ = std::make_shared<TReadCountingDrive>(recorder);
        SetSoftDriveSource([d = drive_] { return std::vector<std::shared_ptr<TSoftDrive>>{d}; });
        ASSERT_TRUE(device_.InitializeASPI(true, ""));
        ASSERT_FALSE(device_.DeviceList().empty());
        ASSERT_TRUE(device_.SetDevice(device_.DeviceList().front()));
        ASSERT_TRUE(device_.WaitUntilReady(60000, 1000));
    }
    TFEntry* Entry(const std::string& dirPath, const std::string& name) {
        TDEntry* dir = dirPath.empty() ? model_.Root() : model_.FindDir(dirPath);
        return dir ? model_.FindEntry(dir, name) : nullptr;
    }
    std::vector<uint8_t> Sectors(const TFEntry& e) {
        std::vector<uint8_t> data((static_cast<size_t>(e.Size) + 2047) / 2048 * 2048);
        EXPECT_TRUE(device_.ReadSectors(static_cast<uint32_t>(e.Extent), static_cast<uint16_t>(data.size() / 2048),
                                        static_cast<uint32_t>(data.size()), data.data()));
        data.resize(static_cast<size_t>(e.Size));
        return data;
    }
    bool HasMessage(const std::string& part) const {
        return std::any_of(messages_.begin(), messages_.end(),
                           [&](const std::string& m) { return m.find(part) != std::string::npos; });
    }

    fs::path dir_;
    std::shared_ptr<TReadCountingDrive> drive_;
    TSCSIDevice device_;
    TBurnerCompilation model_;
    std::vector<std::string> messages_;
};

TEST_F(SessionImportTest, JolietTreeBecomesDirectoriesAndImportedFiles) {
    MakeTree();
    Press(MakeImage(true));
    const int before = ImportedRecordCount.load();
    ASSERT_TRUE(ImportSession(device_, model_, kLastSession));
    EXPECT_TRUE(HasMessage("1 >>> IMPORTING SESSION # 1"));
    EXPECT_EQ(model_.DirCount(), 2);
    EXPECT_EQ(ImportedRecordCount.load() - before, 6);

    TFEntry* report = Entry("", "Report 2005.doc");
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->ShortName, "REPORT_2.DOC");
    EXPECT_EQ(report->Imported, 1);
    EXPECT_TRUE(report->SourcePath.empty());
    EXPECT_EQ(report->Size, 3000);
    EXPECT_EQ(report->JolietExtent, report->Extent);
    EXPECT_EQ(Sectors(*report), Pattern(3000, 1));

    TFEntry* inner = Entry("\\Docs\\Deep", "inner.txt");
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(Sectors(*inner), Pattern(5000, 2));
    ASSERT_NE(Entry("\\Docs", "big.bin"), nullptr);
    EXPECT_EQ(Entry("\\Docs", "big.bin")->Size, 100000);
    TFEntry* docs = Entry("", "Docs");
    ASSERT_NE(docs, nullptr);
    EXPECT_TRUE(docs->IsDirectory());
    EXPECT_EQ(docs->Imported, 0);
}

TEST_F(SessionImportTest, PrimaryVolumeOnlyIsWalkedWithVersionsCut) {
    MakeTree();
    Press(MakeImage(false));
    ASSERT_TRUE(ImportSession(device_, model_, 1));
    TFEntry* readme = Entry("", "README.TXT");
    ASSERT_NE(readme, nullptr);
    EXPECT_EQ(readme->Imported, 1);
    EXPECT_EQ(Sectors(*readme), Pattern(10, 4));
    EXPECT_NE(model_.FindDir("\\DOCS\\DEEP"), nullptr);
}

TEST_F(SessionImportTest, FileInSeveralExtentsIsOneFileWhereverItsExtentsLie) {
    WriteFile(dir_ / "src" / "PARTA", Pattern(4096, 1));
    WriteFile(dir_ / "src" / "PARTB", Pattern(3000, 2));
    WriteFile(dir_ / "src" / "QQQQ", Pattern(5000, 3));
    std::vector<uint8_t> image = MakeImage(false);
    auto record = [&](const std::string& id) -> uint8_t* {
        auto at = std::search(image.begin(), image.end(), id.begin(), id.end());
        while (at != image.end() && *(at - 1) != id.size()) at = std::search(at + 1, image.end(), id.begin(), id.end());
        return at == image.end() ? nullptr : &*(at - 33);
    };
    uint8_t* first = record("PARTA.;1");
    uint8_t* last = record("PARTB.;1");
    uint8_t* other = record("QQQQ.;1");
    ASSERT_TRUE(first && last && other);
    // One file of two sections: the first two sectors of QQQQ's data, then PARTB's, which lies
    // before them on the disc.
    PutLE32(first + 2, GetLE32(other + 2));
    PutBE32(first + 6, GetLE32(other + 2));
    first[25] |= 0x80;
    last[33 + 4] = 'A';
    ASSERT_LT(GetLE32(last + 2), GetLE32(first + 2));
    Press(image);

    ASSERT_TRUE(ImportSession(device_, model_, kLastSession));
    EXPECT_EQ(model_.FileCount(), 2);
    TFEntry* joined = Entry("", "PARTA");  // the separator dot is not part of the name
    ASSERT_NE(joined, nullptr);
    EXPECT_EQ(joined->Size, 4096 + 3000);
    std::vector<uint8_t> expected = Pattern(5000, 3);
    expected.resize(4096);
    const std::vector<uint8_t> tail = Pattern(3000, 2);
    expected.insert(expected.end(), tail.begin(), tail.end());
    const fs::path out = dir_ / "out" / "joined";
    ASSERT_TRUE(ExtractFile(device_, *joined, out.string()));
    EXPECT_EQ(ReadFile(out), expected);
}

TEST_F(SessionImportTest, UnusableJolietRootFallsBackToTheIsoTree) {
    MakeTree();
    const std::vector<uint8_t> image = MakeImage(true);
    size_t pvd = 0, svd = 0;
    for (size_t at = 16 * 2048; image[at] != 255; at += 2048) {
        ASSERT_TRUE(std::equal(image.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                               image.begin() + static_cast<std::ptrdiff_t>(at) + 6, "CD001"));
        if (image[at] == 1) pvd = at;
        if (image[at] == 2) svd = at;
    }
    ASSERT_NE(svd, 0u);
    uint32_t fileSector = 0;
    const auto readme = Pattern(10, 4);
    for (size_t at = 0; at + 2048 <= image.size() && fileSector == 0; at += 2048)
        if (std::equal(readme.begin(), readme.end(), image.begin() + static_cast<std::ptrdiff_t>(at)))
            fileSector = static_cast<uint32_t>(at / 2048);
    ASSERT_NE(fileSector, 0u);
    auto pointRoot = [](std::vector<uint8_t>& bytes, size_t descriptor, uint32_t extent) {
        PutLE32(&bytes[descriptor + 158], extent);
        PutBE32(&bytes[descriptor + 162], extent);
    };
    // The system area, beyond the volume and the disc, a file's data.
    for (uint32_t root : {0u, 0x00FFFFFFu, fileSector}) {
        SCOPED_TRACE(root);
        std::vector<uint8_t> damaged = image;
        pointRoot(damaged, svd, root);
        Press(damaged);
        model_.ClearAll();
        ASSERT_TRUE(ImportSession(device_, model_, kLastSession));
        ASSERT_NE(Entry("", "README.TXT"), nullptr) << "the ISO 9660 names";
        EXPECT_EQ(Sectors(*Entry("", "README.TXT")), readme);
        EXPECT_NE(model_.FindDir("\\DOCS\\DEEP"), nullptr);
    }
    std::vector<uint8_t> neither = image;
    pointRoot(neither, svd, 0);
    pointRoot(neither, pvd, 0);
    Press(neither);
    model_.ClearAll();
    EXPECT_FALSE(ImportSession(device_, model_, kLastSession));
    EXPECT_TRUE(HasMessage("4 >>> ERROR IMPORTING SESSION 1 (ISO IMAGE NOT FOUND)"));
    EXPECT_EQ(model_.FileCount(), 0);
}

TEST_F(SessionImportTest, LongestJolietNamesAreTakenAndAnOverlongOneIsNamedAsText) {
    // The longest names the writer records: a folder of 110 characters (220 bytes, a record of
    // 254) holding a file of 108 (with ";1" also 220 bytes).
    const std::string folder(110, 'D'), file = std::string(104, 'f') + ".txt";
    TBurnerImage writer;
    writer.RockRidge = false;
    TDEntry* dir = writer.CreateDir("\\" + folder);
    ASSERT_NE(dir, nullptr);
    TFileDescription d;
    d.Name = file;
    ASSERT_EQ(writer.AddFileEntry(dir, d, 0, ""), 1);
    writer.BuildLayout(true, nullptr);
    writer.WriteHeader();
    std::vector<uint8_t> image = writer.HeaderStream();
    image.resize(static_cast<size_t>(writer.Layout().VolumeSpaceSize) * 2048);
    Press(image);
    ASSERT_TRUE(ImportSession(device_, model_, kLastSession));
    EXPECT_NE(Entry("\\" + folder, file), nullptr);

    // One byte more than a record holds with its pad byte: dropped, and said so by name.
    const auto id = Utf16BEBytes(folder);
    auto at = std::search(image.begin() + static_cast<std::ptrdiff_t>(writer.Layout().JolietDirArea) * 2048,
                          image.end(), id.begin(), id.end());
    ASSERT_NE(at, image.end());
    ASSERT_EQ(*(at - 1), 220);
    *(at - 1) = 221;
    *(at - 33) = 255;
    Press(image);
    model_.ClearAll();
    messages_.clear();
    ASSERT_TRUE(ImportSession(device_, model_, kLastSession));
    EXPECT_EQ(model_.FindDir("\\" + folder), nullptr);
    EXPECT_TRUE(HasMessage("4 ERROR IMPORTING SESSION, FILE NAME LENGTH EXCEEDS 120 CHARS\n\r" + folder));
}

TEST_F(SessionImportTest, NoVolumeOrNoSessionImportsNothing) {
    Press(std::vector<uint8_t>(40 * 2048, 0));
    EXPECT_FALSE(ImportSession(device_, model_, kLastSession));
    EXPECT_TRUE(HasMessage("4 >>> ERROR IMPORTING SESSION 1 (ISO IMAGE NOT FOUND)"));
    messages_.clear();
    EXPECT_FALSE(ImportSession(device_, model_, 0));
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(model_.FileCount(), 0);
}

TEST_F(SessionImportTest, HostileDiscIsImportedSafely) {
    WriteFile(dir_ / "src" / "QQ", Pattern(100, 5));
    WriteFile(dir_ / "src" / "AxB", Pattern(100, 6));
    WriteFile(dir_ / "src" / "LoopDirZ" / "x.txt", Pattern(100, 7));
    auto image = MakeImage(true);
    // Joliet names ".." and "A/B"; the sub-folder's Joliet record made to point at its own parent.
    ASSERT_EQ(Patch(image, Ucs2("QQ"), Ucs2("..")), 1);
    ASSERT_EQ(Patch(image, Ucs2("AxB"), Ucs2("A/B")), 1);
    const auto loop = Ucs2("LoopDirZ");
    auto at = std::search(image.begin(), image.end(), loop.begin(), loop.end());
    // The path table holds the name too; the directory record is the one with 33 bytes before it.
    while (at != image.end() && *(at - 1) != loop.size()) at = std::search(at + 1, image.end(), loop.begin(), loop.end());
    ASSERT_NE(at, image.end());
    const auto record = at - 33;
    // The record's own-directory entry in the Joliet root: root extent from the supplementary descriptor.
    uint32_t jolietRoot = 0;
    for (size_t s = 16; s < 32; ++s)
        if (image[s * 2048] == 2) jolietRoot = GetLE32(&image[s * 2048 + 158]);
    ASSERT_NE(jolietRoot, 0u);
    PutLE32(&*(record + 2), jolietRoot);
    PutBE32(&*(record + 6), jolietRoot);
    // "A/B" claims 100 bytes at sector 0, the system area.
    const auto slash = Ucs2("A/B");
    auto named = std::search(image.begin(), image.end(), slash.begin(), slash.end());
    while (named != image.end() && *(named - 1) != slash.size())
        named = std::search(named + 1, image.end(), slash.begin(), slash.end());
    ASSERT_NE(named, image.end());
    PutLE32(&*(named - 33 + 2), 0);
    PutBE32(&*(named - 33 + 6), 0);
    Press(image);

    ASSERT_TRUE(ImportSession(device_, model_, kLastSession));
    EXPECT_NE(Entry("", "_.."), nullptr);
    ASSERT_NE(Entry("", "A_B"), nullptr);
    EXPECT_EQ(Entry("", "A_B")->Size, 0) << "no data to point at";
    EXPECT_EQ(Entry("", ".."), nullptr);
    // The looping folder is taken once, its recorded contents (the root again) are not re-entered.
    EXPECT_NE(model_.FindDir("\\LoopDirZ"), nullptr);
    EXPECT_EQ(model_.FindDir("\\LoopDirZ\\LoopDirZ"), nullptr);

    TFEntry* dots = Entry("", "_..");
    const std::string target = ExtractTarget((dir_ / "out").string(), *dots);
    EXPECT_EQ(fs::path(target).parent_path(), dir_ / "out");
    ASSERT_TRUE(ExtractFile(device_, *dots, target));
    EXPECT_EQ(ReadFile(target), Pattern(100, 5));
    EXPECT_EQ(fs::path(ExtractTarget((dir_ / "out").string(), *Entry("", "A_B"))).parent_path(), dir_ / "out");
}

TEST_F(SessionImportTest, RockRidgeIsPreferredAndExtractionRestoresModesAndTimes) {
    const fs::path script = dir_ / "src" / "run.sh";
    WriteFile(script, Pattern(5000, 8));
    ::chmod(script.c_str(), 0750);
    const struct timespec times[2] = {{1400000000, 0}, {1500000000, 0}};
    ::utimensat(AT_FDCWD, script.c_str(), times, 0);
    const std::string longName = std::string(200, 'L') + ".txt";
    WriteFile(dir_ / "src" / longName, Pattern(300, 9));
    WriteFile(dir_ / "src" / "README", Pattern(10, 10));
    fs::create_symlink("run.sh", dir_ / "src" / "link");
    Press(MakeImage(true, true));
    ASSERT_TRUE(ImportSession(device_, model_, kLastSession));

    TFEntry* run = Entry("", "run.sh");
    ASSERT_NE(run, nullptr);
    ASSERT_TRUE(run->Posix.Known);
    EXPECT_EQ(run->Posix.Mode, 0100750u);
    EXPECT_EQ(run->DateTime.ToUnixTime(), 1500000000);
    TFEntry* longOne = Entry("", longName);
    ASSERT_NE(longOne, nullptr);
    EXPECT_EQ(longOne->PosixName, longName);  // whole, from the name's continuation area
    EXPECT_EQ(longOne->LongName, std::string(104, 'L') + ".txt");
    ASSERT_NE(Entry("", "README"), nullptr);
    EXPECT_EQ(Entry("", "README")->PosixName, "README");
    TFEntry* link = Entry("", "link");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->LinkTarget, "run.sh");

    const fs::path out = dir_ / "out" / "run.sh";
    ASSERT_TRUE(ExtractFile(device_, *run, out.string()));
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1500000000);
    ASSERT_TRUE(run->Posix.AccessTime.IsValid());  // xorriso read the file after its times were set
    EXPECT_EQ(st.st_atim.tv_sec, run->Posix.AccessTime.ToUnixTime());
    EXPECT_EQ(ReadFile(out), Pattern(5000, 8));
    ASSERT_TRUE(ExtractFile(device_, *link, (dir_ / "out" / "link").string()));
    EXPECT_EQ(fs::read_symlink(dir_ / "out" / "link"), "run.sh");
}

TEST_F(SessionImportTest, DamagedRockRidgeEndsWithAMessageNotAHang) {
    WriteFile(dir_ / "src" / "victim.txt", Pattern(10, 1));
    WriteFile(dir_ / "src" / (std::string(200, 'L') + ".txt"), Pattern(10, 2));
    WriteFile(dir_ / "src" / (std::string(200, 'M') + ".txt"), Pattern(10, 3));
    std::vector<uint8_t> image = MakeImage(false, true);
    // The CE entry after the NM entry that holds the start of a name.
    auto continuationAfter = [&](const std::string& start) -> uint8_t* {
        const std::vector<uint8_t> nm = {'N', 'M'};
        for (auto at = image.begin(); (at = std::search(at, image.end(), nm.begin(), nm.end())) != image.end(); ++at)
            if (std::equal(start.begin(), start.end(), at + 5)) {
                uint8_t* ce = &*(at + at[2]);
                return ce[0] == 'C' && ce[1] == 'E' ? ce : nullptr;
            }
        return nullptr;
    };
    // A continuation area whose first entry leads back to itself.
    uint8_t* loop = continuationAfter(std::string(20, 'L'));
    ASSERT_NE(loop, nullptr);
    uint8_t* area = image.data() + size_t{GetLE32(loop + 4)} * 2048 + GetLE32(loop + 12);
    PutLE32(loop + 20, 28);
    PutBE32(loop + 24, 28);
    std::copy(loop, loop + 28, area);
    // A continuation area far past the end of the disc.
    uint8_t* past = continuationAfter(std::string(20, 'M'));
    ASSERT_NE(past, nullptr);
    PutLE32(past + 4, 0x00FFFFFF);
    PutBE32(past + 8, 0x00FFFFFF);
    // A name entry that claims more bytes than its record has.
    const std::vector<uint8_t> victim = {'N', 'M', 15, 1, 0, 'v', 'i', 'c', 't', 'i', 'm', '.', 't', 'x', 't'};
    auto nm = std::search(image.begin(), image.end(), victim.begin(), victim.end());
    ASSERT_NE(nm, image.end());
    nm[2] = 250;
    Press(image);

    ASSERT_TRUE(ImportSession(device_, model_, kLastSession));
    EXPECT_TRUE(HasMessage(": CONTINUATION AREAS IN A LOOP"));
    EXPECT_TRUE(HasMessage(": CONTINUATION AREA PAST THE END OF THE VOLUME"));
    EXPECT_TRUE(HasMessage("4 >>> ERROR IN ROCK RIDGE DATA OF \"\\VICTIM.TXT\": ENTRY LONGER THAN ITS FIELD"));
    // Every file is still there, under what could be read of its name.
    EXPECT_EQ(model_.FileCount(), 3);
    ASSERT_NE(Entry("", "VICTIM.TXT"), nullptr);
    EXPECT_EQ(Sectors(*Entry("", "VICTIM.TXT")), Pattern(10, 1));
}

TEST_F(SessionImportTest, ExtractReadsThirtyOneSectorsAtATime) {
    MakeTree();
    Press(MakeImage(true));
    ASSERT_TRUE(ImportSession(device_, model_, kLastSession));
    TFEntry* big = Entry("\\Docs", "big.bin");
    ASSERT_NE(big, nullptr);
    drive_->TakeReads();
    const fs::path dest = dir_ / "out" / "big.bin";
    ASSERT_TRUE(ExtractFile(device_, *big, dest.string()));
    EXPECT_EQ(drive_->TakeReads(), (std::vector<uint16_t>{31, 18}));
    EXPECT_EQ(ReadFile(dest), Pattern(100000, 3));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()), 1);
    EXPECT_TRUE(HasMessage("1 >>> EXTRACTING FILE big.bin TO " + dest.string()));
}

TEST_F(SessionImportTest, UnreadableSectorFailsAndLeavesNothingBehind) {
    MakeTree();
    Press(MakeImage(true));
    ASSERT_TRUE(ImportSession(device_, model_, kLastSession));
    TFEntry* big = Entry("\\Docs", "big.bin");
    ASSERT_NE(big, nullptr);
    std::string error;
    ASSERT_TRUE(drive_->Recorder().Faults().AddScript("READ@2=3/11/00", error)) << error;
    EXPECT_FALSE(ExtractFile(device_, *big, (dir_ / "out" / "big.bin").string()));
    EXPECT_TRUE(fs::is_empty(dir_ / "out"));

    // An older file of that name survives a failed extraction.
    WriteFile(dir_ / "out" / "big.bin", Pattern(10, 9));
    ASSERT_TRUE(drive_->Recorder().Faults().AddScript("READ=3/11/00", error)) << error;
    EXPECT_FALSE(ExtractFile(device_, *big, (dir_ / "out" / "big.bin").string()));
    EXPECT_EQ(ReadFile(dir_ / "out" / "big.bin"), Pattern(10, 9));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()), 1);
}

TEST_F(SessionImportTest, UnreadableDirectoryEndsThatDirectoryOnly) {
    MakeTree();
    Press(MakeImage(true));
    std::string error;
    // Descriptors 16.., the Joliet root, then the first sub-directory read fails.
    int readsBeforeDocs = 0;
    {
        TBurnerCompilation probe;
        probe.ClearAll();
        ASSERT_TRUE(ImportSession(device_, probe, kLastSession));
        readsBeforeDocs = static_cast<int>(drive_->TakeReads().size()) - 1;  // Docs, then Deep
    }
    ASSERT_TRUE(drive_->Recorder().Faults().AddScript("READ@" + std::to_string(readsBeforeDocs) + "=3/11/00", error))
        << error;
    EXPECT_TRUE(ImportSession(device_, model_, kLastSession));
    EXPECT_TRUE(HasMessage("ERROR READING DIRECTORY"));
    EXPECT_NE(Entry("", "Report 2005.doc"), nullptr);
    EXPECT_NE(Entry("", "readme.txt"), nullptr);
}

}  // namespace
}  // namespace kv::test
