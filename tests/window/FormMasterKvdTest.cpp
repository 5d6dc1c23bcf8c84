// The main window in this process (offscreen), on virtual recorders of a prepared home. The
// recorders spin up for 10 s of engine time after a medium goes in; engine time runs 20 times
// faster than the clock on the wall.
#include "WindowTestSupport.h"
#include "app/MessageCatalogue.h"
#include "window/AboutWindow.h"
#include "window/EasyToolbar.h"
#include "window/FormMasterKvd.h"
#include "window/KelvadoreApplication.h"
#include "window/ListComboBox.h"
#include "window/Toolbars.h"
#include "dialogs/DialogPrompts.h"
#include "dialogs/FormWarning.h"
#include "dialogs/FormBurnInProgress.h"
#include "app/Confirmations.h"
#include "audiowrite/TCueBurner.h"
#include "datawrite/TZelBurner.h"
#include <QLineEdit>
#include <QProcess>
#include <QTcpSocket>
#include "app/MailSender.h"
#include "dialogs/FormSendLanguage.h"
#include "dialogs/FormSelectLanguage.h"
#include <QPlainTextEdit>
#include <QRegularExpression>
#include "dialogs/FormEditLanguage.h"
#include "flows/DriveSteps.h"
#include "flows/FlowRunner.h"
#include "app/LanguagePacks.h"
#include "platform/EngineClock.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QProgressBar>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>

#include <atomic>
#include <thread>

namespace kv {
namespace {

using I = TActionId;

constexpr int kDriveWaitMs = 30000;  // generous: the machine may be loaded

class TRecordingUrlOpener : public IUrlOpener {
public:
    QList<QUrl> Opened;
    bool Open(const QUrl& url) override {
        Opened.append(url);
        return true;
    }
};

class TPaintCounter : public QObject {
public:
    int Paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++Paints;
        return false;
    }
};

// Pixels of full strength, in colour or near black: a picture drawn for a disabled button has none.
int StrongPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 128 && ((c.hsvSaturationF() > 0.4 && c.valueF() > 0.3) || c.lightness() < 60)) ++count;
        }
    return count;
}

QString LetterOf(const QString& identity) { return identity.mid(identity.indexOf(',') + 1, 1); }

}  // namespace

class FormMasterKvdTest : public QObject {
    Q_OBJECT

public:
    explicit FormMasterKvdTest(test::TPreparedHome& home) : Home(home) {}

private:
    test::TPreparedHome& Home;
    QString CdrPath;
    QString CdrIdentity;
    QString EmptyIdentity;
    test::TScriptedPrompts Prompts;
    TRecordingUrlOpener Urls;

    std::unique_ptr<TFormMasterKvd> Start(const QString& driveName, QList<QPair<QString, QString>> rows = {}) {
        rows.prepend({"1.4", driveName});
        Home.WriteConfig(rows);
        Prompts = {};
        TFormMasterKvd::TServices services;
        services.Prompts = &Prompts;
        services.UrlOpener = &Urls;
        auto form = std::make_unique<TFormMasterKvd>(services);
        QSignalSpy ready(form.get(), &TFormMasterKvd::DrivesReady);
        form->FormCreate({});
        if (!QTest::qWaitFor([&] { return ready.count() > 0; }, kDriveWaitMs)) return nullptr;
        return form;
    }

    static bool WaitIdle(TFormMasterKvd& form) {
        return QTest::qWaitFor([&] { return !form.DriveWorkPending(); }, kDriveWaitMs);
    }

    // The list is measured when a disc is ready; while the drive still spins up it offers "Max"
    // and measures again at the next drop-down.
    static bool MeasureSpeeds(TFormMasterKvd& form) {
        return QTest::qWaitFor(
            [&] {
                if (!form.DriveWorkPending() && !form.SpeedListMeasured()) {
                    form.ComboBoxCommandDriveSpeed->showPopup();
                    form.ComboBoxCommandDriveSpeed->hidePopup();
                }
                return form.SpeedListMeasured() && !form.DriveWorkPending();
            },
            kDriveWaitMs);
    }

    static QStringList Items(const QComboBox& box) {
        QStringList items;
        for (int i = 0; i < box.count(); ++i) items.append(box.itemText(i));
        return items;
    }

private slots:
    void initTestCase() {
        CdrPath = Home.CreateMedium("blank-cdr.kvm", "cdr");
        QVERIFY(!CdrPath.isEmpty());
        QVERIFY(!Home.CreateMedium("second-dvdplusr.kvm", "dvdplusr").isEmpty());  // told apart in the drive box
        CdrIdentity = test::ListedIdentityOfMedium(CdrPath);
        EmptyIdentity = test::ListedIdentity("virtual:recorder");
        QVERIFY2(!CdrIdentity.isEmpty() && !EmptyIdentity.isEmpty(), "the virtual recorders are listed");
    }

    void startsOnTheStoredRecorderMeasuresItsSpeedsAndSavesOnClose() {
        auto form = Start(CdrIdentity, {{"5.2", "16"}});
        QVERIFY(form);
        const QString letter = LetterOf(CdrIdentity);
        QCOMPARE(form->windowTitle(), "Kelvadore CD & DVD  - " + CdrIdentity + " - " + letter + ":");
        // The entry names the recorder's medium file beside the identity, which the setting keeps;
        // the empty recorder has no file to name.
        QCOMPARE(form->ComboBoxDriveName->currentData().toString(), CdrIdentity);
        QCOMPARE(form->ComboBoxDriveName->currentText(), CdrIdentity + QString::fromUtf8("  \u2014  blank-cdr.kvm"));
        QCOMPARE(form->ComboBoxDriveName->itemData(form->ComboBoxDriveName->currentIndex(), Qt::ToolTipRole).toString(),
                 CdrPath);
        const int empty = form->ComboBoxDriveName->findData(EmptyIdentity);
        QVERIFY(empty >= 0);
        QCOMPARE(form->ComboBoxDriveName->itemText(empty), EmptyIdentity);
        QCOMPARE(form->Settings().DriveName, CdrIdentity);
        QVERIFY(form->ComboBoxDriveName->findText(QString::fromUtf8("\u2014  second-dvdplusr.kvm"), Qt::MatchEndsWith) >= 0);
        form->ComboBoxDriveName->showPopup();
        test::SaveScreenshot(*form->ComboBoxDriveName->view()->window(), "drive-list");
        form->ComboBoxDriveName->hidePopup();
        QCOMPARE(form->StatusPanels[2]->text(), QString("Kelvadore ready!!!"));
        const QString log = form->EmbeddedWBMemoWarning->toPlainText();
        QVERIFY2(log.contains(CdrIdentity + " - " + letter + ":\n"), qPrintable(log));
        QVERIFY(log.trimmed().endsWith(" - Ready"));
        QVERIFY(Home.LogLines().last().endsWith(" - Ready"));
        // The request interface is named in the debug record only.
        QVERIFY2(!log.contains("ZLASPI"), qPrintable(log));
        QVERIFY(form->DebugLog.join('\n').contains("ZLASPI32"));
        QStringList easyButtons;
        for (QAction* action : form->ToolBarEasy->actions()) easyButtons.append(action->text());
        QCOMPARE(easyButtons, QStringList({"New", "Fly Window", "Add", "Burn Data", "Burn Audio", "Erase", "Eject",
                                           "Load", "Delete Selected", "Rename", "Paste", "Language", "Preferences",
                                           "Print"}));
        test::SaveScreenshot(*form, "window-started");

        QVERIFY(MeasureSpeeds(*form));
        QCOMPARE(Items(*form->ComboBoxCommandDriveSpeed),
                 QStringList({"Max", "48 X (8,467 KB/s)", "40 X (7,056 KB/s)", "32 X (5,644 KB/s)", "24 X (4,233 KB/s)",
                              "16 X (2,822 KB/s)", "10 X (1,764 KB/s)", "4 X (705 KB/s)"}));
        QCOMPARE(form->ComboBoxCommandDriveSpeed->currentText(), QString("16 X (2,822 KB/s)"));
        form->ComboBoxCommandDriveSpeed->setCurrentIndex(4);
        emit form->ComboBoxCommandDriveSpeed->activated(4);
        QCOMPARE(form->Settings().CommandDriveSpeed, 24);

        // A disc change in another drive keeps the list; one in the chosen drive measures again.
        form->MediaChanged(letter == "Z" ? "Y" : "Z");
        QVERIFY(form->SpeedListMeasured());
        form->MediaChanged(letter.toLower());
        QVERIFY(!form->SpeedListMeasured());

        QVERIFY(WaitIdle(*form));
        QFile::remove(Home.ConfigPath());
        form->close();
        QCOMPARE(Home.StoredSetting("5.2").value_or(""), QString("24"));
        QCOMPARE(Home.StoredSetting("1.4").value_or(""), CdrIdentity);
        QCOMPARE(Prompts.Unexpected, 0);
    }

    void helpOffersAboutWithTheLibrariesAndAUserGuideInEnglishAndFrench() {
        auto form = Start(CdrIdentity);
        QVERIFY(form);
        form->MainMenuItemHelpAbout->trigger();
        auto* about = form->findChild<QDialog*>("FormAbout");
        QVERIFY(about);
        const QString text = about->findChild<QTextBrowser*>()->toPlainText();
        for (const QString& named : {QString(KV_PROGRAM_VERSION), QString("Qt"), QString("FFmpeg"), QString("libudev"),
                                     QString("zlib"), QString("LGPL")})
            QVERIFY2(text.contains(named), qPrintable(named + " in " + text));
        test::SaveScreenshot(*about, "about");
        about->close();

        form->MainMenuItemHelpGuide->trigger();
        auto* guide = form->findChild<QDialog*>("FormUserGuide");
        QVERIFY(guide);
        const QString english = guide->findChild<QTextBrowser*>()->toPlainText();
        for (const char* topic : {"Virtual recorders", "Verification", "BISO", "cdrom", "udev"})
            QVERIFY2(english.contains(topic), topic);
        test::SaveScreenshot(*guide, "user-guide");
        guide->close();
        QFile french(UserGuidePath("FRENCH"));
        QVERIFY(french.open(QIODevice::ReadOnly));
        const QString frenchText = QString::fromUtf8(french.readAll());
        QVERIFY(frenchText.contains("Guide de l'utilisateur") && frenchText.contains("Graveurs virtuels"));
    }

    void aStoredDriveNoLongerListedGivesWayToTheFirstEntry() {
        auto form = Start("9:9:9,Z: NO LONGER THERE");
        QVERIFY(form);
        QCOMPARE(form->ComboBoxDriveName->currentIndex(), 0);
        QCOMPARE(form->Settings().DriveName, form->ComboBoxDriveName->itemData(0).toString());
    }

    void anOpenEmptyTrayIsClosedPolledAndThenNoticed() {
        auto form = Start(EmptyIdentity);
        QVERIFY(form);
        form->Action(I::Eject)->trigger();
        QVERIFY(WaitIdle(*form));
        QVERIFY(form->EmbeddedWBMemoWarning->toPlainText().contains("Eject disc done"));
        std::optional<bool> ready;
        const int64_t started = EngineClock::NowMs();
        EnsureDiscReady(form->Flows().Host(), [&](bool answer) { ready = answer; });
        QVERIFY(QTest::qWaitFor([&] { return ready.has_value(); }, kDriveWaitMs));
        QCOMPARE(*ready, false);
        QCOMPARE(Prompts.Notices, QStringList({"Please insert a Disc!!!"}));
        QVERIFY(EngineClock::NowMs() - started < 15000 + 30000);  // polled 15 s at most, plus slack
    }

    void theWindowPaintsWhileTheDriveSpinsUp() {
        auto form = Start(CdrIdentity);
        QVERIFY(form);
        TPaintCounter counter;
        QWidget* view = form->EmbeddedWBMemoWarning->viewport();
        view->installEventFilter(&counter);
        QTimer repaint;
        connect(&repaint, &QTimer::timeout, view, qOverload<>(&QWidget::update));
        repaint.start(20);

        // A medium going in spins the drive up for 10 s (engine time); the readiness check waits.
        const int64_t started = EngineClock::NowMs();
        form->Action(I::VirtualEject)->trigger();
        Prompts.FileNames = {CdrPath};
        form->Action(I::VirtualInsertFile)->trigger();
        std::optional<bool> ready;
        int paintsWhileWaiting = 0;
        EnsureDiscReady(form->Flows().Host(), [&](bool answer) {
            ready = answer;
            paintsWhileWaiting = counter.Paints;
        });
        QVERIFY(QTest::qWaitFor([&] { return ready.has_value(); }, kDriveWaitMs));
        QCOMPARE(*ready, true);
        QVERIFY(EngineClock::NowMs() - started >= 9000);
        QVERIFY2(paintsWhileWaiting >= 3, qPrintable(QString::number(paintsWhileWaiting)));
        view->removeEventFilter(&counter);
    }

    void virtualMediaComeAndGoThroughTheMediaChangePath() {
        auto form = Start(CdrIdentity);
        QVERIFY(form);
        QVERIFY(form->VirtualRecorderSelected());
        QVERIFY(MeasureSpeeds(*form));

        form->Action(I::VirtualEject)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return !form->SpeedListMeasured(); }, 5000));
        QVERIFY(form->EmbeddedWBMemoWarning->toPlainText().contains("Medium taken out of the virtual recorder: " + CdrPath));

        Prompts.Choices = {QString("DVD+RW")};
        form->Action(I::VirtualNewMedium)->trigger();
        const QString created = Home.VirtualFolder + "/dvdplusrw-1.kvm";
        QVERIFY(QTest::qWaitFor(
            [&] { return form->EmbeddedWBMemoWarning->toPlainText().contains("virtual recorder: " + created); }, 5000));
        QVERIFY(QFileInfo::exists(created));

        // A BD medium, named with its capacity; its speeds count 4,495 KB/s to the X.
        form->Action(I::VirtualEject)->trigger();
        QVERIFY(WaitIdle(*form));
        Prompts.Choices = {QString("BD-R (25 GB)")};
        form->Action(I::VirtualNewMedium)->trigger();
        const QString bd = Home.VirtualFolder + "/bdr-1.kvm";
        QVERIFY(QTest::qWaitFor(
            [&] { return form->EmbeddedWBMemoWarning->toPlainText().contains("virtual recorder: " + bd); }, 5000));
        QVERIFY(QTest::qWaitFor([&] { return !form->SpeedListMeasured(); }, 5000));
        QVERIFY(MeasureSpeeds(*form));
        QCOMPARE(Items(*form->ComboBoxCommandDriveSpeed),
                 QStringList({"Max", "12 X (53,940 KB/s)", "10 X (44,950 KB/s)", "8 X (35,960 KB/s)", "6 X (26,970 KB/s)",
                              "4 X (17,980 KB/s)", "2 X (8,990 KB/s)"}));

        const QString iso = QDir(Home.Home).filePath("blank.iso");
        Prompts.FileNames = {iso, CdrPath};
        form->Action(I::VirtualExport)->trigger();
        form->Action(I::VirtualInsertFile)->trigger();
        QVERIFY(WaitIdle(*form));
        QVERIFY(QFileInfo::exists(iso));
        QVERIFY(form->EmbeddedWBMemoWarning->toPlainText().contains("Medium inserted into the virtual recorder: " + CdrPath));
        QCOMPARE(Prompts.Unexpected, 0);
        test::SaveScreenshot(*form, "window-virtual-recorder");
    }

    void theLogShowsTextAsTextAndOpensOnlyWebLinks() {
        auto form = Start(CdrIdentity);
        QVERIFY(form);
        // The burner's debug lines are taken for a moment after the first preparation only (the
        // moment is opened again here, so that a slow machine cannot have closed it already).
        form->DebugCaptureOver = false;
        form->TimerHideZelBurnerDebugMessage.start();
        form->LogDocument().Now = [] { return QTime(10, 0, 0); };
        form->BurnerDebugMessage("ASPI ok");
        form->BurnerDebugMessage(">>> detail");
        QCOMPARE(form->DebugLog.mid(form->DebugLog.size() - 2), QStringList({"10:00:00 - ASPI ok", "detail"}));
        QVERIFY(form->EmbeddedWBMemoWarning->toPlainText().endsWith("10:00:00 - 10:00:00 - ASPI ok\n10:00:00 - detail\n"));
        QVERIFY(QTest::qWaitFor([&] { return form->DebugCaptureOver; }, 5000));
        const qsizetype captured = form->DebugLog.size();
        form->BurnerDebugMessage("later");
        QCOMPARE(form->DebugLog.size(), captured);

        form->AddLog("<b>x<b>&y.iso");
        QVERIFY(form->EmbeddedWBMemoWarning->toPlainText().contains(" - <b>x<b>&y.iso"));
        const QString before = form->EmbeddedWBMemoWarning->toHtml();
        Urls.Opened.clear();
        form->LogLinkClicked(QUrl("javascript:alert(1)"));
        form->LogLinkClicked(QUrl("file:///etc/passwd"));
        QVERIFY(Urls.Opened.isEmpty());
        form->LogLinkClicked(QUrl("kvdlink://http://example.org/search?q=a&b"));
        QCOMPARE(Urls.Opened, QList<QUrl>({QUrl("http://example.org/search?q=a&b")}));
        QCOMPARE(form->EmbeddedWBMemoWarning->toHtml(), before);
        form->AddHelpLink("unabletorecognizecdburner", 0);
        form->LogLinkClicked(QUrl("kvdhelp:unabletorecognizecdburner"));
        auto* page = form->findChild<QWidget*>("FormHelpPage");
        QVERIFY(page && page->isVisible());
        QVERIFY(page->findChild<QTextBrowser*>()->toPlainText().contains("cdrom"));
    }

    void anOperationDisablesDriveCommandsEverywhere() {
        auto form = Start(CdrIdentity);
        QVERIFY(form);
        QVERIFY(form->Action(I::Eject)->isEnabled());
        form->SetOperation(TOperation::WritingData);
        for (QAction* action : form->TrayMenu->actions()) {
            if (action->isSeparator()) continue;
            const bool windowCommand = action == form->Action(I::ExitKvd) || action == form->Action(I::Minimize);
            QCOMPARE(action->isEnabled(), windowCommand);
        }
        QVERIFY(!form->Action(I::VirtualEject)->isEnabled());
        QVERIFY(!form->ComboBoxDriveName->isEnabled());
        form->SetOperation(TOperation::Idle);
        QVERIFY(form->Action(I::Eject)->isEnabled());

        form->Action(I::Minimize)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return form->Action(I::Restore)->isEnabled(); }, 5000));
        QVERIFY(!form->Action(I::Minimize)->isEnabled());
        form->Action(I::Restore)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return form->Action(I::Minimize)->isEnabled(); }, 5000));
    }

    void theFirstRunAsksForTheModeAndExpertModeShowsTheExpertBars() {
        QTemporaryDir fresh;
        Prompts = {};
        Prompts.YesNo = {false};
        TFormMasterKvd::TServices services;
        services.Prompts = &Prompts;
        TApplicationCore::TOptions options;
        options.Folders = TWorkingFolders::ForProgramFolder(fresh.path() + "/");
        options.KeyStorePath = fresh.path() + "/registry";
        services.CoreOptions = options;
        TFormMasterKvd form(services);
        form.FormCreate({});
        QVERIFY(form.FirstRun);
        QCOMPARE(Prompts.Asked.size(), 2);
        QCOMPARE(Prompts.Asked[0].Kind, QString("language"));  // closed without a choice: English
        QCOMPARE(form.Settings().Language, QString("ENGLISH"));
        QCOMPARE(Prompts.Asked[1].Text, QString("Activate Easy Mode (for beginners users) ?"));
        QVERIFY(form.Settings().ExpertMode);
        QVERIFY(form.ToolBarDrive->isVisible() && form.ToolBarQueue->isVisible());
        QVERIFY(!form.ToolBarEasy->isVisible());
        QVERIFY(form.Action(I::EasyMode)->isVisible() && !form.Action(I::ExpertMode)->isVisible());
        QVERIFY(WaitIdle(form));
    }

    // The first run installs the packs the program carries and loads the choice; every pack has
    // each English entry with its placeholders; the differences report of a translation lacking
    // one entry; the editor saves and loads on Yes.
    void languagesAreInstalledChosenCheckedAndEdited() {
        const TCatalogue& english = Messages().Default();
        const QRegularExpression marks("<#[^>]*>|%0D|%0A|%25", QRegularExpression::CaseInsensitiveOption);
        auto marksOf = [&](const QString& text) {
            QStringList found;
            for (auto it = marks.globalMatch(text); it.hasNext();) found.append(it.next().captured().toUpper());
            found.sort();
            return found;
        };
        QVERIFY(LanguagePackNames().contains("FRENCH"));
        TFormSelectLanguage chooser(LanguagePackNames());
        QCOMPARE(chooser.Choice(), QString("ENGLISH"));
        test::SaveScreenshot(chooser, "select-language");
        for (const QString& name : LanguagePackNames()) {
            if (name == "ENGLISH") continue;
            QFile file(":/languages/" + name + ".ini");
            QVERIFY(file.open(QIODevice::ReadOnly));
            const TCatalogue pack = TCatalogue::FromBytes(file.readAll(), name);
            for (const QString& section : english.Sections())
                for (const QString& item : english.Items(section))
                    QVERIFY2(marksOf(pack.Text(section, item)) == marksOf(english.Text(section, item)) &&
                                 !pack.Text(section, item).isEmpty() == !english.Text(section, item).isEmpty(),
                             qPrintable(name + " " + section + "." + item));
        }

        QTemporaryDir fresh;
        Prompts = {};
        Prompts.Choices = {QString("FRENCH")};
        Prompts.YesNo = {true};
        TFormMasterKvd::TServices services;
        services.Prompts = &Prompts;
        TApplicationCore::TOptions options;
        options.Folders = TWorkingFolders::ForProgramFolder(fresh.path() + "/");
        options.KeyStorePath = fresh.path() + "/registry";
        services.CoreOptions = options;
        TFormMasterKvd form(services);
        form.FormCreate({});
        const QString folder = options.Folders.LanguagesFolder;
        QCOMPARE(form.Settings().Language, QString("FRENCH"));
        QVERIFY(QFileInfo::exists(folder + "FRENCH.ini") && QFileInfo::exists(folder + "ENGLISH.ini"));
        QVERIFY(LookupText("2.14") != english.Text("2", "14"));

        // A French file lacking only 11.5.
        QStringList lines = TCatalogue::ReadFile(folder + "FRENCH.ini", "FRENCH")->Lines();
        bool inEleven = false;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines[i].startsWith('[')) inEleven = lines[i] == "[11]";
            if (inEleven && lines[i].startsWith("5=")) lines.removeAt(i--);
        }
        QVERIFY(TCatalogue(lines).WriteFile(folder + "FRENCH.ini"));
        Prompts.Notices.clear();
        const QString report = form.Languages().WriteDifferencesReport("french");
        QCOMPARE(report, folder + "Differences_FRENCH.txt");
        QCOMPARE(Prompts.Notices.size(), 1);
        QVERIFY(Prompts.Notices[0].endsWith("\r\r" + report));
        QFile reportFile(report);
        QVERIFY(reportFile.open(QIODevice::ReadOnly));
        const QStringList written = QString::fromUtf8(reportFile.readAll()).split("\r\n");
        QCOMPARE(written.mid(0, 2), QStringList({"Section [1] OK", ""}));
        const qsizetype eleven = written.indexOf("[11]");
        QVERIFY(eleven > 0);
        QCOMPARE(written.mid(eleven, 3), QStringList({"[11]", "5=No files!!!", ""}));
        QCOMPARE(written.filter(QRegularExpression("^Section \\[\\d+\\] OK$")).size(), english.Sections().size() - 1);
        QVERIFY(form.Languages().WriteDifferencesReport("ENGLISH").isEmpty());

        // The editor: Yes saves the memo and loads the language.
        form.Languages().EditLanguage("FRENCH");
        auto* editor = qobject_cast<TFormEditLanguage*>(form.Languages().LanguageEditor.data());
        QVERIFY(editor);
        QString text = editor->Memo->toPlainText();
        text.replace(QRegularExpression("\n14=[^\n]*\n"), "\n14=Graver maintenant\n");
        editor->Memo->setPlainText(text);
        Prompts.YesNo = {true};
        editor->close();
        QCOMPARE(LookupText("2.14"), QString("Graver maintenant"));
        QVERIFY(Messages().LoadLanguage("ENGLISH"));
        QVERIFY(WaitIdle(form));
    }

    // A submission: an address without a point is refused; with recipients it reaches a local SMTP
    // server through the exchanger a name server gives (one without MX is passed over, the lowest
    // preference goes first) with its exact body lines and the language file as attachment; without
    // recipients it is kept as a file.
    void aTranslationIsSubmittedByMailOrKeptAsAFile() {
        QTemporaryDir folder;
        const QString languages = folder.path() + "/";
        QFile french(languages + "FRENCH.ini");
        QVERIFY(french.open(QIODevice::WriteOnly) && french.write("[1]\r\n0=Nom invalide\r\n.dot line\r\n") > 0);
        french.close();
        QList<TMailMessage> sent;
        TFormSendLanguage::THost host{languages, "kelvadore@example.org", {"translations@example.org"}, &Prompts,
                                      [&](const TMailMessage& message) { sent.append(message); }};
        Prompts = {};
        TFormSendLanguage refused("FRENCH", host);
        refused.EditName->setText("Jeanne Martin");
        refused.EditEMail->setText("jeanne@example");
        refused.ButtonSendClick();
        QCOMPARE(Prompts.Notices, QStringList({"Invalid EMail!!!"}));
        QVERIFY(sent.isEmpty());

        TFormSendLanguage form("FRENCH", host);
        form.EditName->setText("Jeanne Martin");
        form.EditEMail->setText("jeanne@example.fr");
        form.CheckBoxPublishEMail->setChecked(false);
        form.MemoMessage->setPlainText("Merci\n.fin");
        test::SaveScreenshot(form, "send-language");
        form.ButtonSendClick();
        QCOMPARE(sent.size(), 1);

        const QList<QHostAddress> servers{QHostAddress("192.0.2.53"), QHostAddress("192.0.2.54")};
        const TMxQuery query = [](const QHostAddress& server, const QString&) -> std::optional<QList<TMailExchanger>> {
            if (server == QHostAddress("192.0.2.53")) return QList<TMailExchanger>{};  // no MX
            return QList<TMailExchanger>{{20, "backup.invalid"}, {10, "127.0.0.1"}, {5, ""}};
        };
        QCOMPARE(MailHostsFor("example.org", servers, query), QStringList({"127.0.0.1", "backup.invalid"}));

        const QString maildir = folder.path() + "/maildir";
        const quint16 port = static_cast<quint16>(20000 + QCoreApplication::applicationPid() % 20000);
        QProcess smtp;
        smtp.start("/usr/bin/python3", {"-m", "aiosmtpd", "-n", "-l", "127.0.0.1:" + QString::number(port), "-c",
                                         "aiosmtpd.handlers.Mailbox", maildir});
        QVERIFY(smtp.waitForStarted());
        QTcpSocket probe;
        QVERIFY(QTest::qWaitFor([&] {
            probe.connectToHost("127.0.0.1", port);
            const bool up = probe.waitForConnected(200);
            probe.abort();
            return up;
        }, 20000));
        TSendEmailThread thread(sent.front(), servers, query, port);
        thread.start();
        QVERIFY(QTest::qWaitFor([&] { return thread.isFinished(); }, 60000));
        QCOMPARE(thread.Delivered(), QStringList({"translations@example.org"}));
        smtp.terminate();
        smtp.waitForFinished();
        const QStringList mails = QDir(maildir + "/new").entryList(QDir::Files);
        QCOMPARE(mails.size(), 1);
        QFile mail(maildir + "/new/" + mails.front());
        QVERIFY(mail.open(QIODevice::ReadOnly));
        const QByteArray raw = mail.readAll().replace("\r\n", "\n");
        QVERIFY(raw.contains("Subject: KELVADORE NEW LANGUAGE TRANSLATION\n"));
        QVERIFY(raw.contains("Language Name = FRENCH\n\nLanguage Note = \n\nName = Jeanne Martin\nName AUTHORIZED\n\n"
                             "EMail = jeanne@example.fr\nEMail NOT AUTHORIZED\n\nWEB = \nWEB AUTHORIZED\n\n"
                             "Message to the Kelvadore team = Merci\n.fin\n"));
        const qsizetype attachment = raw.indexOf("filename=\"FRENCH.ini\"\n\n");
        QVERIFY(attachment > 0);
        const qsizetype from = raw.indexOf("\n\n", attachment) + 2;
        const QByteArray encoded = raw.mid(from, raw.indexOf("--", from) - from);
        QCOMPARE(QByteArray::fromBase64(encoded), QByteArray("[1]\r\n0=Nom invalide\r\n.dot line\r\n"));

        host.Recipients.clear();
        TFormSendLanguage kept("FRENCH", host);
        kept.EditName->setText("Jeanne Martin");
        kept.EditEMail->setText("jeanne@example.fr");
        kept.ButtonSendClick();
        QCOMPARE(sent.size(), 1);
        QVERIFY(QFileInfo(languages + "Submission_FRENCH.eml").size() > 0);
    }

    // The real dialog: whatever closes it, its box is what counts for asking again.
    void theWarningDialogStoresItsBoxHoweverItIsClosed() {
        TDialogPrompts prompts;
        TConfirmation confirmation;
        bool lastBox = false;
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<TFormWarning*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->LabelMessage->text(), QString("Close Disc, are you sure?"));
            test::SaveScreenshot(*dialog, "warning-dialog");
            dialog->CheckBoxDontDisplay->click();
            dialog->ButtonNo->click();
        });
        QVERIFY(!Confirm(prompts, "Confirm Close Disc", "Close Disc, are you sure?", confirmation, lastBox));
        QVERIFY(confirmation.Suppressed && lastBox && !confirmation.LastAnswerYes);

        TConfirmation preset;
        preset.DontDisplayPreset = true;
        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
        QVERIFY(!Confirm(prompts, "Confirm Delete All", "Delete All items?", preset, lastBox));
        QVERIFY(preset.Suppressed);  // the preset box, stored although the answer was no Yes
        QVERIFY(Confirm(prompts, "Confirm Delete All", "Delete All items?", preset, lastBox));  // not asked
    }

    // Only one component holds the drive; a component prepared again selects the stored drive
    // itself even though the request interface stays loaded for the whole process, and the data
    // burner comes back with its compilation (an imported session the tree still shows).
    void preparingOneBurnerReleasesTheOtherAndTheDataBurnerComesBackWithItsCompilation() {
        TBurnerHost burners;
        TBurnerSettings settings;
        settings.DriveName = CdrIdentity;
        settings.CommandDriveSpeed = 24;
        const TPrepareOutcome data = burners.PrepareDataBurner(settings);
        QCOMPARE(data.Identity, CdrIdentity);
        QCOMPARE(burners.DataBurner()->WriteSpeed(), uint16_t{4235});
        TZelBurner* const first = burners.DataBurner();
        TDriveReports reports;
        QVERIFY(burners.PrepareAudioBurner(settings, reports));
        QVERIFY(!burners.DataBurner());
        QCOMPARE(QString::fromStdString(burners.AudioBurner()->Device()), CdrIdentity);
        const TPrepareOutcome again = burners.PrepareDataBurner(settings);
        QVERIFY(!burners.AudioBurner());
        QCOMPARE(again.Identity, CdrIdentity);
        QCOMPARE(burners.DataBurner(), first);
        QVERIFY(burners.IsRecorder());
    }

    void anExceptionOutOfAHandlerIsDroppedWithALineInTheMirror() {
        QTimer::singleShot(0, qApp, [] { throw std::runtime_error("handler failed"); });
        QTest::qWait(50);
        QVERIFY(Home.LogLines().last().contains("exception dropped in"));
        QVERIFY(Home.LogLines().last().endsWith(": handler failed"));
        QVERIFY(!QApplication::activeModalWidget());
    }

    // The lines held back until the first show (here the notice that there is no private folder;
    // after a restart the earlier instance's log) and those written after it are in one font.
    void everyLineOfTheLogIsInOneFont() {
        Home.WriteConfig({{"1.4", CdrIdentity}});
        Prompts = {};
        TFormMasterKvd::TServices services;
        services.Prompts = &Prompts;
        services.UrlOpener = &Urls;
        services.NoPrivateFolder = true;
        TFormMasterKvd form(services);
        QSignalSpy ready(&form, &TFormMasterKvd::DrivesReady);
        form.FormCreate({});
        QVERIFY(QTest::qWaitFor([&] { return ready.count() > 0; }, kDriveWaitMs));
        form.AddLog("a line after the first show");
        form.LogDocument().AddErrorLog("an error after the first show");
        QTextDocument* document = form.EmbeddedWBMemoWarning->document();
        const QString notice = LookupText("30.9").trimmed();
        QVERIFY(document->toPlainText().section('\n', 0, 0).contains(notice));
        const QTextCharFormat held = document->find(notice).charFormat();
        for (const QString& text : {QString("a line after the first show"), QString("an error after the first show")}) {
            const QTextCursor found = document->find(text);
            QVERIFY2(!found.isNull(), qPrintable(text));
            QCOMPARE(found.charFormat().intProperty(QTextFormat::FontSizeAdjustment),
                     held.intProperty(QTextFormat::FontSizeAdjustment));
            QCOMPARE(found.charFormat().fontPointSize(), held.fontPointSize());
        }
        QVERIFY(WaitIdle(form));
    }

    // The audio gauge's percentage is dark on its yellow bar; disabled Rename and Print buttons
    // are drawn grey, enabled ones in colour.
    void colourSaysWhatItMeans() {
        TSettings settings;
        test::TScriptedPrompts prompts;
        TFormBurnInProgress window(settings, prompts);
        window.Prepare(TFormBurnInProgress::TMode::AudioWrite);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.GaugeProgress->setValue(100);
        QCOMPARE(window.GaugeProgress->text(), QString("100%"));
        const QImage gauge = window.GaugeProgress->grab().toImage();
        test::SaveScreenshot(*window.GaugeProgress, "audio-gauge-full");
        // The bar's middle holds only yellow and the text: no light pixel with blue in it (white or
        // its anti-aliased edge) and some dark ones.
        int dark = 0, whitish = 0;
        const QRect middle(gauge.width() / 4, gauge.height() / 4, gauge.width() / 2, gauge.height() / 2);
        for (int y = middle.top(); y <= middle.bottom(); ++y)
            for (int x = middle.left(); x <= middle.right(); ++x) {
                const QColor c = gauge.pixelColor(x, y);
                dark += c.lightness() < 100;
                whitish += c.blue() > 160;
            }
        QVERIFY2(dark > 10 && whitish == 0, qPrintable(QString("%1 dark, %2 whitish").arg(dark).arg(whitish)));
        window.hide();

        auto form = Start(CdrIdentity);
        QVERIFY(form);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        for (I id : {I::Rename, I::Print}) {
            QAction* action = form->Action(id);
            QToolButton* button = nullptr;
            for (QToolButton* candidate : form->ToolBarEasy->findChildren<QToolButton*>())
                if (candidate->defaultAction() == action) button = candidate;
            QVERIFY(button);
            QVERIFY(!action->isEnabled());  // the tree is empty
            // The picture above the caption.
            const QRect picture(0, 0, button->width(), button->iconSize().height() + 4);
            const int disabled = StrongPixels(button->grab(picture).toImage());
            action->setEnabled(true);
            const int enabled = StrongPixels(button->grab(picture).toImage());
            action->setEnabled(false);
            QVERIFY2(enabled > 20 && disabled == 0,
                     qPrintable(QString("%1: %2 strong pixels enabled, %3 disabled")
                                    .arg(action->text())
                                    .arg(enabled)
                                    .arg(disabled)));
        }
        QVERIFY(WaitIdle(*form));
    }

    void aLaterStartHandsItsCommandLineOver() {
        QTemporaryDir runtime;
        QDir(runtime.path()).mkpath("a b");
        QFile(runtime.path() + "/a b/c d.txt").open(QIODevice::WriteOnly);
        TInstanceLock first(runtime.path());
        TInstanceLock second(runtime.path());
        QVERIFY(first.TryLock());
        QVERIFY(!second.TryLock());
        TInstanceServer server;
        QVERIFY(server.Listen(first.SocketPath()));
        int restores = 0;
        std::optional<TCommandLine> received;
        server.OnRestore = [&] { ++restores; };
        server.OnCommandLine = [&](const TCommandLine& commandLine, TInstanceServer::TAnswer answer) {
            received = commandLine;
            answer("done");
        };

        const QString longName(600, QChar('x'));
        const TCommandLine sent{{"a b/c d.txt", "E", longName}, runtime.path()};
        std::atomic<int> delivered{-1};
        std::thread later([&] { delivered = HandOverToRunningInstance(first.SocketPath(), sent) == TInstanceAnswer::Done; });
        // The answers leave through this thread's event loop, so it runs until the later start is done.
        const bool answered = QTest::qWaitFor([&] { return delivered != -1; }, kDriveWaitMs);
        later.join();
        QVERIFY(answered && received.has_value());
        QCOMPARE(delivered.load(), 1);
        QCOMPARE(restores, 1);
        QCOMPARE(ResolveArguments(*received),
                 QStringList({runtime.path() + "/a b/c d.txt", QString("E"), longName}));

        // One command line at a time: a second sender waits while the first one's handler runs a
        // nested event loop (as a dialog does), and a refusal reaches its sender as busy.
        QStringList order;
        server.OnCommandLine = [&](const TCommandLine& commandLine, TInstanceServer::TAnswer answer) {
            const QString word = commandLine.Arguments.front();
            order.append("start " + word);
            if (word == "A") QTest::qWait(700);
            order.append("end " + word);
            answer(word == "B" ? "busy" : "done");
        };
        std::atomic<int> one{-1}, two{-1};
        std::thread a([&] { one = static_cast<int>(HandOverToRunningInstance(first.SocketPath(), {{"A"}, runtime.path()})); });
        QVERIFY(QTest::qWaitFor([&] { return !order.isEmpty(); }, kDriveWaitMs));
        std::thread b([&] { two = static_cast<int>(HandOverToRunningInstance(first.SocketPath(), {{"B"}, runtime.path()})); });
        const bool bothAnswered = QTest::qWaitFor([&] { return one != -1 && two != -1; }, kDriveWaitMs);
        a.join();
        b.join();
        QVERIFY(bothAnswered);
        QCOMPARE(order, QStringList({"start A", "end A", "start B", "end B"}));
        QCOMPARE(one.load(), static_cast<int>(TInstanceAnswer::Done));
        QCOMPARE(two.load(), static_cast<int>(TInstanceAnswer::Busy));

        server.Close();
        first.Unlock();
        QVERIFY(second.TryLock());
        QVERIFY(HandOverToRunningInstance(first.SocketPath(), sent, {std::chrono::milliseconds(200)}) ==
                TInstanceAnswer::NoAnswer);
    }
};

}  // namespace kv

int main(int argc, char** argv) {
    // A medium going in spins the drive up for 10 s of engine time: long enough to watch the
    // window paint meanwhile.
    qputenv("KELVADORE_VR_SPINUP_MS", "10000");
    return kv::test::RunWindowTest<kv::FormMasterKvdTest>(argc, argv);
}

#include "FormMasterKvdTest.moc"
