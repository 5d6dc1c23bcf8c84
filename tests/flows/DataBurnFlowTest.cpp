// The data burn's steps in their order against a virtual recorder: the questions, the refusals
// that end a run before anything is written, the room on the disc and the overburn question.
#include "FakeFlowHost.h"
#include "FlowsTestMedia.h"
#include "app/DataBurnSteps.h"
#include "app/MessageCatalogue.h"
#include "flows/AudioBurnFlow.h"
#include "flows/DataBurnFlow.h"
#include "virtualrecorder/MediumTools.h"
#include "virtualrecorder/VirtualRecorders.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

namespace kv::test {
namespace {

constexpr int kWaitMs = 120000;

class DataBurnFlowTest : public ::testing::Test {
protected:
    bool RunDataBurn(bool imageOnly = false) {
        return Host.Run(std::make_unique<TDataBurnFlow>(Host, *Host.Runner, imageOnly));
    }
    QString Source(const QString& name, int size, int seed) {
        const QString path = Host.Folder.path() + "/sources/" + name;
        EXPECT_TRUE(WriteFile(path, Pattern(size, seed)));
        return path;
    }

    TFakeFlowHost Host;
};

TEST_F(DataBurnFlowTest, AQuestionedBurnHandsOverLaysOutWritesAndGoesOnToTheRestart) {
    ASSERT_TRUE(Host.UseMedium("data-cdr.kvm"));
    Host.AddFile(Source("one.txt", 70000, 1));
    Host.AddFile(Source("two.bin", 300000, 2));
    Host.VolumeNameTyped = "Flows";
    Host.Questions.Warnings = {{TPromptAnswer::Yes, false}, {TPromptAnswer::Yes, false}};
    Host.Values.VerifyData = true;
    Host.Values.DriveEjectAfterWrite = false;
    const int burns = Host.Values.DataBurnCount;

    ASSERT_TRUE(Host.Runner->Start(std::make_unique<TDataBurnFlow>(Host, *Host.Runner, false)));
    EXPECT_EQ(Host.Runner->Operation(), TOperation::WritingData);
    // The gate: nothing else starts while the burn runs.
    EXPECT_FALSE(Host.Runner->Start(std::make_unique<TDataBurnFlow>(Host, *Host.Runner, true)));
    ASSERT_TRUE(Host.WaitForRunEnd(kWaitMs));

    EXPECT_TRUE(InOrder(
        Host.Events,
        {"question: " + LookupText("17.4"), "drive: " + Host.Values.DriveName,
         "question: " + LookupText("17.18"), "progress: data write",
         "log: " + LookupTextWith("11.6", {"<#filesdirectories>=2"}), "caption: " + LookupText("12.12"),
         "log: " + LookupText("11.7"), "log: " + LookupText("11.8"), "finalizing", "progress closed",
         "log: " + LookupText("11.18"), "after the burn: verify 1, eject 0, shutdown 0"}));
    EXPECT_EQ(Host.Questions.Unexpected, 0);
    EXPECT_EQ(Host.Values.DataBurnCount, burns + 1);
    EXPECT_EQ(Host.WaitCursors, 0);
    EXPECT_EQ(Host.Runner->Counted.Files, 2);

    // What the disc holds reads back equal to the sources.
    auto recorder = RecorderOf("data-cdr.kvm");
    ASSERT_TRUE(recorder);
    std::string error;
    ASSERT_TRUE(recorder->Flush(error)) << error;
    const QString iso = Host.Folder.path() + "/burned.iso";
    const QString out = Host.Folder.path() + "/extracted";
    ASSERT_TRUE(vr::ExportImage(Medium("data-cdr.kvm").toStdString(), iso.toStdString(), 0, error)) << error;
    QProcess xorriso;
    xorriso.start("xorriso", {"-indev", iso, "-osirrox", "on", "-extract", "/", out});
    ASSERT_TRUE(xorriso.waitForFinished(kWaitMs));
    ASSERT_EQ(xorriso.exitCode(), 0) << xorriso.readAllStandardError().toStdString();
    EXPECT_EQ(ReadAll(out + "/one.txt"), Pattern(70000, 1));
    EXPECT_EQ(ReadAll(out + "/two.bin"), Pattern(300000, 2));
}

TEST_F(DataBurnFlowTest, EveryNoAndEveryRefusalEndsTheRunBeforeAnythingIsWritten) {
    ASSERT_TRUE(Host.UseMedium("refusal-cdr.kvm"));
    const TDiscFacts blank = Host.DiscFacts();
    ASSERT_GT(blank.FreeBlocks, 0u);

    // Nothing to burn: said at once, no question.
    ASSERT_TRUE(RunDataBurn());
    EXPECT_TRUE(InOrder(Host.Events, {"restore", "log: " + LookupText("11.5")}));
    EXPECT_TRUE(Host.Questions.Asked.isEmpty());

    // No to the first question: the disc is not even read.
    Host.AddFile(Source("kept.txt", 5000, 3));
    Host.Questions.Warnings = {{TPromptAnswer::No, false}};
    ASSERT_TRUE(RunDataBurn());
    EXPECT_EQ(Host.Events, QStringList({"question: " + LookupText("17.4")}));

    // No to closing the disc.
    Host.Questions.Warnings = {{TPromptAnswer::Yes, false}, {TPromptAnswer::No, false}};
    ASSERT_TRUE(RunDataBurn());
    EXPECT_TRUE(
        InOrder(Host.Events, {"question: " + LookupText("17.4"), "question: " + LookupText("17.18")}));
    EXPECT_FALSE(Host.Events.contains("progress: data write"));

    // A source that has gone is named, and the burn does not start without it.
    Host.AddFile(Host.Folder.path() + "/sources/gone.txt");
    Host.Questions.Warnings = {{TPromptAnswer::Yes, false}, {TPromptAnswer::Yes, false}};
    ASSERT_TRUE(RunDataBurn());
    EXPECT_TRUE(InOrder(
        Host.Events, {"progress: data write", "gone.txt", "log: " + LookupText("11.45"), "progress closed"}));
    EXPECT_TRUE(Host.LogLines().filter(LookupText("11.8")).isEmpty());

    // An image file onto one of its own sources is refused.
    Host.Tree.ClearChildren();
    const QString source = Source("image-source.txt", 4000, 4);
    Host.AddFile(source);
    Host.Questions.FileNames = {source};
    ASSERT_TRUE(RunDataBurn(true));
    EXPECT_TRUE(InOrder(
        Host.Events,
        {"save as: ",
         "log: " + LookupTextWith("11.42", {"<#error>=" + LookupTextWith("29.1", {"<#file>=" + source})})}));
    EXPECT_EQ(ReadAll(source), Pattern(4000, 4));

    EXPECT_EQ(Host.Questions.Unexpected, 0);
    EXPECT_EQ(Host.DiscFacts().FreeBlocks, blank.FreeBlocks);
}

TEST_F(DataBurnFlowTest, TooLittleRoomAsksToOverburnAndNoEndsTheRunAndEjects) {
    ASSERT_TRUE(Host.UseMedium("tiny-cdr.kvm"));
    Host.AddFile(Source("large.bin", 4 << 20, 5));
    Host.Questions.Warnings = {{TPromptAnswer::Yes, false}, {TPromptAnswer::Yes, false}};
    Host.Questions.YesNo = {false};
    ASSERT_TRUE(RunDataBurn());
    EXPECT_TRUE(InOrder(Host.Events, {"log: " + LookupText("11.7"), "log: " + LookupText("11.23"),
                                      "yes/no: " + LookupText("11.23"), "progress closed"}));
    EXPECT_TRUE(Host.LogLines().filter(LookupText("11.8")).isEmpty());
    auto recorder = RecorderOf("tiny-cdr.kvm");
    ASSERT_TRUE(recorder);
    EXPECT_TRUE(QTest::qWaitFor([&] { return recorder->TrayOpen(); }, kWaitMs));

    // Yes writes beyond the room the disc reports: the tray is closed again first, and a write that
    // fails hands nothing to the restart.
    Host.Questions.Warnings = {{TPromptAnswer::Yes, false}, {TPromptAnswer::Yes, false}};
    Host.Questions.YesNo = {true};
    ASSERT_TRUE(RunDataBurn());
    EXPECT_FALSE(recorder->TrayOpen());
    EXPECT_TRUE(InOrder(Host.Events, {"yes/no: " + LookupText("11.23"), "log: " + LookupText("11.76"),
                                      "log: " + LookupText("11.8"), "progress closed"}));
    EXPECT_FALSE(Host.LogLines().filter(LookupText("11.17").section(QChar('"'), 0, 0).trimmed()).isEmpty());
    EXPECT_TRUE(Host.Events.filter("after the burn").isEmpty());
    EXPECT_EQ(Host.Questions.Unexpected, 0);
}

TEST_F(DataBurnFlowTest, AClosedDiscIsRefusedWithOneMessageBeforeAnyQuestionAboutTheDisc) {
    ASSERT_TRUE(Host.UseMedium("closed-cdr.kvm"));
    Host.Values.CommandCloseDisc = true;
    Host.AddFile(Source("first.txt", 3000, 6));
    Host.Questions.Warnings = {{TPromptAnswer::Yes, false}, {TPromptAnswer::Yes, false}};
    ASSERT_TRUE(RunDataBurn());  // closes the disc
    ASSERT_EQ(Host.LogLines().filter(LookupText("11.18")).size(), 1);
    const TDiscFacts closed = Host.DiscFacts();

    const QString refusal = LookupText(closed.ClosedErasable ? "32.1" : "32.0");
    const QStringList discQuestions = {"question: " + LookupText("17.22"), "question: " + LookupText("17.18"),
                                       "yes/no: " + LookupText("11.23"), "yes/no: " + LookupText("11.34"),
                                       "progress: data write", "progress: conversion"};
    auto refusedAlone = [&] {
        EXPECT_TRUE(InOrder(Host.Events, {"log: " + refusal, "notice: " + refusal})) << Host.Events.join('\n').toStdString();
        for (const QString& event : Host.Events)
            for (const QString& asked : discQuestions) EXPECT_FALSE(event.startsWith(asked)) << event.toStdString();
        EXPECT_TRUE(Host.LogLines().filter(LookupText("11.25").section('<', 0, 0)).isEmpty());
        EXPECT_EQ(Host.Questions.Unexpected, 0);
    };
    Host.Questions.Warnings = {{TPromptAnswer::Yes, false}};
    ASSERT_TRUE(RunDataBurn());
    refusedAlone();

    // An audio CD onto the same disc: refused before the WAV files are made.
    Host.Tree.ClearChildren();
    const QString wav = Host.Folder.path() + "/songs/closed.wav";
    ASSERT_TRUE(WriteCdWav(wav, 1.0, 7));
    Host.AddFile(wav);
    Host.Questions.Warnings = {{TPromptAnswer::Yes, false}};
    ASSERT_TRUE(Host.Run(std::make_unique<TAudioBurnFlow>(Host, *Host.Runner)));
    refusedAlone();
    EXPECT_EQ(Host.DiscFacts().SessionCount, closed.SessionCount);
}

TEST_F(DataBurnFlowTest, AnAbortConfirmedAsTheDiscIsClosedReportsTheCompleteDiscItLeft) {
    ASSERT_TRUE(Host.UseMedium("late-abort-cdr.kvm"));
    Host.Values.CommandCloseDisc = true;
    Host.AddFile(Source("late.txt", 9000, 10));
    Host.Questions.Warnings = {{TPromptAnswer::Yes, false}, {TPromptAnswer::Yes, false}};
    Host.View->OnFinalizing = [&] { Host.Runner->Abort(); };
    ASSERT_TRUE(RunDataBurn());
    Host.View->OnFinalizing = nullptr;

    // The drive closed the disc whatever was sent: the end says so, as a success said where the
    // user looks, and the restart's verification follows.
    EXPECT_TRUE(InOrder(Host.Events, {"finalizing", "ended: " + LookupText("32.9"), "progress closed",
                                      "log: " + LookupText("32.8"), "log: " + LookupText("11.18"),
                                      "after the burn: verify 0, eject 0, shutdown 0"}))
        << Host.Events.join('\n').toStdString();
    EXPECT_TRUE(Host.LogLines().filter(LookupText("11.17").section('<', 0, 0).trimmed()).isEmpty());
    const TDiscFacts facts = Host.DiscFacts();
    EXPECT_EQ(facts.SessionCount, 1);
    EXPECT_TRUE(facts.Closed);
}

}  // namespace
}  // namespace kv::test
