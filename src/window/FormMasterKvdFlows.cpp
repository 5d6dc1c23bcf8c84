// The operations of the window. Each handler collects what the user chose and hands the operation
// to a flow; the runner refuses it while another one runs. The window keeps the dialogs: the burn
// mode chooser, the disc information window, the sessions dialog and the shutdown countdown.
#include "dialogs/FormCopyDisc.h"
#include "dialogs/FormDiscInfo.h"
#include "dialogs/FormSaveDiscImage.h"
#include "dialogs/FormSessions.h"
#include "dialogs/FormShutDown.h"
#include "flows/AfterBurnFlow.h"
#include "flows/AudioBurnFlow.h"
#include "flows/CopyDiscFlow.h"
#include "flows/DataBurnFlow.h"
#include "flows/DiscReportFlow.h"
#include "flows/EraseFlow.h"
#include "flows/ExtractFlow.h"
#include "flows/FlowRunner.h"
#include "flows/ImageBurnFlow.h"
#include "flows/ImportFlow.h"
#include "flows/ReadImageFlow.h"
#include "virtualrecorder/VirtualRecorders.h"
#include "window/FormMasterKvd.h"
#include "window/QueueModel.h"
#include "window/QueueTreeView.h"
#include "window/WindowFlowHost.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QScreen>
#include <QStyle>

namespace kv {
namespace {

using I = TActionId;

constexpr int kShowShutdownMs = 300;

// False when another run holds the application: `then` is not called.
bool ReadDiscReport(TFlowRunner& runner, bool listSessions,
                    std::function<void(const jobs::TDiscReport&)> then) {
    return runner.Start(
        std::make_unique<TDiscReportFlow>(runner.Host(), runner, listSessions, std::move(then)));
}

}  // namespace

void TFormMasterKvd::ConnectFlows() {
    auto on = [this](TActionId id, auto handler) { connect(Action(id), &QAction::triggered, this, handler); };
    on(I::Burn, [this] { BurnData(false); });
    on(I::SaveISO, [this] { BurnData(true); });
    on(I::BurnAudio, [this] { ActionBurnAudioExecute(); });
    on(I::EraseDisc, [this] { ActionEraseDiscExecute(); });
    on(I::BurnISO, [this] { BurnImageFile({}); });
    on(I::DiscInfo, [this] { ActionDiscInfoExecute(); });
    on(I::ImportSession, [this] { ActionImportSessionExecute(); });
    on(I::ExtractFileFromSession, [this] { ActionExtractFileFromSessionExecute(); });
    on(I::SaveDiscImage, [this] { ActionSaveDiscImageExecute(); });
    on(I::CopyDisc, [this] { ActionCopyDiscExecute(); });
    if (!AfterDataBurn)
        AfterDataBurn = [this](const TAfterFinishChoices& choices) {
            WriteRestartHandOver(*FlowHost, *Runner, choices);
        };
    if (!ShutdownAfterFinish)
        ShutdownAfterFinish = [this] {
            QTimer::singleShot(kShowShutdownMs, this, [this] { TimerShowShutdownTimer(); });
        };
    if (!Storage.FreeBytes) Storage = TStorageQuery::System();
}

TFormBurnInProgress* TFormMasterKvd::ProgressWindow() const {
    return FlowHost->ProgressWindow();
}

void TFormMasterKvd::BurnData(bool imageOnly) {
    Runner->Start(std::make_unique<TDataBurnFlow>(*FlowHost, *Runner, imageOnly));
}

void TFormMasterKvd::ActionBurnAudioExecute() {
    // The audio burn takes the files the decoder measured: it waits until every one is.
    WhenDurationsKnown([this] { Runner->Start(std::make_unique<TAudioBurnFlow>(*FlowHost, *Runner)); });
}

void TFormMasterKvd::ActionEraseDiscExecute() {
    Runner->Start(std::make_unique<TEraseFlow>(*FlowHost, *Runner));
}

void TFormMasterKvd::BurnImageFile(QString fileName) {
    Runner->Start(std::make_unique<TImageBurnFlow>(*FlowHost, *Runner, std::move(fileName)));
}

void TFormMasterKvd::ShowBurnModeChooser() {
    auto* chooser = new TFormSelectBurnMode(Action(I::Burn)->icon(), Action(I::BurnAudio)->icon(),
                                            style()->standardIcon(QStyle::SP_DialogCancelButton));
    // A run may have started meanwhile (the chooser is no modal window): its refusal is told.
    chooser->OnBurnData = [this] {
        if (Runner->Admit()) Action(I::Burn)->trigger();
    };
    chooser->OnBurnAudio = [this] {
        if (Runner->Admit()) Action(I::BurnAudio)->trigger();
    };
    chooser->OnCancel = [this] { RestoreApplication(); };
    FormSelectBurnMode = chooser;
    chooser->show();
}

// ---- discs to images and copies -----------------------------------------------------------------

void TFormMasterKvd::ActionSaveDiscImageExecute() {
    if (Runner->Busy()) return;
    TFormSaveDiscImage dialog(Prompts(), {}, this);
    if (dialog.exec() != QDialog::Accepted) return;
    Runner->Start(std::make_unique<TReadImageFlow>(*FlowHost, *Runner, dialog.Choices()));
}

void TFormMasterKvd::ActionCopyDiscExecute() {
    if (Runner->Busy()) return;
    QStringList drives;
    // The identities, not the drive box's display texts: the copy names its target by identity.
    for (int i = 0; i < ComboBoxDriveName->count(); ++i) drives.append(ComboBoxDriveName->itemData(i).toString());
    TCopyDiscChoices preset;
    preset.TargetDrive = Selection.Identity;
    preset.TempFolder = Settings().WAVPath;
    TFormCopyDisc dialog(Prompts(), drives, preset, this);
    if (dialog.exec() != QDialog::Accepted) return;
    Runner->Start(std::make_unique<TCopyDiscFlow>(*FlowHost, *Runner, dialog.Choices()));
}

// ---- disc information, sessions, extraction ---------------------------------------------------

void TFormMasterKvd::ActionDiscInfoExecute() {
    if (!FormDiscInfo) {
        FormDiscInfo = new TFormDiscInfo(Prompts(), this);
        FormDiscInfo->OnRefresh = [this] {
            ReadDiscReport(*Runner, false, [this](const jobs::TDiscReport& report) {
                if (FormDiscInfo) FormDiscInfo->ShowReport(report);
            });
        };
        FormDiscInfo->adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            FormDiscInfo->move((screen->size().width() - FormDiscInfo->width()) / 2,
                               (screen->size().height() - FormDiscInfo->height()) / 2);
    }
    FormDiscInfo->ApplyCaptions();
    FormDiscInfo->OnRefresh();
    FormDiscInfo->show();
    FormDiscInfo->raise();
}

void TFormMasterKvd::ActionImportSessionExecute() {
    if (!Runner->Admit()) return;
    TFormSessions dialog(Prompts(), this);
    FormSessions = &dialog;
    // A read still running when the dialog has gone answers into nothing.
    auto open = std::make_shared<TFormSessions*>(&dialog);
    dialog.OnRefresh = [this, open] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const bool reading = ReadDiscReport(*Runner, true, [open](const jobs::TDiscReport& report) {
            QApplication::restoreOverrideCursor();
            if (*open) (*open)->ShowReport(report);
        });
        if (!reading) QApplication::restoreOverrideCursor();
    };
    dialog.OnImport = [this](int session, const QString& pathText) { ImportSession(session, pathText); };
    dialog.OnRefresh();
    dialog.exec();
    *open = nullptr;
    FormSessions = nullptr;
}

void TFormMasterKvd::ImportSession(int session, const QString& pathText) {
    Runner->Start(std::make_unique<TImportFlow>(*FlowHost, *Runner, session, pathText));
}

void TFormMasterKvd::ActionExtractFileFromSessionExecute() {
    if (!Runner->Admit()) return;
    SelectedFolder = Settings().ExtractFolder;
    RunFolderChooser(LookupText("23.16"));
    if (SelectedFolder == "-1") return;
    const QString folder = SelectedFolder.trimmed();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        ShowNotice(LookupText("23.17"));
        return;
    }
    Settings().ExtractFolder = folder;
    // The selected imported files in tree order; a folder is named and passed over.
    QSet<const TQueueItem*> chosen;
    for (const QModelIndex& index :
         VirtualStringTreeQueue->selectionModel()->selectedRows(TQueueModel::ColName))
        chosen.insert(QueueModel->ItemOf(index));
    std::vector<const TFEntry*> entries;
    QueueModel->Root().ForEachBelow([&](const TQueueItem& item) {
        if (!chosen.contains(&item) || !item.Node.Imported) return;
        if (item.Node.IsFolder)
            AddLog(LookupTextWith("23.18", {"<#foldername>=" + item.Node.Name}));
        else if (item.Node.ImportedEntry)
            entries.push_back(item.Node.ImportedEntry);
    });
    if (entries.empty()) {
        AddLog(LookupText("23.21"));
        return;
    }
    Runner->Start(std::make_unique<TExtractFlow>(*FlowHost, *Runner, std::move(entries), folder));
}

// ---- after the burn ---------------------------------------------------------------------------

void TFormMasterKvd::ReleaseDrivesForRestart() {
    MediaMonitor.reset();
    Drive->Stop();
    Drive->Burners().ReleaseDataBurner();
    Drive->Burners().ReleaseAudioBurner();
    // A medium file is locked by the process that has it loaded: the new process must find it free.
    for (const auto& recorder : vr::PresentRecorders()) recorder->Remove();
}

void TFormMasterKvd::TimerShowShutdownTimer() {
    hide();
    auto* countdown = new TFormShutDown;
    FormShutDown = countdown;
    connect(countdown, &QObject::destroyed, this, [this] { FormShutDown = nullptr; });
    countdown->OnCancel = [this] { RestoreApplication(); };
    countdown->OnPowerOff = [this] {
        // Refused or not, the program ends.
        PowerOffService().PowerOff();
        if (FormShutDown) FormShutDown->close();
        close();
    };
    countdown->show();
    countdown->raise();
}

IPowerOff& TFormMasterKvd::PowerOffService() {
    if (Services.PowerOff) return *Services.PowerOff;
    if (!OwnPowerOff) OwnPowerOff = MakePowerOff();
    return *OwnPowerOff;
}

}  // namespace kv
