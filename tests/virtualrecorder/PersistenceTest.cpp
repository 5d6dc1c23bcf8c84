#include <cstdlib>
#include <cstring>
#include <fstream>

#include "DriveHarness.h"
#include "virtualrecorder/MediumTools.h"
#include "virtualrecorder/VirtualRecorders.h"

namespace kv::vr::test {
namespace {

using PersistenceTest = TRecorderTest;

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<uint8_t> bytes(in ? static_cast<size_t>(in.tellg()) : 0);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void WriteWav(const std::string& path, uint32_t frames, uint8_t seed) {
    std::vector<uint8_t> f(44 + size_t{frames} * 2352);
    std::memcpy(&f[0], "RIFF", 4);
    PutLE32(&f[4], static_cast<uint32_t>(f.size() - 8));
    std::memcpy(&f[8], "WAVEfmt ", 8);
    PutLE32(&f[16], 16);
    PutLE16(&f[20], 1);
    PutLE16(&f[22], 2);
    PutLE32(&f[24], 44100);
    PutLE32(&f[28], 176400);
    PutLE16(&f[32], 4);
    PutLE16(&f[34], 16);
    std::memcpy(&f[36], "data", 4);
    PutLE32(&f[40], frames * 2352);
    for (size_t i = 44; i < f.size(); ++i) f[i] = static_cast<uint8_t>(i * 13 + seed);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
}

TEST_F(PersistenceTest, TwoSessionCdWrittenByOneRecorderReadsBackInAnother) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoData().Good());
    ASSERT_TRUE(d.WritePattern(0, 300).Good());
    ASSERT_TRUE(d.Sync().Good());
    ASSERT_TRUE(d.Close(2).Good());
    const int32_t second = 302 + 11400;
    ASSERT_TRUE(d.WritePattern(second, 320, 2048, 9).Good());
    ASSERT_TRUE(d.Sync().Good());
    ASSERT_TRUE(d.Close(2).Good());

    auto& again = Reload();
    auto info = again.DiscInfo();
    EXPECT_EQ(info.Status, 1);
    EXPECT_EQ(info.Sessions, 3);
    EXPECT_EQ(again.TrackInfo(0xFF).Nwa, static_cast<uint32_t>(second + 322 + 6900));
    EXPECT_EQ(again.Read(second, 320).Data, TDriveHarness::Pattern(second, 320, 2048, 9));

    // Export: every data sector at its absolute block, zeros between the sessions.
    recorder_.reset();
    std::string error;
    const std::string iso = PathFor("all.iso");
    ASSERT_TRUE(ExportImage(PathFor("disc.kvm"), iso, 0, error)) << error;
    auto image = ReadFile(iso);
    ASSERT_EQ(image.size(), size_t(second + 320) * 2048);
    auto first = TDriveHarness::Pattern(0, 300, 2048);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), image.begin()));
    auto last = TDriveHarness::Pattern(second, 320, 2048, 9);
    EXPECT_TRUE(std::equal(last.begin(), last.end(), image.begin() + size_t(second) * 2048));
    EXPECT_EQ(image[size_t(1000) * 2048], 0);

    ASSERT_TRUE(ExportImage(PathFor("disc.kvm"), PathFor("s2.iso"), 2, error)) << error;
    auto only2 = ReadFile(PathFor("s2.iso"));
    ASSERT_EQ(only2.size(), image.size());
    EXPECT_EQ(only2[0], 0);
    EXPECT_TRUE(std::equal(last.begin(), last.end(), only2.begin() + size_t(second) * 2048));
    EXPECT_FALSE(ExportImage(PathFor("disc.kvm"), PathFor("s7.iso"), 7, error));
}

TEST_F(PersistenceTest, UncommittedPayloadIsIgnoredAfterACrash) {
    std::string error, state;
    {
        auto file = TMediumFile::Create(PathFor("crash.kvm"), "kvmedium 1\nkind cdr\ncapacity 1000\n", error);
        ASSERT_TRUE(file) << error;
        auto data = TDriveHarness::Pattern(0, 4, 2048);
        ASSERT_TRUE(file->Write(0, 4, 2048, data.data()));
        ASSERT_TRUE(file->Commit("kvmedium 1\nkind cdr\ncapacity 1000\nfinalized 1\n", error));
        ASSERT_TRUE(file->Write(4, 4, 2048, data.data()));
        // destroyed without a commit, like a killed process
    }
    auto reopened = TMediumFile::Open(PathFor("crash.kvm"), state, error);
    ASSERT_TRUE(reopened) << error;
    EXPECT_NE(state.find("finalized 1"), std::string::npos);
    EXPECT_EQ(reopened->StoredSize(3), 2048);
    EXPECT_EQ(reopened->StoredSize(4), 0);
    // New payload goes after the orphaned bytes and the old catalogue stays intact.
    auto more = TDriveHarness::Pattern(100, 2, 2048);
    ASSERT_TRUE(reopened->Write(100, 2, 2048, more.data()));
    ASSERT_TRUE(reopened->Commit(state, error));
    std::array<uint8_t, 2352> sector{};
    ASSERT_EQ(reopened->Read(101, sector.data()), 2048);
    EXPECT_TRUE(std::equal(more.begin() + 2048, more.end(), sector.begin()));
}

TEST_F(PersistenceTest, OverwritesSplitExtentsAndBlankCompactsTheFile) {
    std::string error;
    auto medium = TMedium::Create(PathFor("rw.kvm"), EMediumKind::CdRw, 0, error);
    ASSERT_TRUE(medium);
    auto a = TDriveHarness::Pattern(0, 100, 2048, 1), b = TDriveHarness::Pattern(40, 10, 2048, 2);
    ASSERT_TRUE(medium->File().Write(0, 100, 2048, a.data()));
    ASSERT_TRUE(medium->File().Write(40, 10, 2048, b.data()));
    EXPECT_EQ(medium->File().Extents().size(), 3u);
    std::array<uint8_t, 2352> sector{};
    medium->File().Read(45, sector.data());
    EXPECT_TRUE(std::equal(sector.begin(), sector.begin() + 2048, b.begin() + 5 * 2048));
    medium->File().Read(50, sector.data());
    EXPECT_TRUE(std::equal(sector.begin(), sector.begin() + 2048, a.begin() + 50 * 2048));
    ASSERT_TRUE(medium->Commit(error));
    // Payload written behind the catalogue starts a run on a 64 KiB boundary; writes that continue
    // it stay one extent.
    auto c = TDriveHarness::Pattern(100, 40, 2048, 3);
    ASSERT_TRUE(medium->File().Write(100, 20, 2048, c.data()));
    ASSERT_TRUE(medium->File().Write(120, 20, 2048, c.data() + 20 * 2048));
    const auto& run = medium->File().Extents().at(100);
    EXPECT_EQ(run.Offset % 65536, 0u);
    EXPECT_EQ(run.Count, 40u);
    medium->File().Read(130, sector.data());
    EXPECT_TRUE(std::equal(sector.begin(), sector.begin() + 2048, c.begin() + 30 * 2048));
    ASSERT_TRUE(medium->Commit(error));
    const auto before = std::filesystem::file_size(PathFor("rw.kvm"));
    medium->Blank(false);
    ASSERT_TRUE(medium->Commit(error));
    EXPECT_LT(std::filesystem::file_size(PathFor("rw.kvm")), before / 10);
    EXPECT_FALSE(std::filesystem::exists(PathFor("rw.kvm.tmp")));
}

TEST_F(PersistenceTest, DamagedOrForeignFilesAreRefused) {
    std::string error;
    std::ofstream(PathFor("junk.kvm")) << "this is not a medium";
    EXPECT_FALSE(TMedium::Load(PathFor("junk.kvm"), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(TMedium::Load(PathFor("missing.kvm"), error));

    ASSERT_TRUE(TMedium::Create(PathFor("ok.kvm"), EMediumKind::DvdR, 0, error));
    auto bytes = ReadFile(PathFor("ok.kvm"));
    bytes.back() ^= 0x01;  // flip a bit of the catalogue
    std::ofstream(PathFor("ok.kvm"), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    EXPECT_FALSE(TMedium::Load(PathFor("ok.kvm"), error));

    TDiscState state;
    EXPECT_FALSE(TMedium::ParseState("kvmedium 1\nkind floppy\ncapacity 5\n", state, error));
    EXPECT_FALSE(TMedium::ParseState("kvmedium 1\nkind cdr\ncapacity 5\ntrack 0 1 0 0 0 0 0 1 0 4 2048 0 0\n",
                                     state, error));
    EXPECT_FALSE(TMedium::ParseState("kvmedium 1\nkind cdr\ncapacity 5\ntrack 1 1 0 0 0 0 0 1 0 4 9999 0 0\n",
                                     state, error));
    EXPECT_TRUE(TMedium::ParseState("kvmedium 1\nkind cdr\ncapacity 5\nfuture-key 1\n", state, error));
}

TEST_F(PersistenceTest, OneMediumFileHasOneWriter) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoData().Good());
    ASSERT_TRUE(d.WritePattern(0, 300).Good());
    ASSERT_TRUE(d.Sync().Good());
    std::string error, text;
    TVirtualRecorder second("virtual:second", TDriveModel{});
    EXPECT_FALSE(second.InsertFile(PathFor("disc.kvm"), error));
    EXPECT_NE(error.find("in use"), std::string::npos);
    EXPECT_FALSE(CreateBlankMedium(PathFor("disc.kvm"), EMediumKind::CdR, 0, error));
    // Readers see the last commit while the recorder keeps the disc.
    ASSERT_TRUE(DescribeMedium(PathFor("disc.kvm"), text, error)) << error;
    EXPECT_NE(text.find("track 1 data start 0 size 300"), std::string::npos) << text;
    recorder_.reset();
    EXPECT_TRUE(second.InsertFile(PathFor("disc.kvm"), error)) << error;
}

TEST_F(PersistenceTest, PressedImageAndAudioDiscs) {
    std::string error;
    auto image = TDriveHarness::Pattern(0, 100, 2048, 3);
    image.resize(image.size() - 100);  // a partial last block reads back zero-padded
    std::ofstream(PathFor("in.iso"), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    ASSERT_TRUE(PressImage(PathFor("cdrom.kvm"), EMediumKind::CdRom, PathFor("in.iso"), error)) << error;
    auto& d = Reload("cdrom.kvm");
    EXPECT_EQ(d.Profile(), 0x0008);
    EXPECT_EQ(GetBE32(&d.ReadCapacity().Data[0]), 99u);
    TReply all = d.Read(0, 100);
    ASSERT_TRUE(all.Good());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), all.Data.begin()));

    WriteWav(PathFor("a.wav"), 400, 1);
    WriteWav(PathFor("b.wav"), 350, 2);
    ASSERT_TRUE(PressAudio(PathFor("audio.kvm"), {PathFor("a.wav"), PathFor("b.wav")}, error)) << error;
    auto& cd = Reload("audio.kvm");
    TReply toc = cd.ReadToc(0);
    ASSERT_TRUE(toc.Good());
    EXPECT_EQ(toc.Data[3], 2);
    EXPECT_EQ(toc.Data[5], 0x10);
    EXPECT_EQ(GetBE32(&toc.Data[16]), 550u);
    EXPECT_EQ(GetBE32(&toc.Data[24]), 900u);
    recorder_.reset();
    ASSERT_TRUE(ExportAudio(PathFor("audio.kvm"), PathFor("out"), error)) << error;
    EXPECT_EQ(ReadFile(PathFor("out/track01.wav")), ReadFile(PathFor("a.wav")));
    EXPECT_EQ(ReadFile(PathFor("out/track02.wav")), ReadFile(PathFor("b.wav")));
    auto cue = ReadFile(PathFor("out/tracks.cue"));
    const std::string text(cue.begin(), cue.end());
    EXPECT_NE(text.find("FILE \"track02.wav\" WAVE"), std::string::npos);
    EXPECT_NE(text.find("PREGAP 00:02:00"), std::string::npos);
    EXPECT_FALSE(ExportAudio(PathFor("cdrom.kvm"), PathFor("none"), error));

    std::ofstream(PathFor("mono.wav")) << "RIFF....WAVEfmt ";
    EXPECT_FALSE(PressAudio(PathFor("bad.kvm"), {PathFor("mono.wav")}, error));
}

TEST_F(PersistenceTest, RegistryListsTheDefaultRecorderAndMediaFromTheEnvironment) {
    std::string error;
    std::filesystem::create_directories(dir_ / "home" / "virtual");
    ASSERT_TRUE(CreateBlankMedium((dir_ / "home" / "virtual" / "found.kvm").string(), EMediumKind::DvdPlusR,
                                  0, error));
    ASSERT_TRUE(CreateBlankMedium(PathFor("listed.kvm"), EMediumKind::CdR, 0, error));
    ::setenv("KELVADORE_HOME", (dir_ / "home").c_str(), 1);
    ::setenv("KELVADORE_VIRTUAL_MEDIA", PathFor("listed.kvm").c_str(), 1);
    InstallVirtualRecorders();
    auto drives = CurrentSoftDrives();
    ::unsetenv("KELVADORE_HOME");
    ::unsetenv("KELVADORE_VIRTUAL_MEDIA");
    SetSoftDriveSource({});
    ASSERT_GE(drives.size(), 3u);
    EXPECT_EQ(drives[0]->DevicePath(), "virtual:recorder");
    bool listed = false, found = false;
    for (auto& drive : drives) {
        listed |= drive->DevicePath() == "virtual:" + PathFor("listed.kvm");
        found |= drive->DevicePath().find("found.kvm") != std::string::npos;
    }
    EXPECT_TRUE(listed);
    EXPECT_TRUE(found);
    // The same file always maps to the same recorder.
    EXPECT_EQ(LoadMediumInRecorder(PathFor("listed.kvm")), "virtual:" + PathFor("listed.kvm"));
    EXPECT_EQ(LoadMediumInRecorder(PathFor("missing.kvm"), &error), "");
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace kv::vr::test
