#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "audioconv/CdWavFile.h"
#include "audioconv/RiffWave.h"
#include "audioconv/WavOutputFolder.h"
#include "platform/ByteOrder.h"
#include "TestPcm.h"

namespace kv {
namespace {
namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        path_ = fs::temp_directory_path() /
                ("kv-wav-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    std::string str() const { return path_.string(); }

private:
    fs::path path_;
    static inline int counter_ = 0;
};


std::string Fmt(uint16_t tag, uint16_t ch, uint32_t rate, uint16_t bits, bool extensible = false) {
    std::string b(extensible ? 40 : 16, '\0');
    auto* p = reinterpret_cast<uint8_t*>(b.data());
    PutLE16(p, extensible ? 0xFFFE : tag);
    PutLE16(p + 2, ch);
    PutLE32(p + 4, rate);
    PutLE32(p + 8, rate * ch * bits / 8);
    PutLE16(p + 12, uint16_t(ch * bits / 8));
    PutLE16(p + 14, bits);
    if (extensible) {
        PutLE16(p + 16, 22);
        PutLE16(p + 24, tag);
    }
    return test::RiffChunk("fmt ", b);
}

void WriteRiff(const std::string& path, const std::string& chunks, uint32_t riffSize = 0) {
    std::string f = "RIFF";
    uint8_t len[4];
    PutLE32(len, riffSize ? riffSize : uint32_t(chunks.size() + 4));
    f.append(reinterpret_cast<char*>(len), 4);
    f += "WAVE" + chunks;
    std::ofstream(path, std::ios::binary) << f;
}

TEST(RiffWave, ChunksDecideTheFormatAndTheDataPlace) {
    TempDir dir;
    // LIST and fact before "fmt ", an odd-sized chunk (padded), then data.
    WriteRiff(dir / "list.wav", test::RiffChunk("LIST", std::string(27, 'x')) + test::RiffChunk("fact", "abcd") +
                                    Fmt(1, 2, 44100, 16) + test::RiffChunk("data", std::string(400, '\x11')) +
                                    test::RiffChunk("LIST", "tail"));
    TWaveInfo w = ReadWaveInfo(dir / "list.wav");
    ASSERT_TRUE(w.IsWave);
    EXPECT_TRUE(w.IsCdFormat());
    EXPECT_EQ(w.DataOffset, 12u + 8 + 28 + 8 + 4 + 24 + 8);
    EXPECT_EQ(w.DataLength, 400u);

    // WAVE_FORMAT_EXTENSIBLE with the PCM sub-format counts as PCM.
    WriteRiff(dir / "ext.wav", Fmt(1, 2, 44100, 16, true) + test::RiffChunk("data", "1234"));
    EXPECT_TRUE(ReadWaveInfo(dir / "ext.wav").IsCdFormat());

    // Not CD format: each field on its own.
    const struct {
        uint16_t tag, ch;
        uint32_t rate;
        uint16_t bits;
    } notCd[] = {
        {3, 2, 44100, 32}, {1, 1, 44100, 16}, {1, 2, 48000, 16}, {1, 2, 44100, 24}, {1, 2, 44100, 8}};
    for (const auto& c : notCd) {
        WriteRiff(dir / "n.wav", Fmt(c.tag, c.ch, c.rate, c.bits) + test::RiffChunk("data", "1234"));
        TWaveInfo n = ReadWaveInfo(dir / "n.wav");
        EXPECT_TRUE(n.IsWave);
        EXPECT_FALSE(n.IsCdFormat()) << c.tag << " " << c.ch << " " << c.rate << " " << c.bits;
    }
}

TEST(RiffWave, DamagedOrForeignFilesAreNoWave) {
    TempDir dir;
    EXPECT_FALSE(ReadWaveInfo(dir / "missing.wav").IsWave);
    std::ofstream(dir / "short.wav") << "RIFF";
    EXPECT_FALSE(ReadWaveInfo(dir / "short.wav").IsWave);
    std::ofstream(dir / "aiff.wav") << "FORM\0\0\0\0AIFF";
    EXPECT_FALSE(ReadWaveInfo(dir / "aiff.wav").IsWave);
    // data before fmt, a chunk claiming more than the file, no data chunk at all.
    WriteRiff(dir / "order.wav", test::RiffChunk("data", "1234") + Fmt(1, 2, 44100, 16));
    EXPECT_FALSE(ReadWaveInfo(dir / "order.wav").IsWave);
    std::string huge = "LIST";
    huge += std::string("\xF0\xFF\xFF\x7F", 4);
    WriteRiff(dir / "huge.wav", huge + Fmt(1, 2, 44100, 16) + test::RiffChunk("data", "1234"));
    EXPECT_FALSE(ReadWaveInfo(dir / "huge.wav").IsWave);
    WriteRiff(dir / "nodata.wav", Fmt(1, 2, 44100, 16));
    EXPECT_FALSE(ReadWaveInfo(dir / "nodata.wav").IsWave);
    // A truncated fmt chunk.
    WriteRiff(dir / "fmt.wav", test::RiffChunk("fmt ", "12345678") + test::RiffChunk("data", "1234"));
    EXPECT_FALSE(ReadWaveInfo(dir / "fmt.wav").IsWave);
}

TEST(RiffWave, StreamedLengthsAreLimitedToTheFile) {
    TempDir dir;
    std::string data = "data";
    data += std::string("\xFF\xFF\xFF\xFF", 4);
    WriteRiff(dir / "stream.wav", Fmt(1, 2, 44100, 16) + data + std::string(1000, '\0'), 0xFFFFFFFF);
    TWaveInfo w = ReadWaveInfo(dir / "stream.wav");
    ASSERT_TRUE(w.IsWave);
    EXPECT_EQ(w.DataLength, 1000u);
}

TEST(CdWavFile, HeaderFieldsAndLengthsPatchedAtTheEnd) {
    TempDir dir;
    TCdWavWriter w;
    ASSERT_TRUE(w.Create(dir / "out.wav"));
    std::vector<uint8_t> samples(1000, 7);
    ASSERT_TRUE(w.Append(samples.data(), samples.size()));
    ASSERT_TRUE(w.Append(samples.data(), 12));
    ASSERT_TRUE(w.Finish());
    // Field by field the header is checked on every decoded file (DecodeToCdAudioTest); here the
    // patched lengths as a reader sees them.
    EXPECT_EQ(fs::file_size(dir / "out.wav"), 44u + 1012);
    TWaveInfo info = ReadWaveInfo(dir / "out.wav");
    EXPECT_TRUE(info.IsCdFormat());
    EXPECT_EQ(info.DataOffset, 44u);
    EXPECT_EQ(info.DataLength, 1012u);
    EXPECT_EQ(MakeCdWavHeader(1012)[4], uint8_t(1048 & 0xFF));

    TCdWavWriter gone;
    ASSERT_TRUE(gone.Create(dir / "gone.wav"));
    gone.Discard();
    EXPECT_FALSE(fs::exists(dir / "gone.wav"));
    TCdWavWriter bad;
    EXPECT_FALSE(bad.Create(dir / "no/such/dir.wav"));
    EXPECT_NE(bad.Error().find("cannot create"), std::string::npos);
}

TEST(WavOutputFolder, NamesNeverReplaceSourcesUserFilesOrEachOther) {
    TempDir dir;
    TWavOutputFolder folder(dir.str());
    const std::vector<std::string> sources = {"/music/a.mp3", "/other/a.ogg", dir / "b.wav", "/x/c.flac"};
    EXPECT_EQ(folder.ChooseOutputPath(sources[0], sources), dir / "a.wav");
    EXPECT_EQ(folder.ChooseOutputPath(sources[1], sources), dir / "a (2).wav");
    // The source itself lies in the folder under the output's name.
    std::ofstream(dir / "b.wav") << "source";
    EXPECT_EQ(folder.ChooseOutputPath(sources[2], sources), dir / "b (2).wav");
    // A file the user put there is left alone.
    std::ofstream(dir / "c.wav") << "user";
    EXPECT_EQ(folder.ChooseOutputPath(sources[3], sources), dir / "c (2).wav");

    // A file Kelvadore wrote in an earlier run may be replaced in the next one.
    std::ofstream(dir / "a.wav") << "old output";
    ASSERT_TRUE(folder.RecordWritten(dir / "a.wav"));
    folder.StartRun();
    EXPECT_EQ(folder.ChooseOutputPath(sources[0], sources), dir / "a.wav");
}

TEST(WavOutputFolder, CleaningDeletesOnlyWhatWasWritten) {
    TempDir dir;
    TWavOutputFolder folder(dir.str() + "/");
    std::ofstream(dir / "mine.wav") << "x";
    std::ofstream(dir / "user.wav") << "y";
    fs::create_directories(dir / "sub");
    std::ofstream(dir / "sub/deep.wav") << "z";
    ASSERT_TRUE(folder.RecordWritten(dir / "mine.wav"));
    ASSERT_TRUE(folder.RecordWritten(dir / "mine.wav"));
    ASSERT_TRUE(folder.RecordWritten(dir / "vanished.wav"));
    // A hand-edited list cannot reach outside the folder.
    std::ofstream(dir / TWavOutputFolder::kListName, std::ios::app) << "../outside.wav\nsub/deep.wav\nsub\n";
    EXPECT_EQ(folder.DeleteWritten(), 1);
    EXPECT_FALSE(fs::exists(dir / "mine.wav"));
    EXPECT_TRUE(fs::exists(dir / "user.wav"));
    EXPECT_TRUE(fs::exists(dir / "sub/deep.wav"));
    EXPECT_FALSE(fs::exists(dir / TWavOutputFolder::kListName));
}

}  // namespace
}  // namespace kv
