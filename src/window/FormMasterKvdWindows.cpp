// The add-files window, the drop window, the print window and the capacity bars below the tree.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QVBoxLayout>

#include "app/LabelTemplates.h"
#include "app/Playlists.h"
#include "window/FormCustomizeEasyToolbar.h"
#include "window/FormDrop.h"
#include "window/FormMasterKvd.h"
#include "window/FormSelectFilesDirectories.h"
#include "window/FrameSizeBar.h"
#include "window/ListComboBox.h"
#include "window/QueueModel.h"
#include "window/QueueTreeView.h"
#include "dialogs/FormPrint.h"
#include "dialogs/FormSettings.h"
#include "flows/FlowRunner.h"
#include "window/DeferredInputs.h"

namespace kv {

using I = TActionId;

// ---- the settings dialog and the customize window -------------------------------------------------

void TFormMasterKvd::OpenSettings(int page) {
    if (FormSettings) {
        FormSettings->show();
        FormSettings->raise();
        FormSettings->activateWindow();
        return;
    }
    // Its pages change what a run reads (the drive's options, the WAV folder).
    if (!Runner->Admit()) return;
    TFormSettings::THost host;
    host.Settings = &Settings();
    host.Prompts = &Prompts();
    host.LanguagesFolder = Core->Folders().LanguagesFolder;
    // The drive as the window knows it: preparing the burner again here would wait on the drive.
    host.DriveName = ComboBoxDriveName->currentData().toString();
    host.DriveLetter = Selection.Letter;
    host.SaveSettings = [this] {
        // The tree shows folder sizes or not as the setting says at its next paint.
        VirtualStringTreeQueue->viewport()->update();
        return Core->SaveSettings();
    };
    host.ModifyLanguage = [this](const QString& name) { LanguageCommands->EditLanguage(name); };
    host.CheckLanguage = [this] { LanguageCommands->WriteDifferencesReport(Settings().Language); };
    host.SubmitLanguage = [this](const QString& name) { LanguageCommands->SubmitLanguage(name); };
    TFormSettings dialog(std::move(host), this);
    FormSettings = &dialog;
    dialog.ShowPage(page);
    // At the top of the screen, horizontally centred (where the platform lets a program place it).
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        dialog.move(area.x() + (area.width() - dialog.width()) / 2, area.y());
    }
    dialog.exec();
    FormSettings = nullptr;
}

void TFormMasterKvd::ActionCutomizeToolBarEasyExecute() {
    TFormCustomizeEasyToolbar dialog(*this);
    dialog.exec();
}

// ---- the add-files window ---------------------------------------------------------------------

void TFormMasterKvd::ActionAddFilesDirsExecute() {
    if (!FormSelectFilesDirectories) {
        FormSelectFilesDirectories = new TFormSelectFilesDirectories(this);
        FormSelectFilesDirectories->OnAdd = [this](const QStringList& paths) { AddPathsToRoot(paths, true); };
    }
    TFormSelectFilesDirectories* form = FormSelectFilesDirectories;
    TSettings& s = Settings();
    // The first time (or when the folder has gone) the window opens at home, not at "/".
    form->ShowFolder(!s.AddFilesFolder.isEmpty() && QFileInfo(s.AddFilesFolder).isDir() ? s.AddFilesFolder
                                                                                       : QDir::homePath());
    const QSize size(s.AddFilesWidth > 0 ? s.AddFilesWidth : TFormSelectFilesDirectories::kDesignedWidth,
                     s.AddFilesHeight > 0 ? s.AddFilesHeight : TFormSelectFilesDirectories::kDesignedHeight);
    form->resize(size);
    if (s.AddFilesTop == 0 || s.AddFilesLeft == 0) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QSize free = screen ? screen->size() - size : QSize();
        form->move(std::max(0, free.width() / 2), std::max(0, free.height() / 2));
    } else {
        form->move(s.AddFilesLeft, s.AddFilesTop);
    }
    form->exec();

    s.AddFilesFolder = form->CurrentFolder();
    s.AddFilesTop = form->pos().y();
    s.AddFilesLeft = form->pos().x();
    s.AddFilesHeight = form->height();
    s.AddFilesWidth = form->width();
    VirtualStringTreeQueue->ScrollToLastVisible();
    FormSelectFilesDirectories = nullptr;
    form->deleteLater();
}

// ---- the print window -------------------------------------------------------------------------

void TFormMasterKvd::ActionPrintExecute() {
    if (FormPrint) {
        FormPrint->show();
        FormPrint->raise();
        FormPrint->activateWindow();
        return;
    }
    TFormPrint::TSource source;
    source.PageTitle = [this] {
        // Titled as the disc it would become: an audio CD only when every file is audio.
        bool anyFile = false, allAudio = true;
        Queue().Root().ForEachBelow([&](const TQueueItem& item) {
            if (item.Node.IsFolder) return;
            anyFile = true;
            allAudio = allAudio && item.Node.IsAudio;
        });
        if (anyFile && allAudio)
            return ExpandAudioLabel(LabelSource(EditCommandVolumeName->text(), Settings().AudioVolumeName),
                                    Settings(), Runner->Counted.Files, Runner->Counted.Folders);
        return ExpandDataLabel(LabelSource(EditCommandVolumeName->text(), Settings().VolumeName), Settings(),
                               Runner->Counted.Files, Runner->Counted.Folders);
    };
    source.Rows = [this](bool selectedOnly) { return PrintRows(selectedOnly); };
    source.SaveSettings = [this] { Core->SaveSettings(); };
    TFormPrint form(Settings(), Prompts(), std::move(source), this);
    FormPrint = &form;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        form.move((screen->size().width() - form.width()) / 2, 0);
    form.exec();
    FormPrint = nullptr;
}

QList<QStringList> TFormMasterKvd::PrintRows(bool selectedOnly) const {
    QSet<const TQueueItem*> selected;
    if (selectedOnly)
        for (const QModelIndex& index : VirtualStringTreeQueue->selectionModel()->selectedRows(TQueueModel::ColName))
            selected.insert(QueueModel->ItemOf(index));
    QList<QStringList> rows;
    std::vector<TQueueItem*> pending;
    const TQueueItem& root = QueueModel->Root();
    for (int i = root.ChildCount() - 1; i >= 0; --i) pending.push_back(root.Child(i));
    while (!pending.empty()) {
        TQueueItem* item = pending.back();
        pending.pop_back();
        for (int i = item->ChildCount() - 1; i >= 0; --i) pending.push_back(item->Child(i));
        // A selected folder does not bring its contents along.
        if (selectedOnly && !selected.contains(item)) continue;
        QueueModel->ResolveNodeInfo(*item);
        QStringList row;
        for (int column = 0; column < TQueueModel::ColumnCount; ++column) row << QueueModel->ColumnText(*item, column);
        rows << row;
    }
    return rows;
}

// ---- the drop window --------------------------------------------------------------------------

void TFormMasterKvd::ActionShowDropExecute() {
    if (!FormDrop) {
        FormDrop = new TFormDrop;
        FormDrop->PopupMenu->addAction(Action(I::Burn));
        FormDrop->PopupMenu->addAction(Action(I::BurnAudio));
        FormDrop->PopupMenu->addSeparator();
        FormDrop->PopupMenu->addAction(FormDrop->MenuItemClose);
        connect(FormDrop, &TFormDrop::CloseRequested, this, [this] { CloseDropWindow(); });
        // Names 2 to n, then 1, as from any drop; playlists alone are imported in drop order.
        connect(FormDrop, &TFormDrop::FilesDropped, this, [this](const QStringList& paths) {
            if (!AllPlaylists(paths)) {
                DropFiles(paths);
                return;
            }
            Inputs->Run([this, paths] {
                if (!CanStartAdding()) return;
                BeginAdding();
                ImportPlaylists(paths);
                EndAdding();
                UpdateTreeActions(false);
            });
        });
        connect(qApp, &QGuiApplication::applicationStateChanged, FormDrop,
                [this](Qt::ApplicationState state) {
                    if (state != Qt::ApplicationActive && FormDrop) FormDrop->raise();
                });
    }
    TSettings& s = Settings();
    int top = std::max(0, s.DropFormTop);
    int left = std::max(0, s.DropFormLeft);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize area = screen ? screen->size() : QSize(1024, 768);
    if (top + FormDrop->height() >= area.height() || left + FormDrop->width() >= area.width()) top = left = 0;
    FormDrop->move(left, top);
    FormDrop->setWindowOpacity(std::clamp(s.DropFormAlpha, 0, 255) / 255.0);
    RefreshDropWindowTotals();
    FormDrop->show();
    FormDrop->raise();
    FormDrop->activateWindow();
    hide();
}

void TFormMasterKvd::CloseDropWindow() {
    if (!FormDrop) return;
    Settings().DropFormTop = FormDrop->y();
    Settings().DropFormLeft = FormDrop->x();
    FormDrop->hide();
    FormDrop->deleteLater();
    FormDrop = nullptr;
    if (Closed) return;
    show();
    raise();
    activateWindow();
}

// ---- the capacity bars ------------------------------------------------------------------------

QList<TFrameSizeBar*> TFormMasterKvd::CapacityBars() const {
    QList<TFrameSizeBar*> bars;
    const QLayout* layout = PanelSizeBars->layout();
    for (int i = 0; i < layout->count(); ++i)
        if (auto* bar = qobject_cast<TFrameSizeBar*>(layout->itemAt(i)->widget())) bars.append(bar);
    return bars;
}

void TFormMasterKvd::UpdateCapacityBars(uint32_t capabilities) {
    const QList<TFrameSizeBar::TVariant> wanted = CapacityBarsFor(capabilities);
    for (TFrameSizeBar* bar : CapacityBars()) {
        if (!wanted.contains(bar->Variant())) delete bar;
    }
    auto* layout = static_cast<QVBoxLayout*>(PanelSizeBars->layout());
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        if (PanelSizeBars->findChild<TFrameSizeBar*>(FrameSizeBarName(wanted[i]))) continue;
        // Kept in the table's order, whatever the order of the drive changes that made them.
        int at = 0;
        for (qsizetype j = 0; j < i; ++j)
            if (PanelSizeBars->findChild<TFrameSizeBar*>(FrameSizeBarName(wanted[j]))) ++at;
        layout->insertWidget(at, new TFrameSizeBar(wanted[i], PanelSizeBars));
    }
    const TTreeTotals totals = TreeTotals(QueueModel->Root());
    SetCapacityValues(totals.Duration / 60, totals.Size);
}

void TFormMasterKvd::SetCapacityValues(double minutes, qint64 bytes) {
    for (TFrameSizeBar* bar : CapacityBars()) {
        if (bar->Variant() == TFrameSizeBar::TVariant::CdAudio)
            bar->SetValue(minutes);
        else
            bar->SetValue(static_cast<double>(bytes) / 1024 / 1024);
    }
}

}  // namespace kv
