// The command line at normal speed (engine time = wall time), as a user meets it: every command
// right after its medium was loaded into a virtual recorder, which then spins up for 1.5 s.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CliShell.h"
#include "LinuxNamesScenario.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using namespace kv::test;

std::string Cli(const std::string& args) { return test::CliCommand(args, 1); }

// One second of a 440 Hz tone as a CD-format WAV (44100 Hz, 16 bit, stereo).
void WriteToneWav(const fs::path& path) {
    const uint32_t frames = 44100, bytes = frames * 4;
    std::vector<uint8_t> wav(44 + bytes);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) wav[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    auto put16 = [&](size_t at, uint16_t v) {
        wav[at] = static_cast<uint8_t>(v);
        wav[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    std::copy_n("RIFF", 4, wav.begin());
    put32(4, 36 + bytes);
    std::copy_n("WAVEfmt ", 8, wav.begin() + 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 2);
    put32(24, 44100);
    put32(28, 44100 * 4);
    put16(32, 4);
    put16(34, 16);
    std::copy_n("data", 4, wav.begin() + 36);
    put32(40, bytes);
    for (uint32_t i = 0; i < frames; ++i) {
        const auto s = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * i / 44100.0));
        put16(44 + i * 4, static_cast<uint16_t>(s));
        put16(46 + i * 4, static_cast<uint16_t>(s));
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(wav.data()),
                                                static_cast<std::streamsize>(wav.size()));
}

class NormalSpeedTest : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = fs::temp_directory_path() /
                ("kv-normal-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(work_);
        WriteRandom(work_ / "Tree" / "Folder" / "deep.bin", 150000, 5);
        WriteRandom(work_ / "Tree" / "name with spaces.txt", 3000, 6);
        WriteRandom(work_ / "More" / "added.bin", 40000, 7);
    }
    void TearDown() override { fs::remove_all(work_); }

    // Runs one command; a failure shows its output. Returns the output.
    std::string Ok(const std::string& args) {
        const TRun r = RunShell(Cli(args));
        EXPECT_EQ(r.Status, 0) << args << "\n" << r.Output;
        return r.Output;
    }
    std::string Drive(const fs::path& medium) { return "--drive " + Q(medium.string()) + " "; }
    void ExpectExtracted(const fs::path& medium, const std::string& discPath, const fs::path& source) {
        const fs::path out = work_ / "out";
        fs::remove_all(out);
        fs::create_directories(out);
        Ok(Drive(medium) + "extract " + Q(discPath) + " " + Q(out.string()));
        EXPECT_TRUE(ReadFile(out / source.filename()) == ReadFile(source)) << discPath;
    }

    fs::path work_;
};

TEST_F(NormalSpeedTest, CdRWithTwoDataSessionsAndAnAudioCd) {
    const fs::path disc = work_ / "cdr.kvm";
    Ok("media create --type cdr " + Q(disc.string()));
    Ok(Drive(disc) + "burn " + Q((work_ / "Tree").string()));
    const std::string info = Ok(Drive(disc) + "discinfo");
    EXPECT_NE(info.find("ready:              yes"), std::string::npos) << info;
    EXPECT_NE(info.find("sessions:           1"), std::string::npos) << info;
    EXPECT_NE(Ok(Drive(disc) + "import").find("deep.bin"), std::string::npos);
    ExpectExtracted(disc, "/Tree/Folder/deep.bin", work_ / "Tree" / "Folder" / "deep.bin");
    Ok(Drive(disc) + "burn --import-last " + Q((work_ / "More").string()));
    ExpectExtracted(disc, "/Tree/name with spaces.txt", work_ / "Tree" / "name with spaces.txt");
    ExpectExtracted(disc, "/More/added.bin", work_ / "More" / "added.bin");
    Ok("media export " + Q(disc.string()) + " " + Q((work_ / "cdr.iso").string()));
    EXPECT_GT(fs::file_size(work_ / "cdr.iso"), 150000u);

    const fs::path audio = work_ / "audio.kvm", wav = work_ / "tone.wav";
    WriteToneWav(wav);
    Ok("media create --type cdr " + Q(audio.string()));
    EXPECT_NE(Ok(Drive(audio) + "burn-audio " + Q(wav.string())).find("audio disc written: 1 track"), std::string::npos);
}

TEST_F(NormalSpeedTest, DvdPlusRwBurnedGrownWithUdfThenBlanked) {
    const fs::path disc = work_ / "dvd.kvm";
    Ok("media create --type dvdplusrw " + Q(disc.string()));
    Ok(Drive(disc) + "burn " + Q((work_ / "Tree").string()));
    // The second session's UDF anchor goes to sector 256 after its descriptor copy.
    Ok(Drive(disc) + "burn --import-last " + Q((work_ / "More").string()));
    const std::string info = Ok(Drive(disc) + "discinfo");
    EXPECT_NE(info.find("udf:                2.01"), std::string::npos) << info;
    ExpectExtracted(disc, "/Tree/Folder/deep.bin", work_ / "Tree" / "Folder" / "deep.bin");
    ExpectExtracted(disc, "/More/added.bin", work_ / "More" / "added.bin");
    EXPECT_NE(Ok(Drive(disc) + "blank").find("blank: done"), std::string::npos);
    const TRun import = RunShell(Cli(Drive(disc) + "import"));
    EXPECT_EQ(import.Output.find("deep.bin"), std::string::npos) << import.Output;
}

// Import and extraction right after the disc is loaded, on pressed, closed and appendable discs.
TEST_F(NormalSpeedTest, ExtractionRightAfterLoadingEveryKindOfRecordedDisc) {
    const fs::path image = work_ / "tree.iso";
    const TRun mk = RunShell(test::CliCommand("mkiso -o " + Q(image.string()) + " " + Q((work_ / "Tree").string()), 5000));
    ASSERT_EQ(mk.Status, 0) << mk.Output;
    const auto pressed = [&](const std::string& type) {
        const fs::path disc = work_ / (type + ".kvm");
        Ok("media create --type " + type + " " + Q(disc.string()) + " --from-image " + Q(image.string()));
        return disc;
    };
    const auto burned = [&](const std::string& name, bool close) {
        const fs::path disc = work_ / (name + ".kvm");
        Ok("media create --type cdr " + Q(disc.string()));
        const TRun b = RunShell(test::CliCommand(Drive(disc) + "burn-iso " + (close ? "--close " : "") + Q(image.string()), 5000));
        EXPECT_EQ(b.Status, 0) << b.Output;
        return disc;
    };
    for (const fs::path& disc : {pressed("cdrom"), pressed("dvdrom"), burned("closed", true), burned("appendable", false)}) {
        SCOPED_TRACE(disc.filename().string());
        ExpectExtracted(disc, "/Tree/Folder/deep.bin", work_ / "Tree" / "Folder" / "deep.bin");
    }
}

// A folder only Linux holds, refused while any entry cannot be read, then burned, appended to,
// extracted and verified with the recorder's own timing.
TEST_F(NormalSpeedTest, AwkwardLinuxFolderBurnedAppendedExtractedAndVerified) {
    for (const char* tool : {"isoinfo", "xorriso", "/usr/bin/python3"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
    test::TLinuxNamesScenario(work_ / "linux-names", 1).Run();
}

// A data CD and an audio CD saved as images, and the audio CD copied to a second recorder, each
// right after its medium was loaded.
TEST_F(NormalSpeedTest, DiscsSavedAsImagesAndACopy) {
    const fs::path image = work_ / "tree.iso", data = work_ / "data.kvm";
    const TRun mk = RunShell(test::CliCommand("mkiso -o " + Q(image.string()) + " " + Q((work_ / "Tree").string()), 5000));
    ASSERT_EQ(mk.Status, 0) << mk.Output;
    Ok("media create --type cdrom " + Q(data.string()) + " --from-image " + Q(image.string()));
    Ok(Drive(data) + "read-image " + Q((work_ / "back.iso").string()));
    EXPECT_TRUE(ReadFile(work_ / "back.iso") == ReadFile(image));

    const fs::path audio = work_ / "audio.kvm", copy = work_ / "copy.kvm", wav = work_ / "tone.wav";
    WriteToneWav(wav);
    Ok("media create --type cdr " + Q(audio.string()));
    Ok("media create --type cdr " + Q(copy.string()));
    Ok(Drive(audio) + "burn-audio " + Q(wav.string()));
    Ok(Drive(audio) + "read-image " + Q((work_ / "audio.cue").string()));
    // The untagged file's CD-TEXT title is its name, and the cue sheet gives it back.
    EXPECT_EQ(ReadFile(work_ / "audio.cue"), "FILE \"audio.bin\" BINARY\n  TRACK 01 AUDIO\n    TITLE \"tone\"\n"
                                             "    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n");
    EXPECT_EQ(fs::file_size(work_ / "audio.bin"), (150u + 75) * 2352);
    fs::create_directories(work_ / "temp");
    EXPECT_NE(Ok(Drive(audio) + "copy-disc --to " + Q(copy.string()) + " --temp " + Q((work_ / "temp").string()))
                  .find("COPY VERIFIED"),
              std::string::npos);
}

}  // namespace
}  // namespace kv
