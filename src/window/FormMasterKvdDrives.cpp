// Drive and speed selection, the small drive commands and the virtual recorder menu. Everything
// that talks to a drive runs on the drive thread; the window applies the outcome.
#include "window/FormMasterKvd.h"

#include "app/DriveSpeeds.h"
#include "app/MessageCatalogue.h"
#include "window/ListComboBox.h"
#include "virtualrecorder/VirtualRecorders.h"

#include <QAbstractItemView>
#include <QDir>
#include <QSignalBlocker>

namespace kv {

void TFormMasterKvd::ApplyReports(const TDriveReports& reports) {
    for (const TDriveReport& report : reports) {
        switch (report.Kind) {
            case TDriveReport::TKind::Log:
                AddLog(report.Text);
                break;
            case TDriveReport::TKind::LogKey:
                AddLog(LookupTextWith(report.Text, report.Values));
                break;
            case TDriveReport::TKind::ErrorKey:
                Log.AddErrorLog(LookupTextWith(report.Text, report.Values));
                break;
            case TDriveReport::TKind::HelpLink:
                AddHelpLink(report.Text, 0);
                break;
            case TDriveReport::TKind::NoticeKey:
                ShowNotice(LookupText(report.Text));
                break;
        }
    }
}

void TFormMasterKvd::StartDebugCapture() {
    // The capture window opens after the preparation's own lines have been logged.
    if (!DebugCaptureOver && !TimerHideZelBurnerDebugMessage.isActive()) TimerHideZelBurnerDebugMessage.start();
}

void TFormMasterKvd::ApplyPreparation(const TPrepareOutcome& outcome) {
    ApplyReports(outcome.Reports);
    Settings().DriveName = outcome.DriveName;
    LastMediumType = outcome.MediumType;
    Selection = {true, outcome.Identity, outcome.Letter};
    StartDebugCapture();
}

void TFormMasterKvd::PrepareDataBurner(std::function<void(const TPrepareOutcome&)> then) {
    RunDriveTask<TPrepareOutcome>(
        [settings = BurnerSettings()](TBurnerHost& burners) { return burners.PrepareDataBurner(settings); },
        [this, then = std::move(then)](TPrepareOutcome& outcome) {
            ApplyPreparation(outcome);
            if (then) then(outcome);
        });
}

// ---- the recorder list ----------------------------------------------------------------------

void TFormMasterKvd::ApplyRecorderList(TRecorderListOutcome& outcome) {
    ApplyReports(outcome.Reports);
    Settings().DriveName = outcome.DriveName;
    StartDebugCapture();
    if (!outcome.Filled) {
        Selection.BurnerExists = true;
        SetWindowTitle();
        return;
    }
    {
        const QSignalBlocker quiet(ComboBoxDriveName);
        ComboBoxDriveName->clear();
        ComboBoxDriveName->addItems(outcome.Items);
        ComboBoxDriveName->setCurrentIndex(outcome.Selected);
    }
    ApplyDriveChange(outcome.Change);
}

void TFormMasterKvd::ComboBoxDriveNameChange() {
    RunDriveTask<TDriveChangeOutcome>(
        [settings = BurnerSettings(), identity = ComboBoxDriveName->currentText()](TBurnerHost& burners) {
            return burners.DriveChange(settings, identity);
        },
        [this](TDriveChangeOutcome& outcome) { ApplyDriveChange(outcome); });
}

void TFormMasterKvd::ApplyDriveChange(const TDriveChangeOutcome& outcome) {
    Settings().DriveName = outcome.DriveName;
    StartDebugCapture();
    if (outcome.Changed) {
        Selection = {true, outcome.Identity, outcome.Letter};
        VirtualSelected = outcome.Virtual;
        UpdateCapacityBars(outcome.Capabilities);
        SetWindowTitle();
    }
    ApplyReports(outcome.Reports);
    ApplyActionStates();
}

// ---- the speed list -------------------------------------------------------------------------

void TFormMasterKvd::ComboBoxCommandDriveSpeedDropDown() {
    if (SpeedTag != 0 || SpeedMeasuring) return;
    SpeedMeasuring = true;
    const QString waiting = LookupText("11.74");
    {
        const QSignalBlocker quiet(ComboBoxCommandDriveSpeed);
        ComboBoxCommandDriveSpeed->clear();
        ComboBoxCommandDriveSpeed->addItem(waiting);
    }
    AddLog(waiting);
    RunDriveTask<TSpeedListOutcome>(
        [settings = BurnerSettings(), locale = QLocale()](TBurnerHost& burners) {
            return burners.MeasureSpeeds(settings, locale);
        },
        [this](TSpeedListOutcome& outcome) { ApplySpeedList(outcome); });
}

void TFormMasterKvd::ApplySpeedList(const TSpeedListOutcome& outcome) {
    SpeedMeasuring = false;
    ApplyReports(outcome.Reports);
    const bool open = ComboBoxCommandDriveSpeed->view()->isVisible();
    {
        const QSignalBlocker quiet(ComboBoxCommandDriveSpeed);
        ComboBoxCommandDriveSpeed->clear();
        if (outcome.NoneOnly) {
            ComboBoxCommandDriveSpeed->addItem(LookupText("3.45"));
        } else {
            ComboBoxCommandDriveSpeed->addItem(LookupText("20.5"));
            ComboBoxCommandDriveSpeed->addItems(outcome.Entries);
        }
        ComboBoxCommandDriveSpeed->setCurrentIndex(std::min(outcome.Selected, ComboBoxCommandDriveSpeed->count() - 1));
    }
    SpeedTag = outcome.Measured ? 1 : 0;
    // An open list is opened again so that it takes the measured entries' size.
    if (open && outcome.Measured) {
        ComboBoxCommandDriveSpeed->hidePopup();
        ComboBoxCommandDriveSpeed->showPopup();
    }
}

void TFormMasterKvd::ComboBoxCommandDriveSpeedChange(int index) {
    if (SpeedMeasuring) return;  // the only entry is the waiting text
    if (index <= 0) {
        Settings().CommandDriveSpeed = 0;
        return;
    }
    PrepareDataBurner();
    Settings().CommandDriveSpeed = SpeedFactorOfEntry(ComboBoxCommandDriveSpeed->itemText(index));
}

void TFormMasterKvd::MediaChanged(const QString& letter) {
    if (!Selection.BurnerExists || Selection.Letter.isEmpty()) return;
    if (letter.toUpper() == Selection.Letter.toUpper()) SpeedTag = 0;
}

void TFormMasterKvd::DeviceMediaChanged(const QString& devicePath) {
    // A run holds the data burner on its job's thread; its end measures the speeds anew anyway.
    if (CurrentOperation != TOperation::Idle) return;
    RunDriveTask<QString>([devicePath](TBurnerHost& burners) { return burners.LetterOfDevice(devicePath); },
                          [this](QString& letter) {
                              if (!letter.isEmpty()) MediaChanged(letter);
                          });
}

// ---- eject, load, readiness -----------------------------------------------------------------

void TFormMasterKvd::EjectDisc(bool report) {
    RunDriveTask<TDriveReports>(
        [settings = BurnerSettings(), report](TBurnerHost& burners) { return burners.EjectDisc(settings, report); },
        [this](TDriveReports& reports) { ApplyReports(reports); });
}

void TFormMasterKvd::LoadDisc(bool wait, bool report) {
    RunDriveTask<TDriveReports>(
        [settings = BurnerSettings(), wait, report](TBurnerHost& burners) {
            return burners.LoadDisc(settings, wait, report);
        },
        [this](TDriveReports& reports) { ApplyReports(reports); });
}

void TFormMasterKvd::EnsureDiscReady(std::function<void(bool)> then) {
    struct TReadiness {
        bool Ready = false;
        TDriveReports Reports;
    };
    RunDriveTask<TReadiness>(
        [settings = BurnerSettings()](TBurnerHost& burners) {
            TReadiness readiness;
            readiness.Ready = burners.EnsureDiscReady(settings, readiness.Reports);
            return readiness;
        },
        [this, then = std::move(then)](TReadiness& readiness) {
            ApplyReports(readiness.Reports);
            if (then) then(readiness.Ready);
        });
}

// ---- the virtual recorder menu --------------------------------------------------------------

void TFormMasterKvd::ApplyVirtualOutcome(const TVirtualMediumOutcome& outcome) {
    // The medium change itself arrives from the engine's monitor, as it does for real drives.
    ApplyReports(outcome.Reports);
}

void TFormMasterKvd::VirtualNewMedium() {
    const std::vector<TBlankMediumKind> kinds = BlankMediumKinds();
    QStringList names;
    for (const TBlankMediumKind& kind : kinds) names.append(kind.DisplayName);
    const std::optional<QString> chosen = Prompts().ChooseItem(LookupText("27.0"), LookupText("27.15"), names);
    if (!chosen) return;
    const qsizetype index = names.indexOf(*chosen);
    if (index < 0) return;
    RunDriveTask<TVirtualMediumOutcome>(
        [settings = BurnerSettings(), kind = kinds[static_cast<size_t>(index)].Name,
         folder = QString::fromStdString(vr::VirtualMediaFolder())](TBurnerHost& burners) {
            return burners.InsertNewMedium(settings, kind, folder);
        },
        [this](TVirtualMediumOutcome& outcome) { ApplyVirtualOutcome(outcome); });
}

void TFormMasterKvd::VirtualInsertFile() {
    const QString path = Prompts().OpenFileName(LookupText("27.3").remove('&'),
                                                QString::fromStdString(vr::VirtualMediaFolder()), LookupText("27.16"));
    if (path.isEmpty()) return;
    RunDriveTask<TVirtualMediumOutcome>(
        [settings = BurnerSettings(), path](TBurnerHost& burners) { return burners.InsertMediumFile(settings, path); },
        [this](TVirtualMediumOutcome& outcome) { ApplyVirtualOutcome(outcome); });
}

void TFormMasterKvd::VirtualEject() {
    RunDriveTask<TVirtualMediumOutcome>(
        [settings = BurnerSettings()](TBurnerHost& burners) { return burners.EjectMedium(settings); },
        [this](TVirtualMediumOutcome& outcome) { ApplyVirtualOutcome(outcome); });
}

void TFormMasterKvd::VirtualExport() {
    const QString path = Prompts().SaveFileName(LookupText("27.7").remove('&'), QDir::homePath(), LookupText("27.17"));
    if (path.isEmpty()) return;
    RunDriveTask<TVirtualMediumOutcome>(
        [settings = BurnerSettings(), path](TBurnerHost& burners) { return burners.ExportMedium(settings, path); },
        [this](TVirtualMediumOutcome& outcome) { ApplyVirtualOutcome(outcome); });
}

}  // namespace kv
