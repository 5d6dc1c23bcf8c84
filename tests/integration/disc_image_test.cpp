// Discs to images and back with kelvadore-cli on virtual recorders: read-image, burn-iso of cue
// sheets and copy-disc, the results checked byte for byte against their sources and read by
// isoinfo, 7z and xorriso.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "AudioTestFiles.h"
#include "CliShell.h"
#include "virtualrecorder/CdRawSector.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using namespace kv::test;

std::string ImageCli(const std::string& args, const std::string& faults = "") { return CliCommand(args, 500, faults); }

std::string CueTimeOf(int64_t frames) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(frames / 4500), static_cast<int>(frames / 75 % 60),
                  static_cast<int>(frames % 75));
    return text;
}

class DiscImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"isoinfo", "xorriso", "7z"})
            if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
        work_ = fs::temp_directory_path() / ("kv-disc-image-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(work_);
        fs::create_directories(work_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(work_, ec);
    }
    std::string W(const std::string& name) const { return (work_ / name).string(); }

    std::string Ok(const std::string& args, const std::string& faults = "") {
        TRun r = RunShell(ImageCli(args, faults));
        EXPECT_EQ(r.Status, 0) << args << "\n" << r.Output;
        return r.Output;
    }
    std::string Medium(const std::string& name, const std::string& type) {
        Ok("media create --type " + type + " " + Q(W(name)));
        return "--drive " + Q(W(name)) + " ";
    }
    // An ISO image of a small tree made by mkiso.
    std::string MakeIso(const std::string& name) {
        WriteRandom(work_ / "tree" / "big.bin", 700000, 3);
        WriteRandom(work_ / "tree" / "Folder" / "small.txt", 5000, 4);
        Ok("mkiso -o " + Q(W(name)) + " " + Q(W("tree")));
        return W(name);
    }
    void ExpectFileInImage(const std::string& image) {
        const fs::path out = work_ / "x7z";
        fs::remove_all(out);
        TRun r = RunShell("7z x -y -o" + Q(out.string()) + " " + Q(image));
        ASSERT_EQ(r.Status, 0) << r.Output;
        EXPECT_EQ(ReadFile(out / "tree" / "big.bin"), ReadFile(work_ / "tree" / "big.bin"));
        r = RunShell("xorriso -indev " + Q(image) + " -find / -type f");
        EXPECT_NE(r.Output.find("small.txt"), std::string::npos) << r.Output;
    }
    // The cue sheet as read-image writes it, with the BIN's own name.
    std::string CueOf(const std::string& cue) { return ReadFile(cue); }
    std::string WithBinName(std::string cue, const std::string& from, const std::string& to) {
        const size_t at = cue.find("\"" + from + "\"");
        if (at != std::string::npos) cue.replace(at + 1, from.size(), to);
        return cue;
    }

    fs::path work_;
};

TEST_F(DiscImageTest, DataDiscsReadBackByteForByteSizedByTheirIsoVolume) {
    const std::string iso = MakeIso("image.iso");
    const uintmax_t blocks = fs::file_size(iso) / 2048;
    for (const char* type : {"cdr", "dvdr", "dvdplusrw", "bdr", "bdre"}) {
        SCOPED_TRACE(type);
        const std::string drive = Medium(std::string(type) + ".kvm", type);
        Ok(drive + "burn-iso " + Q(iso));
        const std::string back = W(std::string("back-") + type + ".iso");
        const std::string output = Ok(drive + "read-image " + Q(back));
        // A track-at-once CD-R (300-block minimum, 2 run-out blocks), a formatted DVD+RW and BD
        // media (whole clusters, a formatted BD-RE) hold more than the volume: the image is the
        // volume, read without a single error.
        EXPECT_NE(output.find("READING THE DISC AS ISO: " + std::to_string(blocks) + " SECTORS"), std::string::npos)
            << output;
        EXPECT_EQ(output.find("ERROR"), std::string::npos) << output;
        EXPECT_TRUE(ReadFile(back) == ReadFile(iso)) << back << " differs from the image burned";
        TRun d = RunShell("isoinfo -d -i " + Q(back));
        EXPECT_NE(d.Output.find("Volume size is: " + std::to_string(blocks)), std::string::npos) << d.Output;
        ExpectFileInImage(back);
    }
}

TEST_F(DiscImageTest, AMultisessionDiscSavesTheSessionAskedFor) {
    WriteRandom(work_ / "tree" / "big.bin", 300000, 3);
    WriteRandom(work_ / "more" / "added.txt", 4000, 4);
    const std::string drive = Medium("multi.kvm", "cdr");
    Ok(drive + "burn " + Q(W("tree")));
    Ok(drive + "burn --import-last " + Q(W("more")));
    // The last session: both sessions' blocks where they lie, its own volume descriptors at block
    // 16, so that a reader of the file sees the disc as a drive shows it.
    Ok(drive + "read-image " + Q(W("last.iso")));
    TRun x = RunShell("xorriso -indev " + Q(W("last.iso")) + " -find / -type f");
    EXPECT_NE(x.Output.find("/tree/big.bin"), std::string::npos) << x.Output;
    EXPECT_NE(x.Output.find("/more/added.txt"), std::string::npos) << x.Output;
    const fs::path out = work_ / "x";
    ASSERT_EQ(RunShell("7z x -y -o" + Q(out.string()) + " " + Q(W("last.iso"))).Status, 0);
    EXPECT_EQ(ReadFile(out / "more" / "added.txt"), ReadFile(work_ / "more" / "added.txt"));
    EXPECT_EQ(ReadFile(out / "tree" / "big.bin"), ReadFile(work_ / "tree" / "big.bin"));
    // The first session alone: its volume, as the medium holds it (the export has the whole track,
    // padded to the 4-second minimum).
    Ok(drive + "read-image --session 1 " + Q(W("first.iso")));
    Ok("media export --session 1 " + Q(W("multi.kvm")) + " " + Q(W("export1.iso")));
    const std::string first = ReadFile(W("first.iso"));
    TRun d = RunShell("isoinfo -d -i " + Q(W("first.iso")));
    EXPECT_NE(d.Output.find("Volume size is: " + std::to_string(first.size() / 2048) + "\n"), std::string::npos)
        << d.Output;
    EXPECT_TRUE(first == ReadFile(W("export1.iso")).substr(0, first.size()));
}

TEST_F(DiscImageTest, AudioCdToBinCueAndBackAndAWavCueSheetBurnsTheSameDisc) {
    // Three tracks of odd lengths; burn-audio puts its 2 s pause before every track.
    const std::vector<size_t> bytes = {4 * 176400 + 1000, 3 * 176400 + 2352 * 5, 5 * 176400 + 4};
    std::vector<std::vector<uint8_t>> pcm;
    std::string sources;
    for (size_t i = 0; i < bytes.size(); ++i) {
        pcm.push_back(TestPcm(bytes[i], static_cast<uint32_t>(i + 1)));
        WriteWav(work_ / ("t" + std::to_string(i + 1) + ".wav"), pcm.back());
        sources += " " + Q(W("t" + std::to_string(i + 1) + ".wav"));
    }
    const std::string audio = Medium("audio.kvm", "cdr");
    // Without CD-TEXT: the tracks' names would come back as TITLE lines.
    Ok(audio + "burn-audio --no-cd-text" + sources);
    Ok(audio + "read-image " + Q(W("disc.cue")));

    std::vector<int64_t> frames;
    for (size_t b : bytes) frames.push_back(static_cast<int64_t>((b + 2351) / 2352));
    std::string expected = "FILE \"disc.bin\" BINARY\n";
    int64_t at = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        expected += "  TRACK 0" + std::to_string(i + 1) + " AUDIO\n    INDEX 00 " + CueTimeOf(at) + "\n    INDEX 01 " +
                    CueTimeOf(at + 150) + "\n";
        at += 150 + frames[i];
    }
    EXPECT_EQ(CueOf(W("disc.cue")), expected);
    const std::string bin = ReadFile(W("disc.bin"));
    ASSERT_EQ(bin.size(), static_cast<size_t>(at) * 2352);
    at = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(bin.substr(static_cast<size_t>(at) * 2352, 150 * 2352), std::string(150 * 2352, '\0'));
        const std::string track = bin.substr(static_cast<size_t>(at + 150) * 2352, static_cast<size_t>(frames[i]) * 2352);
        std::string source(pcm[i].begin(), pcm[i].end());
        source.resize(static_cast<size_t>(frames[i]) * 2352, '\0');
        EXPECT_TRUE(track == source) << "track " << i + 1 << " differs from its source";
        at += 150 + frames[i];
    }

    // The BIN/CUE burned to a new CD-R reads back to the same BIN/CUE.
    const std::string again = Medium("again.kvm", "cdr");
    Ok(again + "burn-iso " + Q(W("disc.cue")));
    Ok(again + "read-image " + Q(W("again.bin")));
    EXPECT_EQ(CueOf(W("again.cue")), WithBinName(expected, "disc.bin", "again.bin"));
    EXPECT_TRUE(ReadFile(W("again.bin")) == bin);

    // A cue sheet of the source WAV files with the same pauses burns the disc the audio burn made.
    std::ofstream(W("sources.cue")) << "FILE \"t1.wav\" WAVE\n  TRACK 01 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:00:00\n"
                                       "FILE \"t2.wav\" WAVE\n  TRACK 02 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:00:00\n"
                                       "FILE \"t3.wav\" WAVE\n  TRACK 03 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:00:00\n";
    const std::string wavs = Medium("wavs.kvm", "cdr");
    Ok(wavs + "burn-iso " + Q(W("sources.cue")));
    Ok(wavs + "read-image " + Q(W("wavs.cue")));
    EXPECT_EQ(CueOf(W("wavs.cue")), WithBinName(expected, "disc.bin", "wavs.bin"));
    EXPECT_TRUE(ReadFile(W("wavs.bin")) == bin);

    // One WAV per track: each holds its track from its own index 00.
    fs::create_directories(work_ / "w");
    Ok(audio + "read-image --format wav " + Q(W("w/disc.cue")));
    const std::string second = ReadFile(work_ / "w" / "disc-02.wav");
    ASSERT_EQ(second.size(), 44 + static_cast<size_t>(150 + frames[1]) * 2352);
    EXPECT_TRUE(second.substr(44) == bin.substr(static_cast<size_t>(150 + frames[0]) * 2352, second.size() - 44));
    EXPECT_NE(CueOf(W("w/disc.cue")).find("FILE \"disc-03.wav\" WAVE\n  TRACK 03 AUDIO\n    INDEX 00 00:00:00\n"
                                          "    INDEX 01 00:02:00\n"),
              std::string::npos);
}

// The CD-TEXT of an audio CD becomes the TITLE, PERFORMER and SONGWRITER lines of its cue sheet, and
// those lines burn the same CD-TEXT (and catalogue number) back.
TEST_F(DiscImageTest, CdTextBecomesCueSheetLinesThatBurnItBack) {
    WriteWav(work_ / "First Song.wav", TestPcm(4 * 176400, 1));
    WriteWav(work_ / "Second.wav", TestPcm(5 * 176400, 2));
    const std::string audio = Medium("texts.kvm", "cdr");
    Ok(audio + "burn-audio --title 'An \"Album\"' --performer Band --songwriter Writer --catalog 0724384260927 " +
       Q(W("First Song.wav")) + " " + Q(W("Second.wav")));
    Ok(audio + "read-image " + Q(W("texts.cue")));
    const std::string cue = CueOf(W("texts.cue"));
    EXPECT_EQ(cue.substr(0, cue.find("FILE")),
              "CATALOG 0724384260927\nTITLE \"An 'Album'\"\nPERFORMER \"Band\"\nSONGWRITER \"Writer\"\n");
    EXPECT_NE(cue.find("  TRACK 01 AUDIO\n    TITLE \"First Song\"\n"), std::string::npos) << cue;
    EXPECT_NE(cue.find("  TRACK 02 AUDIO\n    TITLE \"Second\"\n"), std::string::npos) << cue;

    const std::string again = Medium("texts-again.kvm", "cdr");
    Ok(again + "burn-iso " + Q(W("texts.cue")));
    const std::string info = Ok(again + "discinfo");
    EXPECT_NE(info.find("catalog number:     0724384260927"), std::string::npos) << info;
    EXPECT_NE(info.find("cd-text album:      title \"An 'Album'\", performer \"Band\", songwriter \"Writer\""),
              std::string::npos)
        << info;
    EXPECT_NE(info.find("cd-text track  2:  title \"Second\""), std::string::npos) << info;
    Ok(again + "read-image " + Q(W("again.cue")));
    EXPECT_EQ(CueOf(W("again.cue")), WithBinName(cue, "texts.bin", "again.bin"));
}

TEST_F(DiscImageTest, AMixedModeCueBinBurnsAndReadsBackTheSameAndItsDataTrackIsTheImage) {
    const std::string iso = MakeIso("data.iso");
    const std::string isoBytes = ReadFile(iso);
    const int64_t dataBlocks = static_cast<int64_t>(isoBytes.size() / 2048);
    const auto tone = TestPcm(250 * 2352, 11), noise = TestPcm(400 * 2352, 12);
    // MODE1/2352: every block of the image as the recorder will write it (sync, header, EDC, ECC).
    std::string bin;
    std::array<uint8_t, 2352> raw{};
    for (int64_t b = 0; b < dataBlocks; ++b) {
        vr::BuildMode1Sector(static_cast<int32_t>(b), reinterpret_cast<const uint8_t*>(isoBytes.data()) + b * 2048,
                             raw.data());
        bin.append(reinterpret_cast<const char*>(raw.data()), raw.size());
    }
    const int64_t two = dataBlocks, three = two + 150 + 250;
    bin.append(150 * 2352, '\0');
    bin.append(tone.begin(), tone.end());
    bin.append(150 * 2352, '\0');
    bin.append(noise.begin(), noise.end());
    std::ofstream(W("mixed.bin"), std::ios::binary) << bin;
    const std::string canonical = "CATALOG 0123456789012\n"
                                  "FILE \"mixed.bin\" BINARY\n"
                                  "  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
                                  "  TRACK 02 AUDIO\n    FLAGS DCP\n    ISRC USKV12500001\n"
                                  "    INDEX 00 " + CueTimeOf(two) + "\n    INDEX 01 " + CueTimeOf(two + 150) + "\n"
                                  "  TRACK 03 AUDIO\n    INDEX 00 " + CueTimeOf(three) + "\n    INDEX 01 " +
                                  CueTimeOf(three + 150) + "\n    INDEX 02 " + CueTimeOf(three + 300) + "\n";
    std::string sheet = "REM made by the test\n" + canonical;
    sheet.insert(sheet.find("    FLAGS"), "    TITLE \"Tone\"\n");
    std::ofstream(W("mixed.cue")) << sheet;

    const std::string drive = Medium("mixed.kvm", "cdr");
    const std::string burned = Ok(drive + "burn-iso " + Q(W("mixed.cue")));
    EXPECT_NE(burned.find("CD-TEXT"), std::string::npos) << "the TITLE goes into the lead-in: " << burned;
    const std::string info = Ok("media info " + Q(W("mixed.kvm")));
    EXPECT_NE(info.find("mcn 0123456789012\nisrc 2 USKV12500001\nindex 3 2 "), std::string::npos) << info;
    Ok(drive + "read-image " + Q(W("back.cue")));
    // The disc's CD-TEXT gives the TITLE back; only the REM line is lost.
    EXPECT_EQ(CueOf(W("back.cue")), WithBinName(sheet.substr(sheet.find('\n') + 1), "mixed.bin", "back.bin"));
    EXPECT_TRUE(ReadFile(W("back.bin")) == bin) << "the BIN read back differs from the one burned";

    Ok(drive + "read-image --format iso " + Q(W("track1.iso")));
    EXPECT_TRUE(ReadFile(W("track1.iso")) == isoBytes);
    ExpectFileInImage(W("track1.iso"));
}

TEST_F(DiscImageTest, UnreadableSectorsStopTheReadNamingThemOrBecomeListedZeros) {
    const std::string iso = MakeIso("image.iso");
    const std::string drive = Medium("disc.kvm", "cdr");
    Ok(drive + "burn-iso " + Q(iso));
    const std::string damaged = "unreadable@300*4; unreadable@390";
    TRun r = RunShell(ImageCli(drive + "read-image " + Q(W("stop.iso")), damaged));
    EXPECT_EQ(r.Status, 1) << r.Output;
    EXPECT_NE(r.Output.find("UNREADABLE SECTORS: 300-303"), std::string::npos) << r.Output;
    EXPECT_FALSE(fs::exists(W("stop.iso")));

    const std::string output = Ok(drive + "read-image --fill-unreadable " + Q(W("fill.iso")), damaged);
    EXPECT_NE(output.find("SECTOR 390 IS UNREADABLE: FILLED WITH ZEROS"), std::string::npos) << output;
    const std::string list = ReadFile(W("fill.iso.unreadable.txt"));
    for (const char* sector : {"\n300\t", "\n301\t", "\n302\t", "\n303\t", "\n390\t"})
        EXPECT_NE(list.find(sector), std::string::npos) << list;
    std::string expected = ReadFile(iso);
    for (size_t sector : {300, 301, 302, 303, 390}) std::fill_n(expected.begin() + sector * 2048, 2048, '\0');
    EXPECT_TRUE(ReadFile(W("fill.iso")) == expected);
}

TEST_F(DiscImageTest, CopyDiscToASecondRecorderIsVerifiedAndLeavesNoImage) {
    const std::string iso = MakeIso("image.iso");
    WriteWav(work_ / "a.wav", TestPcm(300 * 2352, 5));
    WriteWav(work_ / "b.wav", TestPcm(350 * 2352, 6));
    const std::string data = Medium("data.kvm", "dvdr");
    Ok(data + "burn-iso " + Q(iso));
    const std::string audio = Medium("audio.kvm", "cdr");
    Ok(audio + "burn-audio " + Q(W("a.wav")) + " " + Q(W("b.wav")));
    fs::create_directories(work_ / "temp");
    const struct {
        std::string From, To, Type;
    } copies[] = {{"data.kvm", "data-copy.kvm", "dvdplusr"}, {"audio.kvm", "audio-copy.kvm", "cdr"}};
    for (const auto& c : copies) {
        SCOPED_TRACE(c.From);
        Medium(c.To, c.Type);
        const std::string output = Ok("--drive " + Q(W(c.From)) + " copy-disc --to " + Q(W(c.To)) + " --temp " +
                                      Q(W("temp")));
        EXPECT_NE(output.find("COPY VERIFIED"), std::string::npos) << output;
        EXPECT_TRUE(fs::is_empty(work_ / "temp"));
        Ok("--drive " + Q(W(c.From)) + " read-image " + Q(W(c.From + ".img")));
        Ok("--drive " + Q(W(c.To)) + " read-image " + Q(W(c.To + ".img")));
        EXPECT_TRUE(ReadFile(W(c.From + ".img")) == ReadFile(W(c.To + ".img")));
    }
}

TEST_F(DiscImageTest, CueSheetsThisBurnerCannotWriteAreRefusedBeforeTheDisc) {
    WriteWav(work_ / "a.wav", TestPcm(300 * 2352, 5));
    const std::string drive = Medium("disc.kvm", "cdr");
    const struct {
        std::string Sheet, Named;
    } cases[] = {
        {"FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n    POSTGAP 00:02:00\n", "POSTGAP IS NOT SUPPORTED"},
        {"FILE \"a.bin\" BINARY\n  TRACK 01 CDG\n", "TRACK TYPE CDG IS NOT SUPPORTED"},
        {"FILE \"missing.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n", "missing.wav"},
    };
    for (const auto& c : cases) {
        std::ofstream(W("refused.cue")) << c.Sheet;
        TRun r = RunShell(ImageCli(drive + "burn-iso " + Q(W("refused.cue"))));
        EXPECT_EQ(r.Status, 1) << r.Output;
        EXPECT_NE(r.Output.find(c.Named), std::string::npos) << r.Output;
    }
    EXPECT_NE(Ok("media info " + Q(W("disc.kvm"))).find("state:     blank"), std::string::npos);
}

}  // namespace
}  // namespace kv
