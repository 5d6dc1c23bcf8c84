// The audio burn's steps in their order against a virtual recorder: the WAV folder, the questions,
// the conversion and the write, and the ends that come before the write.
#include "FakeFlowHost.h"
#include "FlowsTestMedia.h"
#include "app/DataBurnSteps.h"
#include "app/MessageCatalogue.h"
#include "flows/AudioBurnFlow.h"
#include "flows/DataBurnFlow.h"
#include "virtualrecorder/MediumTools.h"
#include "virtualrecorder/VirtualRecorders.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

namespace kv::test {
namespace {

constexpr qsizetype kCdFrameBytes = 2352;

// The samples of a CD-format WAV the test wrote (after its 44-byte header), padded to whole frames
// as a track holds them.
QByteArray TrackSamples(const QString& wav) {
    QByteArray samples = ReadAll(wav).mid(44);
    samples.append(QByteArray((kCdFrameBytes - samples.size() % kCdFrameBytes) % kCdFrameBytes, '\0'));
    return samples;
}

class AudioBurnFlowTest : public ::testing::Test {
protected:
    QString Song(const QString& name, double seconds, int seed) {
        const QString path = Host.Folder.path() + "/songs/" + name;
        EXPECT_TRUE(WriteCdWav(path, seconds, seed));
        return path;
    }
    bool RunAudioBurn() { return Host.Run(std::make_unique<TAudioBurnFlow>(Host, *Host.Runner)); }

    TFakeFlowHost Host;
};

TEST_F(AudioBurnFlowTest, TheQuestionTheConversionAndTheWriteComeInThisOrder) {
    ASSERT_TRUE(Host.UseMedium("audio-cdr.kvm"));
    const QString one = Song("one.wav", 3.5, 1), two = Song("two.wav", 2.25, 2);
    Host.AddFile(one);
    Host.AddFile(two);
    Host.Questions.Warnings = {{TPromptAnswer::Yes, false}};
    const int burns = Host.Values.AudioBurnCount;
    QList<TOperation> phases;
    Host.Runner->OnOperationChanged = [&] { phases.append(Host.Runner->Operation()); };

    ASSERT_TRUE(RunAudioBurn());
    EXPECT_EQ(phases,
              QList<TOperation>({TOperation::Converting, TOperation::WritingAudio, TOperation::Idle}));
    EXPECT_TRUE(
        InOrder(Host.Events, {"question: " + LookupText("17.6"), "drive: " + Host.Values.DriveName,
                              "progress: conversion", "progress: audio write", "log: " + LookupText("11.47"),
                              "progress closed", "log: " + LookupText("11.57")}));
    EXPECT_EQ(Host.Questions.Unexpected, 0);
    EXPECT_EQ(Host.Values.AudioBurnCount, burns + 1);
    EXPECT_EQ(Host.WaitCursors, 0);
    // What the decoder wrote into the WAV folder is gone; the sources stay.
    EXPECT_TRUE(QDir(Host.Values.WAVPath).entryList({"*.wav"}, QDir::Files).isEmpty());
    EXPECT_TRUE(QFileInfo::exists(one) && QFileInfo::exists(two));

    auto recorder = RecorderOf("audio-cdr.kvm");
    ASSERT_TRUE(recorder);
    std::string error;
    ASSERT_TRUE(recorder->Flush(error)) << error;
    const QString out = Host.Folder.path() + "/tracks";
    ASSERT_TRUE(vr::ExportAudio(Medium("audio-cdr.kvm").toStdString(), out.toStdString(), error)) << error;
    EXPECT_EQ(ReadAll(out + "/track01.wav").mid(44), TrackSamples(one));
    EXPECT_EQ(ReadAll(out + "/track02.wav").mid(44), TrackSamples(two));
}

TEST_F(AudioBurnFlowTest, NoRoomForWavsANonAudioFileTooLittleTimeAndADvdEachEndTheRunWithTheirReason) {
    ASSERT_TRUE(Host.UseMedium("short-cdr.kvm"));
    Host.AddFile(Song("long.wav", 20, 3));

    // No folder with room for the WAV files: said, noticed, and nothing asked.
    Host.Space.FreeBytes = [](const QString&) { return qint64{0}; };
    ASSERT_TRUE(RunAudioBurn());
    EXPECT_TRUE(InOrder(Host.Events, {"log: " + LookupText("11.37"), "notice: " + LookupText("11.37")}));
    EXPECT_EQ(Host.Questions.Asked.size(), 1);
    Host.Space.FreeBytes = [](const QString&) { return qint64{1} << 40; };

    // A file that is no audio: asked, and No ends the run.
    const QString notes = Host.Folder.path() + "/songs/notes.txt";
    ASSERT_TRUE(WriteFile(notes, "notes"));
    Host.AddFile(notes);
    Host.Questions.Warnings = {{TPromptAnswer::No, false}};
    ASSERT_TRUE(RunAudioBurn());
    EXPECT_EQ(Host.Events.filter("question: "), QStringList({"question: " + LookupText("17.27")}));
    Host.Tree.RemoveChildren(1, 1);

    // Twenty seconds for a disc of sixteen: asked, and No ends the run before any conversion and
    // ejects the disc.
    Host.Questions.Warnings = {{TPromptAnswer::Yes, false}};
    Host.Questions.YesNo = {false};
    ASSERT_TRUE(RunAudioBurn());
    EXPECT_TRUE(InOrder(Host.Events, {"question: " + LookupText("17.6"), "log: " + LookupText("11.34"),
                                      "yes/no: " + LookupText("11.34")}));
    EXPECT_FALSE(Host.Events.contains("progress: conversion"));

    // A DVD takes no audio: the conversion runs, then the write is refused and nothing is written.
    ASSERT_TRUE(Host.UseMedium("audio-dvd.kvm"));
    Host.Tree.ClearChildren();
    Host.AddFile(Song("short.wav", 1.5, 4));
    Host.Questions.Warnings = {{TPromptAnswer::Yes, false}};
    ASSERT_TRUE(RunAudioBurn());
    EXPECT_TRUE(
        InOrder(Host.Events, {"progress: conversion", "log: " + LookupText("11.53"), "progress closed"}));
    EXPECT_FALSE(Host.Events.contains("progress: audio write"));
    EXPECT_EQ(Host.DiscFacts().SessionCount, 0);
    EXPECT_EQ(Host.Questions.Unexpected, 0);
}

TEST_F(AudioBurnFlowTest, AnAbortBetweenTheConversionAndTheWriteWritesNothing) {
    ASSERT_TRUE(Host.UseMedium("abort-cdr.kvm"));
    Host.AddFile(Song("abort.wav", 2, 5));
    Host.Questions.Warnings = {{TPromptAnswer::Yes, false}};
    // The user confirms the abort while the audio burner takes the drive for the write.
    Host.OnWaitCursor = [&] {
        if (Host.Runner->Operation() == TOperation::WritingAudio) Host.Runner->Abort();
    };
    ASSERT_TRUE(RunAudioBurn());
    EXPECT_TRUE(InOrder(Host.Events, {"progress: conversion", "progress closed"}));
    EXPECT_FALSE(Host.Events.contains("progress: audio write"));
    EXPECT_TRUE(Host.LogLines().filter(LookupText("11.47")).isEmpty());
    EXPECT_EQ(Host.Status, LookupText("10.12"));
    const TDiscFacts facts = Host.DiscFacts();
    EXPECT_EQ(facts.SessionCount, 0);
    EXPECT_GT(facts.FreeBlocks, 300000u);
}

TEST_F(AudioBurnFlowTest, TheQuestionsAndTheStartLineReadSizesAndDurationsRightAndAgree) {
    ASSERT_TRUE(Host.UseMedium("numbers-cdr.kvm"));
    // 58.5 s and the 2-second pause: one minute and half a second, never "0 m 60 s" or "2 minutes".
    Host.AddFile(Song("numbers.wav", 58.5, 8));
    Host.Questions.Warnings = {{TPromptAnswer::Yes, false}};
    ASSERT_TRUE(RunAudioBurn());
    ASSERT_FALSE(Host.Questions.Asked.isEmpty());
    const QString question = Host.Questions.Asked.first().Text;
    EXPECT_TRUE(question.contains("1 m 0 s 500 ms")) << question.toStdString();
    EXPECT_FALSE(question.contains("2 minutes")) << question.toStdString();
    const QStringList start = Host.LogLines().filter(LookupText("11.48").section('<', 0, 0));
    ASSERT_EQ(start.size(), 1) << Host.Events.join('\n').toStdString();
    EXPECT_TRUE(start.first().contains(" 1 minutes 0 seconds 5")) << start.first().toStdString();

    // The data question's sizes carry their unit once.
    Host.Tree.ClearChildren();
    const QString file = Host.Folder.path() + "/sized.bin";
    ASSERT_TRUE(WriteFile(file, Pattern(3 << 20, 9)));
    Host.AddFile(file);
    Host.Questions.Warnings = {{TPromptAnswer::No, false}};
    Host.Questions.Asked.clear();
    ASSERT_TRUE(Host.Run(std::make_unique<TDataBurnFlow>(Host, *Host.Runner, false)));
    ASSERT_EQ(Host.Questions.Asked.size(), 1);
    EXPECT_TRUE(Host.Questions.Asked.first().Text.contains("(3,145,728 bytes - 3,072 KB - 3.00 MB - 0.00 GB)"))
        << Host.Questions.Asked.first().Text.toStdString();
}

}  // namespace
}  // namespace kv::test
