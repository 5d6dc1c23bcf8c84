#include "window/ScreenshotHooks.h"

#include "window/FormMasterKvd.h"
#include "window/ListComboBox.h"
#include "window/QueueModel.h"
#include "dialogs/FormBurnInProgress.h"
#include "dialogs/FormDiscInfo.h"
#include "dialogs/FormShutDown.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QSet>
#include <QTimer>

namespace kv {
namespace {

constexpr int kWatchMs = 50;
constexpr qint64 kClosingPicturesApartMs = 5000;
// Windows pictured the first time they show, named by their object names.
const QStringList kPicturedWindows{"FormSettings", "FormAbout", "FormUserGuide"};

void Save(QWidget& widget, const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Labels changed in this turn of the event loop are laid out before the picture is taken.
    if (QLayout* layout = widget.layout()) layout->activate();
    widget.grab().save(path);
}

// Watches the progress window on a short timer; the gaps between its ticks are the event loop's
// pauses.
class TProgressWatch : public QObject {
public:
    TProgressWatch(TFormMasterKvd& form, const QString& stem) : QObject(&form), Form(form), Stem(stem) {
        connect(&Timer, &QTimer::timeout, this, [this] { Tick(); });
        Timer.start(kWatchMs);
        SinceTick.start();
    }

    // A run that ends in a restart closes the program right after the progress window.
    ~TProgressWatch() override {
        if (Watching) WritePauses();
    }

private:
    void Tick() {
        const qint64 gap = SinceTick.restart();
        if (TFormShutDown* countdown = Form.ShutdownWindow(); countdown && countdown->isVisible() && !ShutdownSaved) {
            ShutdownSaved = true;
            Save(*countdown, Stem + "-shutdown.png");
        }
        if (TFormDiscInfo* info = Form.DiscInfoWindow();
            info && info->isVisible() && !DiscInfoSaved && info->Facts->LabelMediumTypeValue->text() != "???") {
            DiscInfoSaved = true;
            Save(*info, Stem + "-discinfo.png");
        }
        if (TFormSelectBurnMode* chooser = Form.BurnModeChooser(); chooser && chooser->isVisible() && !ChooserSaved) {
            ChooserSaved = true;
            Save(*chooser, Stem + "-burnmode.png");
        }
        SaveShownWindows();
        WatchTree(gap);
        TFormBurnInProgress* progress = Form.ProgressWindow();
        if (!progress || !progress->isVisible()) {
            if (Watching) WritePauses();
            Watching = false;
            return;
        }
        if (!Watching) {
            Watching = true;
            LongestPause = 0;
            WritingSaved = EndSaved = VerifyingSaved = ErasingSaved = ConvertingSaved = AudioSaved = false;
            ClosingSaved = ClosingLaterSaved = false;
        } else {
            LongestPause = std::max(LongestPause, gap);
        }
        if (!ErasingSaved && progress->Mode() == TFormBurnInProgress::TMode::Erase &&
            progress->GaugeProgress->value() > 0) {
            ErasingSaved = true;
            Save(*progress, Stem + "-progress-erasing.png");
        }
        if (!ConvertingSaved && progress->Mode() == TFormBurnInProgress::TMode::AudioConversion &&
            progress->GaugeProgress->value() > 0) {
            ConvertingSaved = true;
            Save(*progress, Stem + "-progress-converting.png");
        }
        if (!AudioSaved && progress->Mode() == TFormBurnInProgress::TMode::AudioWrite &&
            progress->LabelMBWrittenValue->text().endsWith("MByte") && progress->GaugeProgress->value() > 0) {
            AudioSaved = true;
            Save(*progress, Stem + "-progress-audio.png");
        }
        if (!VerifyingSaved && Form.Operation() == TOperation::Verifying &&
            progress->GaugeProgress->value() > 0) {
            VerifyingSaved = true;
            Save(*progress, Stem + "-progress-verifying.png");
        }
        if (!WritingSaved && progress->Mode() == TFormBurnInProgress::TMode::DataWrite &&
            Form.Operation() != TOperation::Verifying &&
            progress->LabelMBWrittenValue->text().endsWith("MByte") && progress->GaugeProgress->value() > 0) {
            WritingSaved = true;
            Save(*progress, Stem + "-progress-writing.png");
        }
        // The close of the session twice, 5 s apart: the elapsed time must have moved on.
        if (progress->ClosingTheDisc()) {
            if (!ClosingSaved) {
                ClosingSaved = true;
                SinceClosing.start();
                Save(*progress, Stem + "-progress-closing.png");
            } else if (!ClosingLaterSaved && SinceClosing.elapsed() >= kClosingPicturesApartMs) {
                ClosingLaterSaved = true;
                Save(*progress, Stem + "-progress-closing-later.png");
            }
        }
        if (!EndSaved && progress->EndShown()) {
            EndSaved = true;
            Save(*progress, Stem + "-progress-end.png");
        }
    }

    // Adding to the tree and measuring playing times, watched like a run: the gap that led into
    // it counts (a walk may take a whole turn of the event loop) and so does the one out of it.
    void WatchTree(qint64 gap) {
        const bool busy = Form.Operation() == TOperation::Adding || Form.Queue().DurationsPending();
        if (busy || TreeWatching) LongestPause = TreeWatching ? std::max(LongestPause, gap) : gap;
        if (busy == TreeWatching) return;
        TreeWatching = busy;
        if (!busy) WritePauses();
    }

    void SaveShownWindows() {
        if (QWidget* list = Form.ComboBoxDriveName->view()->window(); list->isVisible() && !DriveListSaved) {
            DriveListSaved = true;
            Save(*list, Stem + "-drive-list.png");
        }
        for (QWidget* window : QApplication::topLevelWidgets()) {
            const QString name = window->objectName();
            if (window->isVisible() && kPicturedWindows.contains(name) && !SavedWindows.contains(name)) {
                SavedWindows.insert(name);
                Save(*window, Stem + "-" + name + ".png");
            }
        }
    }

    void WritePauses() const {
        QFile file(Stem + "-pauses.txt");
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(QByteArray::number(LongestPause) + "\n");
    }

    TFormMasterKvd& Form;
    QString Stem;
    QTimer Timer;
    QElapsedTimer SinceTick;
    bool Watching = false;
    bool TreeWatching = false;
    bool WritingSaved = false;
    bool EndSaved = false;
    bool VerifyingSaved = false;
    bool ShutdownSaved = false;
    bool ErasingSaved = false;
    bool DiscInfoSaved = false;
    bool ChooserSaved = false;
    bool ConvertingSaved = false;
    bool AudioSaved = false;
    bool ClosingSaved = false;
    bool ClosingLaterSaved = false;
    bool DriveListSaved = false;
    QSet<QString> SavedWindows;
    QElapsedTimer SinceClosing;
    qint64 LongestPause = 0;
};

}  // namespace

void InstallScreenshotHooks(TFormMasterKvd& form) {
    const QString path = qEnvironmentVariable("KELVADORE_SCREENSHOT");
    if (path.isEmpty()) return;
    QObject::connect(&form, &TFormMasterKvd::DrivesReady, &form, [&form, path] {
        // One more turn of the event loop, so that the window has painted what it was given.
        QTimer::singleShot(200, &form, [&form, path] { Save(form, path); });
    });
    QString stem = path;
    if (stem.endsWith(".png", Qt::CaseInsensitive)) stem.chop(4);
    new TProgressWatch(form, stem);
}

}  // namespace kv
