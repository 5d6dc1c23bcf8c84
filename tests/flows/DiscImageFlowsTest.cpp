// Discs to images and back through the flows: a cue sheet burned from Burn ISO, a disc saved as
// ISO and as BIN/CUE and compared with what was burned, damaged sectors and an abort that leave no
// image, and a copy between two recorders that is verified, needs room and asks for a blank.
#include "FakeFlowHost.h"
#include "FlowsTestMedia.h"
#include "app/DriveSpeeds.h"
#include "app/MessageCatalogue.h"
#include "app/SizeFormat.h"
#include "flows/CopyDiscFlow.h"
#include "flows/ImageBurnFlow.h"
#include "flows/ReadImageFlow.h"
#include "platform/EngineClock.h"
#include "virtualrecorder/MediumTools.h"
#include "virtualrecorder/VirtualRecorder.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTimer>

#include <gtest/gtest.h>

namespace kv::test {
namespace {

constexpr int kImageWaitMs = 120000;
constexpr int kRawFrameBytes = 2352;

// Samples padded to whole CD frames, as a track holds them.
QByteArray FramePadded(QByteArray pcm) {
    pcm.append(QByteArray((kRawFrameBytes - pcm.size() % kRawFrameBytes) % kRawFrameBytes, '\0'));
    return pcm;
}

class DiscImageFlowsTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return Host.Folder.path() + "/" + name; }

    bool BurnImage(const QString& image) {
        Host.Questions.Warnings = {{TPromptAnswer::Yes, false}};
        return Host.Run(std::make_unique<TImageBurnFlow>(Host, *Host.Runner, image)) &&
               !Host.LogLines().filter(LookupText("11.18")).isEmpty();
    }

    // A small ISO 9660 image of a few files, made by xorriso.
    QString MakeIso() {
        const QString source = Path("iso-source");
        EXPECT_TRUE(WriteFile(source + "/one.bin", Pattern(300000, 1)));
        EXPECT_TRUE(WriteFile(source + "/sub/two.txt", Pattern(5000, 2)));
        const QString iso = Path("source.iso");
        QProcess xorriso;
        xorriso.start("xorriso", {"-as", "mkisofs", "-quiet", "-R", "-no-pad", "-o", iso, source});
        EXPECT_TRUE(xorriso.waitForFinished(kImageWaitMs) && xorriso.exitCode() == 0);
        return iso;
    }

    bool ReadImage(const TReadImageChoices& choices) {
        return Host.Run(std::make_unique<TReadImageFlow>(Host, *Host.Runner, choices));
    }

    // The files of the folder, temporary ones included.
    QStringList FilesIn(const QString& folder) const { return QDir(folder).entryList(QDir::Files); }

    TFakeFlowHost Host;
};

TEST_F(DiscImageFlowsTest, ACueSheetBurnedFromBurnIsoReadsBackAsBinCueWithItsSamples) {
    ASSERT_TRUE(Host.UseMedium("cue-cdr.kvm"));
    QByteArray samples;
    QString sheet = "TITLE \"Flows\"\n";
    for (int track = 1; track <= 3; ++track) {
        const QString wav = Path(QString("track%1.wav").arg(track));
        ASSERT_TRUE(WriteCdWav(wav, 1.5 + track * 0.3, track));
        samples += FramePadded(ReadAll(wav).mid(44));
        sheet += QString("FILE \"track%1.wav\" WAVE\n  TRACK %2 AUDIO\n    INDEX 01 00:00:00\n")
                     .arg(track)
                     .arg(track, 2, 10, QChar('0'));
    }

    // What cannot be burned is refused by name before anything is asked or touched.
    const QString refused = Path("refused.cue");
    ASSERT_TRUE(WriteFile(refused, (sheet + "POSTGAP 00:02:00\n").toUtf8()));
    ASSERT_TRUE(Host.Run(std::make_unique<TImageBurnFlow>(Host, *Host.Runner, refused)));
    ASSERT_EQ(Host.LogLines().size(), 1);
    EXPECT_TRUE(Host.LogLines().front().startsWith(LookupTextWith("35.31", {"<#reason>="}))) << Host.LogLines().front().toStdString();
    EXPECT_TRUE(Host.Questions.Asked.isEmpty());

    // Burn ISO asks for an image or a cue sheet; the cue sheet's stream (track 1's two-second
    // pre-gap included) is the size the write starts with; its TITLE goes into the lead-in.
    const QString cue = Path("disc.cue");
    ASSERT_TRUE(WriteFile(cue, sheet.toUtf8()));
    Host.Questions.FileNames = {cue};
    Host.Values.VerifyData = true;
    Host.Questions.Warnings = {{TPromptAnswer::Yes, false}};
    ASSERT_TRUE(Host.Run(std::make_unique<TImageBurnFlow>(Host, *Host.Runner, QString())));
    EXPECT_TRUE(InOrder(Host.Events,
                        {"progress: data write", "log: " + LookupTextWith("11.63", {"<#file>=" + cue}),
                         "log: " + LookupTextWith("11.9", {"<#size>=" + FormatMegabytes(samples.size() + 150 * kRawFrameBytes)}),
                         "progress closed", "log: " + LookupText("11.18")}));
    EXPECT_FALSE(Host.View->Chosen.Verify);

    // Saved as BIN/CUE, the disc gives back the three tracks' samples from block 0.
    TReadImageChoices choices;
    choices.File = Path("read/back.cue");
    choices.Format = jobs::TImageFormat::BinCue;
    QDir().mkpath(Path("read"));
    ASSERT_TRUE(ReadImage(choices));
    const int sectors = static_cast<int>(samples.size() / kRawFrameBytes);
    EXPECT_TRUE(InOrder(Host.Events,
                        {"progress: read image", "image file: " + choices.File,
                         "log: " + LookupTextWith("35.10", {"<#format>=BIN/CUE", "<#sectors>=" + QString::number(sectors)}),
                         "log: " + LookupTextWith("35.14", {"<#file>=" + Path("read/back.bin")}), "progress closed"}));
    EXPECT_DOUBLE_EQ(Host.View->SpeedUnit, kCdSpeedUnit);
    EXPECT_EQ(ReadAll(Path("read/back.bin")), samples);
    const QString readSheet = QString::fromUtf8(ReadAll(choices.File));
    EXPECT_EQ(readSheet.count("TRACK"), 3) << readSheet.toStdString();
    EXPECT_EQ(Host.Questions.Unexpected, 0);
}

TEST_F(DiscImageFlowsTest, AnIsoBurnedToACdrIsSavedAsTheSameIso) {
    ASSERT_TRUE(Host.UseMedium("iso-cdr.kvm"));
    const QString iso = MakeIso();
    ASSERT_TRUE(BurnImage(iso));
    TReadImageChoices choices;
    choices.File = Path("back.iso");
    ASSERT_TRUE(ReadImage(choices));
    EXPECT_TRUE(InOrder(Host.Events, {"log: " + LookupTextWith("35.10", {"<#format>=ISO", "<#sectors>=" +
                                                                          QString::number(ReadAll(iso).size() / 2048)}),
                                      "log: " + LookupTextWith("35.14", {"<#file>=" + choices.File})}));
    EXPECT_EQ(ReadAll(choices.File), ReadAll(iso));
    EXPECT_EQ(Host.Status, LookupTextWith("35.14", {"<#file>=" + choices.File}));
}

TEST_F(DiscImageFlowsTest, UnreadableSectorsStopTheReadOrBecomeListedZerosAndAnAbortLeavesNoImage) {
    ASSERT_TRUE(Host.UseMedium("damaged-cdr.kvm"));
    const QByteArray iso = ReadAll(MakeIso());
    ASSERT_TRUE(BurnImage(Path("source.iso")));
    auto recorder = RecorderOf("damaged-cdr.kvm");
    ASSERT_TRUE(recorder);
    recorder->Faults().Sectors().Add(40, 3, false);
    const QString folder = Path("damaged");
    QDir().mkpath(folder);
    TReadImageChoices choices;
    choices.File = folder + "/damaged.iso";
    choices.Retries = 1;

    // Stopped: the sectors are named, and nothing is left in the folder.
    ASSERT_TRUE(ReadImage(choices));
    EXPECT_TRUE(InOrder(Host.Events, {"log: " + LookupTextWith("35.12", {"<#sector>=40", "<#speed>="}).section(' ', 0, 4),
                                      "progress closed", "log: " + LookupTextWith("35.29", {"<#sectors>=40-42"})}));
    EXPECT_TRUE(FilesIn(folder).isEmpty()) << FilesIn(folder).join(' ').toStdString();

    // Filled: every damaged sector is logged, the image holds zeros there and the rest as burned.
    choices.FillUnreadable = true;
    ASSERT_TRUE(ReadImage(choices));
    const QString list = choices.File + ".unreadable.txt";
    EXPECT_TRUE(InOrder(Host.Events, {"log: " + LookupTextWith("35.11", {"<#sector>=40"}),
                                      "log: " + LookupTextWith("35.11", {"<#sector>=42"}),
                                      "log: " + LookupTextWith("35.13", {"<#count>=3", "<#file>=" + list}),
                                      "log: " + LookupTextWith("35.14", {"<#file>=" + choices.File})}));
    QByteArray expected = iso;
    expected.replace(40 * 2048, 3 * 2048, QByteArray(3 * 2048, '\0'));
    EXPECT_EQ(ReadAll(choices.File), expected);
    ASSERT_TRUE(QFile::remove(choices.File) && QFile::remove(list));

    // Aborted while a long damaged stretch is retried (at the drive's own pace, so that the abort
    // comes first): the read ends, and leaves no image either.
    recorder->Faults().Sectors().Clear();
    recorder->Faults().Sectors().Add(100, 3000, false);
    EngineClock::SetTimeScale(1);
    choices.FillUnreadable = false;
    choices.Retries = 100;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!Host.LogLines().filter(LookupTextWith("35.12", {"<#sector>=100"}).section(' ', 0, 4)).isEmpty())
            Host.Runner->Abort();
    });
    watch.start(10);
    const bool ended = ReadImage(choices);
    EngineClock::SetTimeScale(100);
    watch.stop();
    ASSERT_TRUE(ended);
    EXPECT_TRUE(Host.LogLines().filter(LookupText("35.29").section(':', 0, 0)).isEmpty());
    EXPECT_TRUE(Host.LogLines().filter(LookupText("35.14").section(':', 0, 0)).isEmpty());
    EXPECT_TRUE(FilesIn(folder).isEmpty()) << FilesIn(folder).join(' ').toStdString();
}

TEST_F(DiscImageFlowsTest, ADiscIsCopiedToASecondRecorderVerifiedNeedsRoomAndAsksForABlankInOneDrive) {
    ASSERT_TRUE(Host.UseMedium("copy-source-cdr.kvm"));
    const QString iso = MakeIso();
    ASSERT_TRUE(BurnImage(iso));
    TCopyDiscChoices choices;
    choices.TargetDrive = IdentityOf("copy-target-cdr.kvm");
    choices.TempFolder = Path("temporary");
    ASSERT_FALSE(choices.TargetDrive.isEmpty());

    // No folder with room: said with the sizes, before anything is read or written.
    Host.Space.FreeBytes = [](const QString&) { return qint64{0}; };
    ASSERT_TRUE(Host.Run(std::make_unique<TCopyDiscFlow>(Host, *Host.Runner, choices)));
    const QString noRoom = LookupTextWith("35.32", {"<#folder>=" + choices.TempFolder}).section(':', 0, 0);
    EXPECT_TRUE(InOrder(Host.Events, {"progress: copy disc", "progress closed", "log: " + noRoom, "notice: " + noRoom}));
    EXPECT_EQ(Host.DiscFacts().SessionCount, 1);  // the data burner is back on the original

    // To a blank in the other recorder: read, written, verified against the image, which goes.
    Host.Space.FreeBytes = [](const QString&) { return qint64{1} << 40; };
    ASSERT_TRUE(Host.Run(std::make_unique<TCopyDiscFlow>(Host, *Host.Runner, choices)));
    EXPECT_TRUE(InOrder(Host.Events, {"progress: copy disc", "log: " + LookupTextWith("35.10", {"<#format>=ISO"}).section(':', 0, 0),
                                      "log: " + LookupText("35.41"), "log: " + LookupText("35.42"),
                                      "log: " + LookupText("35.43"), "progress closed", "log: " + LookupText("35.45")}));
    EXPECT_TRUE(FilesIn(choices.TempFolder).isEmpty());
    auto target = RecorderOf("copy-target-cdr.kvm");
    ASSERT_TRUE(target);
    std::string error;
    ASSERT_TRUE(target->Flush(error)) << error;
    const QString exported = Path("copy.iso");
    ASSERT_TRUE(vr::ExportImage(Medium("copy-target-cdr.kvm").toStdString(), exported.toStdString(), 0, error)) << error;
    EXPECT_EQ(ReadAll(exported).left(ReadAll(iso).size()), ReadAll(iso));

    // In the same drive the original comes out and a blank is asked for; No ends the copy.
    choices.TargetDrive = Host.Values.DriveName;
    Host.Questions.YesNo = {false};
    ASSERT_TRUE(Host.Run(std::make_unique<TCopyDiscFlow>(Host, *Host.Runner, choices)));
    EXPECT_TRUE(InOrder(Host.Events, {"yes/no: " + LookupTextWith("35.40", {"<#drive>=" + choices.TargetDrive}),
                                      "progress closed", "log: " + LookupTextWith("11.42", {"<#error>="}).section('(', 0, 0)}));
    EXPECT_TRUE(FilesIn(choices.TempFolder).isEmpty());
    EXPECT_EQ(Host.Questions.Unexpected, 0);
}

// The engine at its own pace, as a user meets it: the image is read at the drive's read rate and
// the copy is written and verified in real time, with the same results as in the quick runs.
TEST_F(DiscImageFlowsTest, AtNormalSpeedADiscIsSavedAndCopied) {
    ASSERT_TRUE(Host.UseMedium("normal-cdr.kvm"));
    const QString iso = MakeIso();
    ASSERT_TRUE(BurnImage(iso));
    EngineClock::SetTimeScale(1);
    const auto quick = qScopeGuard([] { EngineClock::SetTimeScale(100); });

    TReadImageChoices read;
    read.File = Path("normal.iso");
    ASSERT_TRUE(ReadImage(read));
    EXPECT_EQ(ReadAll(read.File), ReadAll(iso));

    TCopyDiscChoices copy;
    copy.TargetDrive = IdentityOf("normal-target-cdr.kvm");
    copy.TempFolder = Path("normal-temporary");
    Host.Space.FreeBytes = [](const QString&) { return qint64{1} << 40; };
    ASSERT_TRUE(Host.Run(std::make_unique<TCopyDiscFlow>(Host, *Host.Runner, copy)));
    EXPECT_TRUE(InOrder(Host.Events, {"log: " + LookupText("35.42"), "progress closed", "log: " + LookupText("35.45")}));
    auto target = RecorderOf("normal-target-cdr.kvm");
    ASSERT_TRUE(target);
    std::string error;
    ASSERT_TRUE(target->Flush(error)) << error;
    const QString exported = Path("normal-copy.iso");
    ASSERT_TRUE(vr::ExportImage(Medium("normal-target-cdr.kvm").toStdString(), exported.toStdString(), 0, error)) << error;
    EXPECT_EQ(ReadAll(exported).left(ReadAll(iso).size()), ReadAll(iso));
}

}  // namespace
}  // namespace kv::test
