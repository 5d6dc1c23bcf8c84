#include "window/WindowFlowHost.h"

#include "flows/FlowRunner.h"
#include "window/FormMasterKvd.h"
#include "window/QueueModel.h"
#include "window/QueueTreeView.h"

#include <QApplication>
#include <QLineEdit>

namespace kv {

TWindowFlowHost::TWindowFlowHost(TFormMasterKvd& form) : Form(form) {}

TWindowFlowHost::~TWindowFlowHost() = default;

void TWindowFlowHost::SetRunner(TFlowRunner& runner) {
    View = std::make_unique<TProgressWindowView>(Form, runner);
}

TSettings& TWindowFlowHost::Settings() {
    return Form.Settings();
}
bool TWindowFlowHost::SaveSettings() {
    return Form.Core->SaveSettings();
}
QString TWindowFlowHost::ProgramFolder() {
    return Form.Core->Folders().ProgramFolder;
}
TStorageQuery& TWindowFlowHost::Storage() {
    return Form.Storage;
}
IPrompts& TWindowFlowHost::Prompts() {
    return Form.Prompts();
}

bool TWindowFlowHost::Confirm(TConfirmationKind kind, const QString& titleKey, const QString& text) {
    return Form.Confirm(kind, titleKey, text);
}

TLogDocument& TWindowFlowHost::Log() {
    return Form.Log;
}
void TWindowFlowHost::ShowStatus(const QString& text) {
    Form.SetStatus(text);
}
void TWindowFlowHost::ShowTrayNumber(int number, uint32_t rgb) {
    Form.SetTrayProgress(number, QColor::fromRgb(rgb));
}

void TWindowFlowHost::ShowWaitCursor(bool shown) {
    if (shown)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TWindowFlowHost::RestoreApplication() {
    Form.RestoreApplication();
}
void TWindowFlowHost::CloseDropWindow() {
    Form.CloseDropWindow();
}

IProgressView& TWindowFlowHost::OpenProgress(TProgressMode mode) {
    View->Open(mode);
    return *View;
}

IProgressView* TWindowFlowHost::Progress() {
    return View && View->Window() ? View.get() : nullptr;
}

void TWindowFlowHost::AfterDataBurn(const TAfterFinishChoices& choices) {
    if (Form.AfterDataBurn) Form.AfterDataBurn(choices);
}

void TWindowFlowHost::ShutdownAfterFinish() {
    if (Form.ShutdownAfterFinish) Form.ShutdownAfterFinish();
}

bool TWindowFlowHost::RestartForVerification() {
    // The new process waits for this one's lock (it carries the restart token), so it is started
    // while this one still holds everything: a start that fails leaves this instance as it was.
    if (!Form.Services.Launcher->StartDetached(QCoreApplication::applicationFilePath(), {})) return false;
    Form.RestartRequested = true;
    Form.close();
    return true;
}

const TQueueItem& TWindowFlowHost::Root() {
    return Form.QueueModel->Root();
}
QString TWindowFlowHost::TypedVolumeName() {
    return Form.EditCommandVolumeName->text();
}
bool TWindowFlowHost::SessionImported() {
    return Form.SessionImported;
}
void TWindowFlowHost::SetSessionImported(bool imported) {
    Form.SessionImported = imported;
}
void TWindowFlowHost::RemoveImportedEntries() {
    Form.QueueModel->DeleteImportedNodes();
}
void TWindowFlowHost::RemoveEntries(const QList<TQueueItem*>& entries) {
    Form.QueueModel->RemoveItems(entries);
}

void TWindowFlowHost::AppendEntries(std::vector<std::unique_ptr<TQueueItem>> entries) {
    TQueueModel& model = *Form.QueueModel;
    model.AppendTopLevel(std::move(entries));
    const int last = model.Root().ChildCount() - 1;
    if (last >= 0) Form.VirtualStringTreeQueue->setCurrentIndex(model.index(last, 0));
}

void TWindowFlowHost::RefreshTree(bool quiet) {
    Form.UpdateTreeActions(quiet);
}
bool TWindowFlowHost::LoadProject(const QString& path) {
    return Form.LoadProject(path);
}
TDriveTasks& TWindowFlowHost::Drive() {
    return *Form.Drive;
}
void TWindowFlowHost::ApplyPreparation(const TPrepareOutcome& outcome) {
    Form.ApplyPreparation(outcome);
}
void TWindowFlowHost::DiscChanged() {
    Form.SpeedTag = 0;
}
QString TWindowFlowHost::SelectedLetter() {
    return Form.SelectedLetter();
}

}  // namespace kv
