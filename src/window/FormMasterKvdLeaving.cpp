// How the window closes: the close box, Exit (menu, tray), a termination signal, the end of the
// desktop session, and the restart after a burn. A run under way is aborted first and waited for
// (see Leaving.h); only then are the settings saved and the working folders cleaned.
#include "window/FormMasterKvd.h"

#include "app/MessageCatalogue.h"
#include "flows/FlowRunner.h"
#include "window/DeferredInputs.h"
#include "window/FormDrop.h"
#include "window/Leaving.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QSystemTrayIcon>

#include <cstdlib>

namespace kv {
namespace {

// Every modal dialog open now gives its Cancel answer; the innermost goes first.
void DismissModalDialogs() {
    for (int guard = 0; guard < 32; ++guard) {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        dialog->reject();
        // A dialog whose reject asks first (the progress window) stays: it is no modal one, but
        // a modal one that refused to go must not hold this loop.
        if (dialog->isVisible()) dialog->hide();
    }
}

}  // namespace

void TFormMasterKvd::CreateLeaving() {
    TLeaving::THost host;
    host.AskAbort = [this] { return Prompts().AskYesNo(LookupText("0.0").trimmed(), LookupText("30.1")); };
    host.DismissDialogs = [] { DismissModalDialogs(); };
    host.Log = [this](const QString& line) {
        AddLog(line);
        SetStatus(line);
    };
    host.CloseLater = [this] {
        QTimer::singleShot(0, this, [this] {
            // A run that the last one started (the verification when the restart could not start)
            // is aborted as well.
            if (Runner->Running())
                Runner->Abort();
            else
                close();
        });
    };
    host.EndWithoutWaiting = [this] {
        if (Services.EndProcess) {
            Services.EndProcess();
            return;
        }
        // The job's threads may be inside the drive: nothing is saved, nothing is destroyed.
        std::_Exit(EXIT_FAILURE);
    };
    Leaving = std::make_unique<TLeaving>(*Runner, *PromptsInUse, std::move(host));
    PromptsInUse = &Leaving->Prompts();
    Runner->OnRefused = [this] {
        AddLog(LookupText("30.0"));
        SetStatus(LookupText("30.0"));
    };
    Runner->OnAbortOverdue = [this] {
        RestoreApplication();
        Leaving->AbortOverdue();
    };
    Inputs = std::make_unique<TDeferredInputs>([this] {
        const TOperation operation = Operation();
        return Closed || (Created && !QApplication::activeModalWidget() && operation != TOperation::Adding &&
                          operation != TOperation::ReadingDisc);
    });
}

void TFormMasterKvd::closeEvent(QCloseEvent* event) {
    if (!Closed && !Leaving->MayClose(TLeaving::TWay::Ask)) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TFormMasterKvd::LeaveAtOnce() {
    if (!Closed && Leaving->MayClose(TLeaving::TWay::AtOnce)) close();
}

void TFormMasterKvd::FormClose() {
    if (Closed || !Core) return;
    Closed = true;
    if (FormDrop) CloseDropWindow();
    Settings().CommandVolumeName = EditCommandVolumeName->text();
    Core->Shutdown();
    if (RestartRequested) {
        // The new process waits for this one's lock: it finds the drives and media free first.
        if (Services.InstanceServer) Services.InstanceServer->Close();
        ReleaseDrivesForRestart();
        if (Services.InstanceLock) Services.InstanceLock->Unlock();
    }
    if (SxTrayIcon) SxTrayIcon->hide();
    emit ProgramLeft();
}

}  // namespace kv
