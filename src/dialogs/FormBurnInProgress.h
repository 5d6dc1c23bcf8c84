#pragma once
#include "app/LogDocument.h"
#include "app/Prompts.h"
#include "jobs/JobTypes.h"

#include <QColor>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTextBrowser;

namespace kv {

struct TSettings;

// Elapsed time since the last reset and the time left, linear in the position.
class TTimeEstimator {
public:
    void Reset() { Clock.start(); }
    qint64 ElapsedMs() const { return Clock.isValid() ? Clock.elapsed() : 0; }
    // -1 while nothing has been done yet.
    qint64 RemainingMs(qint64 position, qint64 maximum) const;

private:
    QElapsedTimer Clock;
};

// "05 min. 07 sec.": the time labels' form.
QString MinutesSecondsText(qint64 ms);

// The window shown while a long operation runs: its log, the gauges, the time, the abort button
// and the "after finish" boxes. It reads the running job's progress snapshot on a timer and never
// talks to a drive; an abort goes to the main window, which cancels the job. The operation ends
// through its own finished event: after an abort the window stays, its buttons disabled, until
// the main window closes it.
class TFormBurnInProgress : public QDialog {
    Q_OBJECT

public:
    enum class TMode { Erase, AudioConversion, DataWrite, AudioWrite, ReadImage, CopyDisc };

    TFormBurnInProgress(TSettings& settings, IPrompts& prompts, QWidget* parent = nullptr);
    ~TFormBurnInProgress() override;

    // Mode set-up: panels, caption, gauges, estimator; starts the refresh timer.
    void Prepare(TMode mode);
    TMode Mode() const { return CurrentMode; }

    // What the window reads (nothing while no job runs) and whom it tells; set by the main window.
    std::function<std::optional<jobs::TJobProgress>()> ProgressSource;
    // The user confirmed the abort (the window has logged the line through `LogLine`).
    std::function<void()> OnAbort;
    std::function<void(const QString& text)> LogLine;
    std::function<void(const QString& status)> OnStatus;
    // -1: the application icon; otherwise a number in a colour.
    std::function<void(int number, const QColor& colour)> OnTrayNumber;
    // Minimising the window minimises the whole application.
    std::function<void()> OnMinimize;
    // A link clicked in the log opens outside, as the main window's log does.
    std::function<void(const QUrl& url)> OnLinkClicked;

    // One refresh, as the timer does it (tests call it directly).
    void TimerCDTimer();
    void StopRefresh() {
        TimerCD.stop();
        TimerClosing.stop();
    }
    // The track is being closed: cleared buffers, a busy gauge, the elapsed time still running,
    // and no abort (the drive finishes the close whatever is sent).
    void ShowFinalizing(qint64 imageSizeBlocks);
    bool ClosingTheDisc() const { return Closing; }
    bool EndShown() const { return Ended; }
    // The run has ended well: said in the window for the moment before it closes.
    void ShowEnded(const QString& text);
    // An image file being burned shows its path as the current file.
    QString ImageFileName;
    // The gauge's maximum in blocks once the write has started.
    void SetProgressMaximum(qint64 blocks);
    // A disc read shows its speed also as a factor of this many KB/s (the medium's "1X").
    double ReadSpeedUnit = 0;
    // The verification after a restart: its caption, a lime gauge, no buffer or write panel; the
    // main window drives the gauge itself.
    void ShowAsVerification();
    // Closed by the program at the end of the operation: no question.
    void CloseByProgram();
    bool AbortRequested() const { return Aborting; }
    void SetBoxesEnabled(bool enabled);

    TLogDocument Log;
    bool ClosingAllowed = false;

    QTextBrowser* EmbeddedWBMemoLog;
    QWidget* PanelBuffer;
    QLabel* LabelDriveBuffer;
    QProgressBar* GaugeDriveBuffer;
    QLabel* LabelSoftwareBuffer;
    QProgressBar* GaugeSoftwareBuffer;
    QLabel* LabelCacheCounts;
    QLabel* LabelMBWritten;
    QLabel* LabelMBWrittenValue;
    QWidget* PanelProgress;
    QLabel* LabelProgress;
    QProgressBar* GaugeProgress;
    QWidget* PanelTime;
    QLabel* LabelTimeElapsed;
    QLabel* LabelTimeElapsedValue;
    QLabel* LabelTimeRemaining;
    QLabel* LabelTimeRemainingValue;
    QWidget* PanelEraseCD;
    QPushButton* ButtonAbortErase;
    QCheckBox* CheckBoxDriveEjectAfterErase;
    QWidget* PanelWriteCD;
    QLabel* LabelDataTrack;
    QLabel* LabelDataTrackName;
    QPushButton* ButtonAbortWrite;
    QCheckBox* CheckBoxVerifyData;
    QCheckBox* CheckBoxDriveEjectAfterWrite;
    QCheckBox* CheckBoxShutdownAfterFinish;
    QWidget* PanelWriteAudioCD;
    QLabel* LabelAudioTrackCurrent;
    QLabel* LabelAudioTrackCurrentName;
    QPushButton* ButtonAbortAudioWrite;
    QCheckBox* CheckBoxDriveEjectAfterAudioWrite;
    QCheckBox* CheckBoxShutdownAfterFinishAudioWrite;
    QWidget* PanelAudioProgress;
    QLabel* LabelAudioTrack;
    QLabel* LabelAudioTrackName;
    QPushButton* ButtonAbortAudioConversion;
    QWidget* PanelReadDisc;
    QLabel* LabelReadStage;
    QLabel* LabelReadSector;
    QLabel* LabelReadSpeed;
    QLabel* LabelReadErrors;
    QPushButton* ButtonAbortRead;
    QTimer TimerCD;
    QTimer TimerClosing;  // the elapsed time while the drive closes the session

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void CreateControls();
    void ApplyCaptions();
    void UpdateTimeLabels();
    void ShowTrayTick();
    int GaugePercent() const;
    void TickErase(const jobs::TJobProgress& p);
    void TickDataWrite(const jobs::TJobProgress& p);
    void TickAudioWrite(const jobs::TJobProgress& p);
    void TickDiscRead(const jobs::TJobProgress& p);
    // Sector, speed and unreadable sectors; "???" where the job is not reading the disc.
    void ShowReadFigures(const jobs::TJobProgress& p);

    TSettings& Settings;
    IPrompts& Prompts;
    TMode CurrentMode = TMode::DataWrite;
    TTimeEstimator Estimator;
    bool TrayNumberShown = false;
    bool Aborting = false;
    bool Closing = false;
    bool Ended = false;
    bool FirstShowDone = false;
    QString LastAudioFile;
};

}  // namespace kv
