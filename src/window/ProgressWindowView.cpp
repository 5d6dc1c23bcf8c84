#include "window/ProgressWindowView.h"

#include "flows/FlowRunner.h"
#include "window/FormMasterKvd.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>

namespace kv {
namespace {

TFormBurnInProgress::TMode ModeOf(TProgressMode mode) {
    switch (mode) {
        case TProgressMode::Erase:
            return TFormBurnInProgress::TMode::Erase;
        case TProgressMode::AudioConversion:
            return TFormBurnInProgress::TMode::AudioConversion;
        case TProgressMode::AudioWrite:
            return TFormBurnInProgress::TMode::AudioWrite;
        case TProgressMode::ReadImage:
            return TFormBurnInProgress::TMode::ReadImage;
        case TProgressMode::CopyDisc:
            return TFormBurnInProgress::TMode::CopyDisc;
        case TProgressMode::DataWrite:
            break;
    }
    return TFormBurnInProgress::TMode::DataWrite;
}

}  // namespace

TProgressWindowView::TProgressWindowView(TFormMasterKvd& form, TFlowRunner& runner)
    : Form(form), Runner(runner) {}

// A window of its own, not a child of the main window.
TProgressWindowView::~TProgressWindowView() {
    delete FormBurnInProgress;
}

void TProgressWindowView::Create() {
    auto* window = new TFormBurnInProgress(Form.Settings(), Form.Prompts());
    FormBurnInProgress = window;
    window->ProgressSource = [this] { return Runner.Progress(); };
    window->OnAbort = [this] { Runner.Abort(); };
    window->LogLine = [this](const QString& text) { Form.AddLog(text); };
    window->OnStatus = [this](const QString& text) { Form.SetStatus(text); };
    window->OnTrayNumber = [this](int number, const QColor& colour) { Form.SetTrayProgress(number, colour); };
    // The main window is hidden while the progress window is open: minimising leaves it so.
    window->OnMinimize = [this] {
        if (Form.isVisible()) Form.showMinimized();
    };
    window->OnLinkClicked = [this](const QUrl& url) { Form.LogLinkClicked(url); };
    TLogDocument& log = Form.LogDocument();
    log.ForwardToProgress = [this](const QString& html, bool noBreak, bool withTime) {
        if (FormBurnInProgress) FormBurnInProgress->Log.AddLogHtml(html, noBreak, withTime);
    };
    QObject::connect(window, &QObject::destroyed, &Form, [this, &log] {
        FormBurnInProgress = nullptr;
        log.ForwardToProgress = nullptr;
    });
    window->setAttribute(Qt::WA_DeleteOnClose);
}

void TProgressWindowView::Open(TProgressMode mode) {
    if (!FormBurnInProgress) Create();
    FormBurnInProgress->ImageFileName.clear();
    FormBurnInProgress->Prepare(ModeOf(mode));
    Form.hide();
    FormBurnInProgress->show();
    FormBurnInProgress->raise();
    FormBurnInProgress->activateWindow();
}

void TProgressWindowView::Prepare(TProgressMode mode) {
    if (FormBurnInProgress) FormBurnInProgress->Prepare(ModeOf(mode));
}

void TProgressWindowView::PresetChoices(const TAfterFinishChoices& ticked, bool verifyEnabled,
                                        bool ejectEnabled) {
    TFormBurnInProgress* window = FormBurnInProgress;
    if (!window) return;
    switch (window->Mode()) {
        case TFormBurnInProgress::TMode::Erase:
            window->CheckBoxDriveEjectAfterErase->setChecked(ticked.Eject);
            break;
        case TFormBurnInProgress::TMode::AudioWrite:
            window->CheckBoxDriveEjectAfterAudioWrite->setChecked(ticked.Eject);
            break;
        case TFormBurnInProgress::TMode::DataWrite:
            window->CheckBoxDriveEjectAfterWrite->setChecked(ticked.Eject);
            window->CheckBoxVerifyData->setChecked(ticked.Verify);
            window->CheckBoxDriveEjectAfterWrite->setEnabled(ejectEnabled);
            window->CheckBoxVerifyData->setEnabled(verifyEnabled);
            break;
        case TFormBurnInProgress::TMode::AudioConversion:
        case TFormBurnInProgress::TMode::ReadImage:
        case TFormBurnInProgress::TMode::CopyDisc:
            break;
    }
}

TAfterFinishChoices TProgressWindowView::Choices() const {
    const TFormBurnInProgress* window = FormBurnInProgress;
    if (!window) return {};
    switch (window->Mode()) {
        case TFormBurnInProgress::TMode::Erase:
            return {false, window->CheckBoxDriveEjectAfterErase->isChecked(), false};
        case TFormBurnInProgress::TMode::AudioWrite:
            return {false, window->CheckBoxDriveEjectAfterAudioWrite->isChecked(),
                    window->CheckBoxShutdownAfterFinishAudioWrite->isChecked()};
        case TFormBurnInProgress::TMode::DataWrite:
            return {window->CheckBoxVerifyData->isChecked(),
                    window->CheckBoxDriveEjectAfterWrite->isChecked(),
                    window->CheckBoxShutdownAfterFinish->isChecked()};
        case TFormBurnInProgress::TMode::AudioConversion:
        case TFormBurnInProgress::TMode::ReadImage:
        case TFormBurnInProgress::TMode::CopyDisc:
            break;
    }
    return {};
}

void TProgressWindowView::SetCaption(const QString& text) {
    if (FormBurnInProgress) FormBurnInProgress->setWindowTitle(text);
}

void TProgressWindowView::SetImageFile(const QString& path) {
    if (FormBurnInProgress) FormBurnInProgress->ImageFileName = path;
}

void TProgressWindowView::SetProgressMaximum(qint64 blocks) {
    if (FormBurnInProgress) FormBurnInProgress->SetProgressMaximum(blocks);
}

void TProgressWindowView::SetReadSpeedUnit(double kbsPerX) {
    if (FormBurnInProgress) FormBurnInProgress->ReadSpeedUnit = kbsPerX;
}

void TProgressWindowView::ShowFinalizing(qint64 blocks) {
    if (FormBurnInProgress) FormBurnInProgress->ShowFinalizing(blocks);
}

void TProgressWindowView::ShowEnded(const QString& text) {
    if (FormBurnInProgress) FormBurnInProgress->ShowEnded(text);
}

void TProgressWindowView::ClearGauges() {
    TFormBurnInProgress* window = FormBurnInProgress;
    if (!window) return;
    window->GaugeProgress->setValue(0);
    window->GaugeDriveBuffer->setValue(0);
    window->GaugeSoftwareBuffer->setValue(0);
    window->LabelTimeElapsedValue->clear();
    window->LabelTimeRemainingValue->clear();
}

void TProgressWindowView::StopRefresh() {
    if (FormBurnInProgress) FormBurnInProgress->StopRefresh();
}

void TProgressWindowView::ShowAsVerification() {
    if (FormBurnInProgress) FormBurnInProgress->ShowAsVerification();
}

void TProgressWindowView::ShowVerifiedFile(const QString& path, qint64 value, qint64 maximum) {
    TFormBurnInProgress* window = FormBurnInProgress;
    if (!window) return;
    window->LabelDataTrackName->setText(path.isEmpty() ? QString("???") : QFileInfo(path).fileName());
    window->LabelDataTrackName->setToolTip(path);
    window->GaugeProgress->setRange(0, static_cast<int>(std::min<qint64>(maximum, INT32_MAX)));
    window->GaugeProgress->setValue(static_cast<int>(std::min<qint64>(value, INT32_MAX)));
}

void TProgressWindowView::Close() {
    if (FormBurnInProgress) FormBurnInProgress->CloseByProgram();
}

}  // namespace kv
