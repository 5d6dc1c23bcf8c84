// The settings dialog and the two tool-bar presentations, on one window in this process (offscreen).
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include "WindowTestSupport.h"
#include "app/MessageCatalogue.h"
#include "window/EasyToolbar.h"
#include "window/FormCustomizeEasyToolbar.h"
#include "window/FormMasterKvd.h"
#include "window/KelvadoreApplication.h"
#include "window/ListComboBox.h"
#include "dialogs/FormSettings.h"
#include "platform/EngineClock.h"

namespace kv {
namespace {

using I = TActionId;

constexpr int kDriveWaitMs = 30000;

QStringList Captions(const QList<QAction*>& actions) {
    QStringList captions;
    for (QAction* action : actions) captions.append(action->text());
    return captions;
}

QList<int> Tags(const QTreeWidget& list) {
    QList<int> tags;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        tags.append(list.topLevelItem(i)->data(0, TFormCustomizeEasyToolbar::kTagRole).toInt());
    return tags;
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT

public:
    explicit SettingsTest(test::TPreparedHome& home) : Home(home) {}

private:
    test::TPreparedHome& Home;
    test::TScriptedPrompts Prompts;
    std::unique_ptr<TFormMasterKvd> Form;

    // Runs `body` on the open dialog, then closes it (Cancel) if the body left it open.
    template <typename Body>
    bool WithSettings(int page, Body body) {
        return WithSettings([&] { Form->OpenSettings(page); }, body);
    }
    template <typename Body>
    bool WithSettings(const std::function<void()>& open, Body body) {
        bool ran = false;
        QTimer::singleShot(0, this, [&] {
            TFormSettings* dialog = Form->SettingsWindow();
            if (dialog) {
                body(*dialog);
                ran = true;
                if (Form->SettingsWindow() && dialog->isVisible()) dialog->ButtonCancel->click();
            }
        });
        open();
        return ran && !Form->SettingsWindow();
    }

    template <typename Body>
    bool WithCustomizeWindow(Body body) {
        bool ran = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<TFormCustomizeEasyToolbar*>(QApplication::activeModalWidget());
            if (dialog) {
                body(*dialog);
                ran = true;
                dialog->ButtonClose->click();
            }
        });
        Form->Action(I::CutomizeToolBarEasy)->trigger();
        return ran;
    }

    QString LanguagesFolder() const { return Form->ApplicationCore().Folders().LanguagesFolder; }

private slots:
    void initTestCase() {
        Home.WriteConfig({{"1.4", test::ListedIdentity("virtual:recorder")}});
        TFormMasterKvd::TServices services;
        services.Prompts = &Prompts;
        Form = std::make_unique<TFormMasterKvd>(services);
        QSignalSpy ready(Form.get(), &TFormMasterKvd::DrivesReady);
        Form->FormCreate({});
        QVERIFY(
            QTest::qWaitFor([&] { return ready.count() > 0 && !Form->DriveWorkPending(); }, kDriveWaitMs));
    }

    void cleanupTestCase() { Form.reset(); }

    void init() { Prompts = {}; }

    // Settings unlike the defaults on every page: a control wired to the wrong field, or one that
    // does not take its value back, changes them on Apply.
    void applyWithoutChangesLeavesEverySettingAsItWas() {
        TSettings& s = Form->Settings();
        const TSettings original = s;
        s.DriveEjectAfterErase = true;
        s.AutoPlayCDDisable = false;
        s.DropFormAlpha = 100;
        s.ShowFolderSize = true;
        s.InitializeASPI_InternalFirst = false;
        s.AutoUpdateEnabled = true;
        s.DriveUnderrunProtection = false;
        s.DriveRockRidgeRootOwner = true;
        s.DriveUdf = 2;
        s.VerifyData = true;
        s.DriveCacheSize = 8;
        s.VolumeIncrement = 77;
        s.VolumeNameIdPublisher = "publisher";
        s.VolumeNameFileAbstract = "abstract.txt";
        s.DriveOPCAUDIO = false;
        s.DriveCacheSizeAUDIO = 40;
        s.DriveWriteMethodAUDIO = 1;
        s.PauseBetweenAudioTracks = 2000;
        s.AudioVolumeIncrement = 5;
        s.AudioVolumeNameCDPerformer = "performer";
        s.WriteCdText = false;
        s.Confirmation(TConfirmationKind::CloseDisc).Suppressed = true;
        QVERIFY(Form->ApplicationCore().SaveSettings());
        const TSettings before = s;
        const QByteArray storedBefore = Form->ApplicationCore().Store().Serialize();

        QVERIFY(WithSettings(TFormSettings::DataWriter, [&](TFormSettings& dialog) {
            QCOMPARE(dialog.windowTitle(), QString("Preferences - DATA - CD/DVD Writer settings"));
            QCOMPARE(dialog.LabelDriveCacheSizeValue->text(), QString(" 8 MByte"));
            dialog.CoolTrackBarDriveCacheSize->setValue(64);
            QCOMPARE(dialog.LabelDriveCacheSizeValue->text(), QString("64 MByte"));
            dialog.CoolTrackBarDriveCacheSize->setValue(8);
            QCOMPARE(dialog.LabelDriveNameValue->text(), Form->ComboBoxDriveName->currentData().toString());
            // A second Preferences only brings the open dialog to the front, on its page.
            Form->Action(I::Settings)->trigger();
            Form->Action(I::Language)->trigger();
            QCOMPARE(Form->SettingsWindow(), &dialog);
            QCOMPARE(dialog.CurrentPage(), int(TFormSettings::DataWriter));
            for (int page = 1; page <= TFormSettings::kPageCount; ++page) {
                dialog.ShowPage(page);
                test::SaveScreenshot(dialog, QString("settings-page-%1").arg(page));
            }
            dialog.ButtonApply->click();
        }));
        QVERIFY(Form->Settings() == before);
        QCOMPARE(Form->ApplicationCore().Store().Serialize(), storedBefore);
        QCOMPARE(Prompts.Asked.size(), 0);
        s = original;
    }

    void applyTakesTransparencyAndWarningsAndCancelDiscards() {
        QVERIFY(WithSettings(TFormSettings::General, [&](TFormSettings& dialog) {
            // Choices that change nothing on Linux are not offered; the drive access is said in
            // Linux words.
            QVERIFY(!dialog.CheckBoxAutoPlayCDDisable->isVisibleTo(&dialog));
            QVERIFY(!dialog.CheckBoxAutoUpdateEnabled->isVisibleTo(&dialog));
            QVERIFY(dialog.CheckBoxInitializeASPI_InternalFirst->isVisibleTo(&dialog));
            QVERIFY(dialog.CheckBoxInitializeASPI_InternalFirst->text().contains("SG_IO"));
            dialog.TrackBarDropFormTransparentIntensity->setValue(0);
            dialog.ButtonApply->click();
            QCOMPARE(Form->Settings().DropFormAlpha, 255);
            dialog.TrackBarDropFormTransparentIntensity->setValue(230);
            QTreeWidgetItem* first = dialog.VirtualStringTreeWarningMessages->topLevelItem(0);
            QVERIFY(
                first->text(0).startsWith("Burn DATA?    Files/folders: <#filesdirectories>  Total size: "));
            first->setCheckState(0, Qt::Unchecked);
            dialog.ButtonOK->click();
        }));
        QCOMPARE(Form->Settings().DropFormAlpha, 25);
        QCOMPARE(Home.StoredSetting("3.0").value_or(""), QString("1"));
        // The burn-data question is no longer asked.
        QVERIFY(Form->Confirm(TConfirmationKind::BurnData, "17.4", "Burn DATA?"));
        QCOMPARE(Prompts.Asked.size(), 0);

        // The help button beside the volume name opens the volume-name page.
        QVERIFY(WithSettings([&] { Form->MImageHelpVolumeName->click(); },
                             [&](TFormSettings& dialog) {
                                 QCOMPARE(dialog.CurrentPage(), int(TFormSettings::DataVolume));
                                 dialog.VirtualStringTreeWarningMessages->topLevelItem(0)->setCheckState(
                                     0, Qt::Checked);
                                 dialog.CheckBoxShowFolderSize->setChecked(true);
                             }));
        QVERIFY(Form->Settings().Confirmation(TConfirmationKind::BurnData).Suppressed);
        QVERIFY(!Form->Settings().ShowFolderSize);

        // CD-Text is written unless the audio page's box is cleared.
        QVERIFY(WithSettings(TFormSettings::AudioWriter, [&](TFormSettings& dialog) {
            QCOMPARE(dialog.CheckBoxWriteCdText->text(), QString("Write CD-Text"));
            QVERIFY(dialog.CheckBoxWriteCdText->isChecked());
            dialog.CheckBoxWriteCdText->setChecked(false);
            dialog.ButtonOK->click();
        }));
        QVERIFY(!Form->Settings().WriteCdText);
        QCOMPARE(Home.StoredSetting("1.45").value_or(""), QString("0"));

        // The UDF choice lists its three values in the setting's order and stores the one taken.
        QVERIFY(WithSettings(TFormSettings::DataWriter, [&](TFormSettings& dialog) {
            QCOMPARE(dialog.LabelDriveUdf->text(), QString("UDF file system"));
            QCOMPARE(dialog.ComboBoxDriveUdf->currentText(), QString("Automatic"));
            QCOMPARE(dialog.ComboBoxDriveUdf->itemText(1), QString("Always"));
            QCOMPARE(dialog.ComboBoxDriveUdf->itemText(2), QString("Never"));
            QVERIFY(dialog.LabelDriveUdfHint->text().startsWith("Automatic: UDF beside ISO 9660"));
            dialog.ComboBoxDriveUdf->setCurrentIndex(1);
            dialog.ButtonOK->click();
        }));
        QCOMPARE(Form->Settings().DriveUdf, 1);
        QCOMPARE(Home.StoredSetting("1.44").value_or(""), QString("1"));
        Form->Settings().DriveUdf = 0;
    }

    void aLanguageWhoseFileWentAwayKeepsThePreviousOne() {
        QFile german(LanguagesFolder() + "German.ini");
        QVERIFY(german.open(QIODevice::WriteOnly));
        german.write("[3]\r\n//settings\r\n0=Einstellungen\r\n2=Sprache\r\n");
        german.close();
        QVERIFY(WithSettings([&] { Form->Action(I::Language)->trigger(); },
                             [&](TFormSettings& dialog) {
                                 QCOMPARE(dialog.windowTitle(), QString("Preferences - Language"));
                                 const QList<QListWidgetItem*> found =
                                     dialog.ListBoxLanguages->findItems("GERMAN", Qt::MatchExactly);
                                 QCOMPARE(found.size(), 1);
                                 QCOMPARE(dialog.ListBoxLanguages->currentItem()->text(), QString("ENGLISH"));
                                 dialog.ListBoxLanguages->setCurrentItem(found[0]);
                                 QVERIFY(german.remove());
                                 dialog.ButtonApply->click();
                                 QCOMPARE(Form->Settings().Language, QString("ENGLISH"));
                                 QVERIFY(german.open(QIODevice::WriteOnly));
                                 german.write("[3]\r\n//settings\r\n0=Einstellungen\r\n2=Sprache\r\n");
                                 german.close();
                                 dialog.ButtonApply->click();
                                 QCOMPARE(Form->Settings().Language, QString("GERMAN"));
                                 QCOMPARE(dialog.windowTitle(), QString("Einstellungen - Sprache"));

                                 // A new language starts as a copy of the English texts and is taken at once;
                                 // deleting one asks first.
                                 Prompts.Choices = {QString(" dutch ")};
                                 dialog.ButtonNewLanguage->click();
                                 QVERIFY(QFileInfo::exists(LanguagesFolder() + "DUTCH.ini"));
                                 QCOMPARE(Form->Settings().Language, QString("DUTCH"));
                                 QCOMPARE(dialog.ListBoxLanguages->currentItem()->text(), QString("DUTCH"));
                                 Prompts.YesNo = {false, true};
                                 dialog.ButtonDeleteLanguage->click();
                                 QVERIFY(QFileInfo::exists(LanguagesFolder() + "DUTCH.ini"));
                                 dialog.ButtonDeleteLanguage->click();
                                 QVERIFY(!QFileInfo::exists(LanguagesFolder() + "DUTCH.ini"));
                                 QCOMPARE(Prompts.Asked.last().Text,
                                          QString("Are you sure to delete language : DUTCH"));

                                 // ENGLISH is neither made anew nor deleted.
                                 QFile english(LanguagesFolder() + "ENGLISH.ini");
                                 QVERIFY(english.open(QIODevice::ReadOnly));
                                 const QByteArray before = english.readAll();
                                 english.close();
                                 Prompts.Choices = {QString("english")};
                                 dialog.ButtonNewLanguage->click();
                                 dialog.ListBoxLanguages->setCurrentItem(
                                     dialog.ListBoxLanguages->findItems("ENGLISH", Qt::MatchExactly).front());
                                 const qsizetype asked = Prompts.Asked.size();
                                 dialog.ButtonDeleteLanguage->click();
                                 QCOMPARE(Prompts.Asked.size(), asked);
                                 QVERIFY(english.open(QIODevice::ReadOnly));
                                 QCOMPARE(english.readAll(), before);
                             }));
        Messages().LoadLanguage("ENGLISH");
        QVERIFY(german.remove());
        QCOMPARE(Prompts.Unexpected, 0);
    }

    void theAspiNoticeAndTheWavFolder() {
        QTemporaryDir dir;
        const QString previous = Form->Settings().WAVPath;
        QVERIFY(WithSettings(TFormSettings::AudioWriter, [&](TFormSettings& dialog) {
            dialog.CheckBoxInitializeASPI_InternalFirst->click();
            // Said in Linux words, not the request interface's Windows name.
            QCOMPARE(Prompts.Notices,
                     QStringList({"To apply the change of drive access, press OK, then close and restart Kelvadore"}));

            Prompts.FileNames = {dir.path(), QString()};
            dialog.ButtonWAVPath->click();
            QCOMPARE(dialog.EditWAVPath->text(), dir.path() + "/");
            QCOMPARE(Prompts.Asked.last().Title, QString("Select Temporary WAV files path"));
            dialog.ButtonWAVPath->click();  // cancelled
            QCOMPARE(dialog.EditWAVPath->text(), dir.path() + "/");

            // A folder that cannot be made is not taken; a missing one is made with its parents.
            dialog.EditWAVPath->setText("/proc/no/such/folder");
            dialog.ButtonApply->click();
            QCOMPARE(Form->Settings().WAVPath, previous);
            dialog.EditWAVPath->setText(dir.path() + "/a/b");
            dialog.ButtonApply->click();
        }));
        QCOMPARE(Form->Settings().WAVPath, dir.path() + "/a/b/");
        QVERIFY(QFileInfo(dir.path() + "/a/b").isDir());
        Form->Settings().WAVPath = previous;
    }

    void easyLayoutsShowTheirButtonsOnceAndSkipTheRest() {
        TSettings& s = Form->Settings();
        const std::pair<QString, QStringList> layouts[] = {
            {"5;x;2", {"Save ISO", "Burn Data"}},
            {"", {}},
            {"2;3;2", {"Burn Data", "Burn Audio"}},
        };
        for (const auto& [layout, captions] : layouts) {
            s.EasyToolbarButtons = layout;
            Form->BuildEasyToolbar();
            QCOMPARE(Captions(Form->ToolBarEasy->actions()), captions);
        }
        // The customize window shows the layout as it is: a tag listed twice, twice.
        QVERIFY(WithCustomizeWindow([&](TFormCustomizeEasyToolbar& window) {
            QCOMPARE(Tags(*window.VirtualStringTreeCurrent), QList<int>({2, 3, 2}));
            QCOMPARE(window.VirtualStringTreeAvailable->topLevelItemCount(), 25);
        }));
        s.EasyToolbarButtons.clear();
        Form->BuildEasyToolbar();
        QVERIFY(WithCustomizeWindow([&](TFormCustomizeEasyToolbar& window) {
            QCOMPARE(window.VirtualStringTreeCurrent->topLevelItemCount(), 0);
            QCOMPARE(window.VirtualStringTreeAvailable->topLevelItemCount(), 27);
        }));
        s.EasyToolbarButtons = kDefaultEasyToolbarButtons;
    }

    void theCustomizeWindowAddsMovesAndResets() {
        TSettings& s = Form->Settings();
        s.EasyToolbarButtons = "32;0;1";
        Form->BuildEasyToolbar();
        QVERIFY(WithCustomizeWindow([&](TFormCustomizeEasyToolbar& window) {
            QCOMPARE(window.windowTitle(), QString("Customize Easy Mode Toolbar"));
            QTreeWidget& current = *window.VirtualStringTreeCurrent;
            QTreeWidget& available = *window.VirtualStringTreeAvailable;
            // Added behind the focused entry of the current list.
            current.setCurrentItem(current.topLevelItem(0));
            available.setCurrentItem(available.topLevelItem(0));  // Burn Data, tag 2
            window.ButtonAdd->click();
            QCOMPARE(s.EasyToolbarButtons, QString("32;2;0;1"));
            QCOMPARE(Captions(Form->ToolBarEasy->actions()),
                     QStringList({"New", "Burn Data", "Fly Window", "Add"}));
            QVERIFY(available.findItems("Burn Data", Qt::MatchExactly, 1).isEmpty());

            // Dropped on the lower part of the last entry: to the end; below every entry: nowhere.
            current.setCurrentItem(current.topLevelItem(0));
            window.MoveSelectedEntry(current.topLevelItem(3), TCurrentButtonList::TDropAt::After);
            QCOMPARE(s.EasyToolbarButtons, QString("2;0;1;32"));
            window.MoveSelectedEntry(nullptr, TCurrentButtonList::TDropAt::Nowhere);
            QCOMPARE(s.EasyToolbarButtons, QString("2;0;1;32"));
            // On the upper part or the middle of an entry: in front of it.
            window.MoveSelectedEntry(current.topLevelItem(1), TCurrentButtonList::TDropAt::Before);
            QCOMPARE(s.EasyToolbarButtons, QString("2;32;0;1"));
            // A drop that does not come from the list itself (files, the other list) changes nothing.
            QMimeData files;
            files.setUrls({QUrl::fromLocalFile("/tmp/a.wav")});
            QDropEvent drop(current.visualItemRect(current.topLevelItem(0)).center(), Qt::CopyAction, &files,
                            Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(current.viewport(), &drop);
            QCOMPARE(s.EasyToolbarButtons, QString("2;32;0;1"));
            QCOMPARE(current.topLevelItemCount(), 4);

            current.setCurrentItem(current.topLevelItem(0));
            window.ButtonRemove->click();
            QCOMPARE(s.EasyToolbarButtons, QString("32;0;1"));
            test::SaveScreenshot(window, "customize-easy-toolbar");

            window.ButtonReset->click();
            QCOMPARE(s.EasyToolbarButtons, QString(kDefaultEasyToolbarButtons));
            QCOMPARE(current.topLevelItemCount(), 14);
            QCOMPARE(available.topLevelItemCount(), 27 - 14);
        }));
    }

    void theBarsFollowTheModeAndTheShowCommands() {
        TSettings& s = Form->Settings();
        QVERIFY(!s.ExpertMode);
        Form->ApplyToolbarMode();
        QCoreApplication::processEvents();  // the bars lay themselves out
        test::SaveScreenshot(*Form, "toolbar-easy");
        // The fourteen buttons of the default layout stand in one row, or wrap onto further rows.
        QCOMPARE(Form->ToolBarEasy->actions().size(), 14);
        QVERIFY(Form->ToolBarEasy->heightForWidth(2400) < 2 * TEasyToolbar::kButtonHeight);
        QVERIFY(Form->ToolBarEasy->heightForWidth(450) >= 5 * TEasyToolbar::kButtonHeight);
        // In easy mode the command changes the check mark and the setting, and shows no bar.
        QVERIFY(s.ShowToolBarDrive);
        Form->Action(I::ShowToolBarDrive)->trigger();
        QVERIFY(!s.ShowToolBarDrive && !Form->Action(I::ShowToolBarDrive)->isChecked());
        Form->Action(I::ShowToolBarDrive)->trigger();
        Form->Action(I::ShowToolBarQueue)->trigger();
        QVERIFY(!s.ShowToolBarQueue);
        QVERIFY(!Form->ToolBarDrive->isVisible() && Form->ToolBarEasy->isVisible());

        Form->Action(I::ExpertMode)->trigger();
        QVERIFY(s.ExpertMode);
        QVERIFY(Form->ToolBarDrive->isVisible() && Form->ToolBarWebLinks->isVisible());
        QVERIFY(!Form->ToolBarQueue->isVisible() && !Form->ToolBarEasy->isVisible());
        Form->Action(I::ShowToolBarQueue)->trigger();
        QVERIFY(Form->ToolBarQueue->isVisible());
        QCoreApplication::processEvents();
        test::SaveScreenshot(*Form, "toolbar-expert");
        Form->Action(I::EasyMode)->trigger();
        QVERIFY(!s.ExpertMode && Form->ToolBarEasy->isVisible() && !Form->ToolBarDrive->isVisible());
    }
};

}  // namespace kv

int main(int argc, char** argv) {
    return kv::test::RunWindowTest<kv::SettingsTest>(argc, argv);
}

#include "SettingsTest.moc"
