// Drive and speed selection and the virtual recorder menu. Everything that talks to a drive runs on
// the drive thread; the window applies the outcome.
#include "window/FormMasterKvd.h"

#include "app/DriveSpeeds.h"
#include "app/MessageCatalogue.h"
#include "flows/DriveSteps.h"
#include "flows/FlowRunner.h"
#include "window/WindowFlowHost.h"
#include "window/ListComboBox.h"
#include "virtualrecorder/VirtualRecorders.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>

namespace kv {

void TFormMasterKvd::StartDebugCapture() {
    // The capture window opens after the preparation's own lines have been logged.
    if (!DebugCaptureOver && !TimerHideZelBurnerDebugMessage.isActive()) TimerHideZelBurnerDebugMessage.start();
}

void TFormMasterKvd::ApplyPreparation(const TPrepareOutcome& outcome) {
    ShowDriveReports(*FlowHost, outcome.Reports);
    Settings().DriveName = outcome.DriveName;
    Selection = {true, outcome.Identity, outcome.Letter};
    StartDebugCapture();
}

// ---- the recorder list ----------------------------------------------------------------------

void TFormMasterKvd::ApplyRecorderList(TRecorderListOutcome& outcome) {
    ShowDriveReports(*FlowHost, outcome.Reports);
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
        // Identity strings of one model look alike: the entry adds where the drive is, while the
        // item's data keeps the identity that the setting stores.
        for (qsizetype i = 0; i < outcome.Items.size(); ++i) {
            const QString& identity = outcome.Items[i];
            const QString location = outcome.Locations.value(i);
            if (location.isEmpty()) {
                ComboBoxDriveName->addItem(identity, identity);
                continue;
            }
            const QString shown = location.startsWith("/dev/") ? location : QFileInfo(location).fileName();
            ComboBoxDriveName->addItem(identity + QString::fromUtf8("  \u2014  ") + shown, identity);
            ComboBoxDriveName->setItemData(static_cast<int>(i), location, Qt::ToolTipRole);
        }
        ComboBoxDriveName->setCurrentIndex(outcome.Selected);
    }
    ApplyDriveChange(outcome.Change);
}

void TFormMasterKvd::ComboBoxDriveNameChange() {
    if (!Runner->Admit()) return;
    Drive->Run<TDriveChangeOutcome>(
        [settings = BurnerSettings(), identity = ComboBoxDriveName->currentData().toString()](TBurnerHost& burners) {
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
    ShowDriveReports(*FlowHost, outcome.Reports);
    ApplyActionStates();
}

// ---- the speed list -------------------------------------------------------------------------

void TFormMasterKvd::ComboBoxCommandDriveSpeedDropDown() {
    if (SpeedTag != 0 || SpeedMeasuring || !Runner->Admit()) return;
    SpeedMeasuring = true;
    const QString waiting = LookupText("11.74");
    {
        const QSignalBlocker quiet(ComboBoxCommandDriveSpeed);
        ComboBoxCommandDriveSpeed->clear();
        ComboBoxCommandDriveSpeed->addItem(waiting);
    }
    AddLog(waiting);
    Drive->Run<TSpeedListOutcome>(
        [settings = BurnerSettings(), locale = QLocale()](TBurnerHost& burners) {
            return burners.MeasureSpeeds(settings, locale);
        },
        [this](TSpeedListOutcome& outcome) { ApplySpeedList(outcome); });
}

void TFormMasterKvd::ApplySpeedList(const TSpeedListOutcome& outcome) {
    SpeedMeasuring = false;
    ShowDriveReports(*FlowHost, outcome.Reports);
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
    if (Runner->Admit()) PrepareDataBurner(*FlowHost);
    Settings().CommandDriveSpeed = SpeedFactorOfEntry(ComboBoxCommandDriveSpeed->itemText(index));
}

void TFormMasterKvd::MediaChanged(const QString& letter) {
    if (!Selection.BurnerExists || Selection.Letter.isEmpty()) return;
    if (letter.toUpper() == Selection.Letter.toUpper()) SpeedTag = 0;
}

void TFormMasterKvd::DeviceMediaChanged(const QString& devicePath) {
    // A run holds the data burner on its job's thread; its end measures the speeds anew anyway.
    if (Operation() != TOperation::Idle) return;
    Drive->Run<QString>([devicePath](TBurnerHost& burners) { return burners.LetterOfDevice(devicePath); },
                        [this](QString& letter) {
                            if (!letter.isEmpty()) MediaChanged(letter);
                        });
}

// ---- the virtual recorder menu --------------------------------------------------------------

void TFormMasterKvd::RunVirtualMediumTask(std::function<TVirtualMediumOutcome(TBurnerHost&)> work) {
    // A run may have started while the medium was chosen.
    if (!Runner->Admit()) return;
    // The medium change itself arrives from the engine's monitor, as it does for real drives.
    Drive->Run<TVirtualMediumOutcome>(std::move(work), [this](TVirtualMediumOutcome& outcome) {
        ShowDriveReports(*FlowHost, outcome.Reports);
    });
}

void TFormMasterKvd::VirtualNewMedium() {
    const std::vector<TBlankMediumKind> kinds = BlankMediumKinds();
    QStringList names;
    for (const TBlankMediumKind& kind : kinds) names.append(kind.DisplayName);
    const std::optional<QString> chosen = Prompts().ChooseItem(LookupText("27.0"), LookupText("27.15"), names);
    if (!chosen) return;
    const qsizetype index = names.indexOf(*chosen);
    if (index < 0) return;
    RunVirtualMediumTask([settings = BurnerSettings(), kind = kinds[static_cast<size_t>(index)].Name,
                          folder = QString::fromStdString(vr::VirtualMediaFolder())](TBurnerHost& burners) {
        return burners.InsertNewMedium(settings, kind, folder);
    });
}

void TFormMasterKvd::VirtualInsertFile() {
    const QString path = Prompts().OpenFileName(LookupText("27.3").remove('&'),
                                                QString::fromStdString(vr::VirtualMediaFolder()), LookupText("27.16"));
    if (path.isEmpty()) return;
    RunVirtualMediumTask([settings = BurnerSettings(), path](TBurnerHost& burners) {
        return burners.InsertMediumFile(settings, path);
    });
}

void TFormMasterKvd::VirtualEject() {
    RunVirtualMediumTask(
        [settings = BurnerSettings()](TBurnerHost& burners) { return burners.EjectMedium(settings); });
}

void TFormMasterKvd::VirtualExport() {
    const QString path = Prompts().SaveFileName(LookupText("27.7").remove('&'), QDir::homePath(), LookupText("27.17"));
    if (path.isEmpty()) return;
    RunVirtualMediumTask([settings = BurnerSettings(), path](TBurnerHost& burners) {
        return burners.ExportMedium(settings, path);
    });
}

}  // namespace kv
