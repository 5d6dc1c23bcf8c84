#include "dialogs/FormBurnInProgress.h"
#include "dialogs/LogView.h"

#include "app/DataBurnSteps.h"
#include "app/MessageCatalogue.h"
#include "app/Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace kv {
namespace {

constexpr int kFirstTickMs = 100;
constexpr int kTickMs = 500;
constexpr int kHeight = 550;
constexpr int kWidth = 520;

// Each mode's abort question and the log line of a confirmed abort.
struct TAbortTexts {
    const char* Question;
    const char* LogLine;
};
TAbortTexts AbortTextsOf(TFormBurnInProgress::TMode mode) {
    switch (mode) {
        case TFormBurnInProgress::TMode::Erase: return {"12.21", "11.40"};
        case TFormBurnInProgress::TMode::AudioConversion: return {"12.22", "11.41"};
        case TFormBurnInProgress::TMode::AudioWrite: return {"12.27", "11.55"};
        case TFormBurnInProgress::TMode::ReadImage: return {"35.48", "35.49"};
        case TFormBurnInProgress::TMode::CopyDisc: return {"35.51", "35.52"};
        case TFormBurnInProgress::TMode::DataWrite: break;
    }
    return {"12.9", "11.39"};
}

// The number the tray shows on alternate ticks, in each mode's colour.
QColor TrayColourOf(TFormBurnInProgress::TMode mode) {
    switch (mode) {
        case TFormBurnInProgress::TMode::Erase: return QColor(0x80, 0, 0);
        case TFormBurnInProgress::TMode::AudioConversion: return Qt::white;
        case TFormBurnInProgress::TMode::AudioWrite: return QColor(0xFF, 0xFF, 0);
        case TFormBurnInProgress::TMode::ReadImage: return QColor(0, 0, 0x80);
        case TFormBurnInProgress::TMode::CopyDisc: return QColor(0, 0x80, 0);
        case TFormBurnInProgress::TMode::DataWrite: break;
    }
    return Qt::black;
}

void SetGaugeColours(QProgressBar* gauge, const QColor& bar, const QColor& back) {
    QPalette palette = gauge->palette();
    palette.setColor(QPalette::Highlight, bar);
    palette.setColor(QPalette::Base, back);
    palette.setColor(QPalette::Window, back);
    // The percentage stays readable on the bar and beside it: white on yellow or lime is not.
    palette.setColor(QPalette::HighlightedText, bar.lightness() > 127 ? Qt::black : Qt::white);
    palette.setColor(QPalette::Text, back.lightness() > 127 ? Qt::black : Qt::white);
    gauge->setPalette(palette);
}

// Gauge colours must show whatever the desktop theme: Fusion draws the palette's colours.
QProgressBar* Gauge(QWidget* parent, const QColor& bar, const QColor& back = Qt::white) {
    auto* gauge = new QProgressBar(parent);
    static QStyle* fusion = QStyleFactory::create("Fusion");
    if (fusion) gauge->setStyle(fusion);
    SetGaugeColours(gauge, bar, back);
    gauge->setRange(0, 100);
    gauge->setValue(0);
    return gauge;
}

QLabel* ValueLabel(QWidget* parent, const QColor& colour) {
    auto* label = new QLabel("...", parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    // Room for the longest time from the start: the labels neither clip nor make the row jump.
    label->setMinimumWidth(QFontMetrics(font).horizontalAdvance("000 min. 00 sec."));
    return label;
}

QLabel* BoldLabel(QWidget* parent) {
    auto* label = new QLabel("???", parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}


// Scales byte counts into the int range a gauge takes.
int GaugeUnits(qint64 bytes) { return static_cast<int>(std::min<qint64>(bytes / 2048, INT32_MAX)); }

// What a copy is doing, as its stage label says it: the write's stages, the verification, and
// before them the read of the original (asking for a blank included).
bool WritesTheCopy(jobs::TJobStage stage) {
    return stage == jobs::TJobStage::Priming || stage == jobs::TJobStage::Writing ||
           stage == jobs::TJobStage::Finalizing;
}

const char* CopyStageKey(jobs::TJobStage stage) {
    if (WritesTheCopy(stage)) return "35.38";
    return stage == jobs::TJobStage::Verifying ? "35.39" : "35.37";
}

bool ReadsTheDisc(jobs::TJobStage stage) {
    return stage == jobs::TJobStage::Reading || stage == jobs::TJobStage::Verifying;
}

}  // namespace

qint64 TTimeEstimator::RemainingMs(qint64 position, qint64 maximum) const {
    if (position <= 0 || maximum <= 0) return -1;
    const qint64 elapsed = ElapsedMs();
    return static_cast<qint64>(static_cast<double>(elapsed) * static_cast<double>(maximum - std::min(position, maximum)) /
                               static_cast<double>(position));
}

QString MinutesSecondsText(qint64 ms) {
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    return QString("%1 min. %2 sec.").arg(seconds / 60, 2, 10, QChar('0')).arg(seconds % 60, 2, 10, QChar('0'));
}

TFormBurnInProgress::TFormBurnInProgress(TSettings& settings, IPrompts& prompts, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      Settings(settings),
      Prompts(prompts) {
    setObjectName("FormBurnInProgress");
    setModal(false);
    CreateControls();
    ApplyCaptions();
    Log.WriteHtml = [this](const QString& html) { AppendToLogView(*EmbeddedWBMemoLog, html); };
    Log.Mirrored = false;  // a copy of the main window's log, which mirrors every line
    Log.Start();
    resize(kWidth, kHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    TimerCD.setInterval(kFirstTickMs);
    TimerClosing.setInterval(1000);
    connect(&TimerClosing, &QTimer::timeout, this,
            [this] { LabelTimeElapsedValue->setText(MinutesSecondsText(Estimator.ElapsedMs())); });
    connect(&TimerCD, &QTimer::timeout, this, [this] {
        TimerCD.setInterval(kTickMs);
        TimerCDTimer();
    });
    for (QPushButton* button :
         {ButtonAbortErase, ButtonAbortWrite, ButtonAbortAudioWrite, ButtonAbortAudioConversion, ButtonAbortRead})
        connect(button, &QPushButton::clicked, this, &QWidget::close);
    connect(EmbeddedWBMemoLog, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (OnLinkClicked) OnLinkClicked(url);
    });
    connect(CheckBoxVerifyData, &QCheckBox::toggled, this, [this](bool on) { Settings.VerifyData = on; });
    connect(CheckBoxDriveEjectAfterWrite, &QCheckBox::toggled, this, [this](bool on) { Settings.DriveEjectAfterWrite = on; });
    connect(CheckBoxDriveEjectAfterAudioWrite, &QCheckBox::toggled, this,
            [this](bool on) { Settings.DriveEjectAfterWriteAUDIO = on; });
    connect(CheckBoxDriveEjectAfterErase, &QCheckBox::toggled, this, [this](bool on) { Settings.DriveEjectAfterErase = on; });
}

TFormBurnInProgress::~TFormBurnInProgress() = default;

void TFormBurnInProgress::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    EmbeddedWBMemoLog = new QTextBrowser(this);
    EmbeddedWBMemoLog->setOpenLinks(false);
    layout->addWidget(EmbeddedWBMemoLog, 1);

    PanelBuffer = new QWidget(this);
    auto* buffer = new QGridLayout(PanelBuffer);
    buffer->setContentsMargins(0, 0, 0, 0);
    LabelDriveBuffer = new QLabel(PanelBuffer);
    GaugeDriveBuffer = Gauge(PanelBuffer, Qt::red);
    LabelSoftwareBuffer = new QLabel(PanelBuffer);
    GaugeSoftwareBuffer = Gauge(PanelBuffer, Qt::blue);
    LabelCacheCounts = new QLabel(PanelBuffer);
    LabelMBWritten = new QLabel(PanelBuffer);
    LabelMBWrittenValue = new QLabel("???", PanelBuffer);
    buffer->addWidget(LabelDriveBuffer, 0, 0);
    buffer->addWidget(GaugeDriveBuffer, 0, 1);
    buffer->addWidget(LabelSoftwareBuffer, 1, 0);
    buffer->addWidget(GaugeSoftwareBuffer, 1, 1);
    buffer->addWidget(LabelCacheCounts, 2, 1);
    buffer->addWidget(LabelMBWritten, 3, 0);
    buffer->addWidget(LabelMBWrittenValue, 3, 1);
    layout->addWidget(PanelBuffer);

    PanelProgress = new QWidget(this);
    auto* progress = new QHBoxLayout(PanelProgress);
    progress->setContentsMargins(0, 0, 0, 0);
    LabelProgress = new QLabel(PanelProgress);
    GaugeProgress = Gauge(PanelProgress, Qt::black);
    progress->addWidget(LabelProgress);
    progress->addWidget(GaugeProgress, 1);
    layout->addWidget(PanelProgress);

    PanelTime = new QWidget(this);
    auto* time = new QHBoxLayout(PanelTime);
    time->setContentsMargins(0, 0, 0, 0);
    LabelTimeElapsed = new QLabel(PanelTime);
    LabelTimeElapsedValue = ValueLabel(PanelTime, Qt::blue);
    LabelTimeRemaining = new QLabel(PanelTime);
    LabelTimeRemainingValue = ValueLabel(PanelTime, Qt::red);
    time->addWidget(LabelTimeElapsed);
    time->addWidget(LabelTimeElapsedValue);
    time->addStretch(1);
    time->addWidget(LabelTimeRemaining);
    time->addWidget(LabelTimeRemainingValue);
    layout->addWidget(PanelTime);

    PanelEraseCD = new QWidget(this);
    auto* erase = new QVBoxLayout(PanelEraseCD);
    erase->setContentsMargins(0, 0, 0, 0);
    ButtonAbortErase = new QPushButton(PanelEraseCD);
    CheckBoxDriveEjectAfterErase = new QCheckBox(PanelEraseCD);
    erase->addWidget(ButtonAbortErase);
    erase->addWidget(CheckBoxDriveEjectAfterErase);
    layout->addWidget(PanelEraseCD);

    PanelWriteCD = new QWidget(this);
    auto* write = new QGridLayout(PanelWriteCD);
    write->setContentsMargins(0, 0, 0, 0);
    LabelDataTrack = new QLabel(PanelWriteCD);
    LabelDataTrackName = BoldLabel(PanelWriteCD);
    ButtonAbortWrite = new QPushButton(PanelWriteCD);
    CheckBoxVerifyData = new QCheckBox(PanelWriteCD);
    CheckBoxDriveEjectAfterWrite = new QCheckBox(PanelWriteCD);
    CheckBoxShutdownAfterFinish = new QCheckBox(PanelWriteCD);
    write->addWidget(LabelDataTrack, 0, 0);
    write->addWidget(LabelDataTrackName, 0, 1);
    write->addWidget(ButtonAbortWrite, 1, 0);
    write->addWidget(CheckBoxVerifyData, 1, 1);
    write->addWidget(CheckBoxDriveEjectAfterWrite, 2, 1);
    write->addWidget(CheckBoxShutdownAfterFinish, 3, 1);
    write->setColumnStretch(1, 1);
    layout->addWidget(PanelWriteCD);

    PanelWriteAudioCD = new QWidget(this);
    auto* audio = new QGridLayout(PanelWriteAudioCD);
    audio->setContentsMargins(0, 0, 0, 0);
    LabelAudioTrackCurrent = new QLabel(PanelWriteAudioCD);
    LabelAudioTrackCurrentName = BoldLabel(PanelWriteAudioCD);
    ButtonAbortAudioWrite = new QPushButton(PanelWriteAudioCD);
    CheckBoxDriveEjectAfterAudioWrite = new QCheckBox(PanelWriteAudioCD);
    CheckBoxShutdownAfterFinishAudioWrite = new QCheckBox(PanelWriteAudioCD);
    audio->addWidget(LabelAudioTrackCurrent, 0, 0);
    audio->addWidget(LabelAudioTrackCurrentName, 0, 1);
    audio->addWidget(ButtonAbortAudioWrite, 1, 0);
    audio->addWidget(CheckBoxDriveEjectAfterAudioWrite, 1, 1);
    audio->addWidget(CheckBoxShutdownAfterFinishAudioWrite, 2, 1);
    audio->setColumnStretch(1, 1);
    layout->addWidget(PanelWriteAudioCD);

    PanelAudioProgress = new QWidget(this);
    auto* conversion = new QGridLayout(PanelAudioProgress);
    conversion->setContentsMargins(0, 0, 0, 0);
    LabelAudioTrack = new QLabel(PanelAudioProgress);
    LabelAudioTrackName = BoldLabel(PanelAudioProgress);
    ButtonAbortAudioConversion = new QPushButton(PanelAudioProgress);
    conversion->addWidget(LabelAudioTrack, 0, 0);
    conversion->addWidget(LabelAudioTrackName, 0, 1);
    conversion->addWidget(ButtonAbortAudioConversion, 1, 0);
    conversion->setColumnStretch(1, 1);
    layout->addWidget(PanelAudioProgress);

    PanelReadDisc = new QWidget(this);
    auto* read = new QVBoxLayout(PanelReadDisc);
    read->setContentsMargins(0, 0, 0, 0);
    LabelReadStage = BoldLabel(PanelReadDisc);
    LabelReadSector = new QLabel(PanelReadDisc);
    LabelReadSpeed = new QLabel(PanelReadDisc);
    LabelReadErrors = new QLabel(PanelReadDisc);
    ButtonAbortRead = new QPushButton(PanelReadDisc);
    for (QWidget* widget : std::initializer_list<QWidget*>{LabelReadStage, LabelReadSector, LabelReadSpeed, LabelReadErrors})
        read->addWidget(widget);
    read->addWidget(ButtonAbortRead, 0, Qt::AlignLeft);
    layout->addWidget(PanelReadDisc);
}

void TFormBurnInProgress::ApplyCaptions() {
    LabelProgress->setText(LookupText("12.0"));
    LabelDriveBuffer->setText(LookupText("12.1"));
    LabelSoftwareBuffer->setText(LookupText("12.2"));
    CheckBoxShutdownAfterFinish->setText(LookupText("12.3"));
    CheckBoxVerifyData->setText(LookupText("12.4"));
    CheckBoxDriveEjectAfterWrite->setText(LookupText("12.5"));
    CheckBoxDriveEjectAfterErase->setText(LookupText("12.6"));
    ButtonAbortWrite->setText(LookupText("12.7"));
    ButtonAbortErase->setText(LookupText("12.8"));
    LabelMBWritten->setText(LookupText("12.10"));
    LabelAudioTrack->setText(LookupText("12.14"));
    ButtonAbortAudioWrite->setText(LookupText("12.23"));
    CheckBoxDriveEjectAfterAudioWrite->setText(LookupText("12.24"));
    CheckBoxShutdownAfterFinishAudioWrite->setText(LookupText("12.25"));
    ButtonAbortAudioConversion->setText(LookupText("12.26"));
    LabelAudioTrackCurrent->setText(LookupText("12.28"));
    LabelDataTrack->setText(LookupText("12.29"));
    LabelTimeElapsed->setText(LookupText("12.31"));
    LabelTimeRemaining->setText(LookupText("12.32"));
    ButtonAbortRead->setText(LookupText(CurrentMode == TMode::CopyDisc ? "35.50" : "35.47"));
}

void TFormBurnInProgress::Prepare(TMode mode) {
    CurrentMode = mode;
    Aborting = false;
    Closing = false;
    Ended = false;
    TimerClosing.stop();
    LastAudioFile.clear();
    Estimator.Reset();
    ApplyCaptions();
    PanelEraseCD->setVisible(mode == TMode::Erase);
    PanelAudioProgress->setVisible(mode == TMode::AudioConversion);
    PanelWriteCD->setVisible(mode == TMode::DataWrite);
    PanelWriteAudioCD->setVisible(mode == TMode::AudioWrite);
    PanelReadDisc->setVisible(mode == TMode::ReadImage || mode == TMode::CopyDisc);
    PanelBuffer->setVisible(mode == TMode::DataWrite || mode == TMode::AudioWrite || mode == TMode::CopyDisc);
    GaugeProgress->setRange(0, 100);
    GaugeProgress->setValue(0);
    switch (mode) {
        case TMode::Erase:
            setWindowTitle(LookupText("12.16"));
            break;
        case TMode::AudioConversion:
            setWindowTitle(LookupText("12.19"));
            SetGaugeColours(GaugeProgress, Qt::white, Qt::black);
            break;
        case TMode::DataWrite:
            setWindowTitle(LookupText("12.17"));
            GaugeDriveBuffer->setValue(0);
            LabelMBWrittenValue->setText("???");
            LabelDataTrackName->setText("???");
            LabelDataTrackName->setToolTip({});
            SetGaugeColours(GaugeProgress, Qt::black, Qt::white);
            break;
        case TMode::AudioWrite:
            setWindowTitle(LookupText("12.18"));
            LabelTimeElapsedValue->clear();
            LabelTimeRemainingValue->clear();
            LabelAudioTrackCurrentName->setText("???");
            LabelAudioTrackCurrentName->setToolTip(LabelAudioTrackName->text());
            SetGaugeColours(GaugeProgress, QColor(0xFF, 0xFF, 0), Qt::white);
            break;
        case TMode::ReadImage:
        case TMode::CopyDisc:
            setWindowTitle(LookupText(mode == TMode::CopyDisc ? "35.28" : "35.27"));
            LabelReadStage->setText(mode == TMode::CopyDisc ? LookupText("35.37") : QString("???"));
            LabelReadStage->setToolTip({});
            GaugeDriveBuffer->setValue(0);
            GaugeSoftwareBuffer->setValue(0);
            ShowReadFigures({});
            SetGaugeColours(GaugeProgress, TrayColourOf(mode), Qt::white);
            break;
    }
    SetBoxesEnabled(true);
    TimerCD.setInterval(kFirstTickMs);
    TimerCD.start();
}

void TFormBurnInProgress::SetBoxesEnabled(bool enabled) {
    for (QPushButton* button :
         {ButtonAbortErase, ButtonAbortWrite, ButtonAbortAudioWrite, ButtonAbortAudioConversion, ButtonAbortRead})
        button->setEnabled(enabled && !Aborting);
}

void TFormBurnInProgress::SetProgressMaximum(qint64 blocks) {
    GaugeProgress->setRange(0, static_cast<int>(std::clamp<qint64>(blocks, 0, INT32_MAX)));
}

int TFormBurnInProgress::GaugePercent() const {
    const qint64 span = qint64{GaugeProgress->maximum()} - GaugeProgress->minimum();
    if (span <= 0) return 0;
    return static_cast<int>((qint64{GaugeProgress->value()} - GaugeProgress->minimum()) * 100 / span);
}

void TFormBurnInProgress::UpdateTimeLabels() {
    LabelTimeElapsedValue->setText(MinutesSecondsText(Estimator.ElapsedMs()));
    const qint64 left = Estimator.RemainingMs(GaugeProgress->value(), GaugeProgress->maximum());
    LabelTimeRemainingValue->setText(left < 1000 ? QString("???") : MinutesSecondsText(left));
}

void TFormBurnInProgress::ShowTrayTick() {
    if (!OnTrayNumber) return;
    TrayNumberShown = !TrayNumberShown;
    if (TrayNumberShown)
        OnTrayNumber(std::min(GaugePercent(), 99), TrayColourOf(CurrentMode));
    else
        OnTrayNumber(-1, {});
}

void TFormBurnInProgress::TickErase(const jobs::TJobProgress& p) {
    // The blanking job estimates its own progress from the medium and the speed.
    GaugeProgress->setRange(0, 100);
    GaugeProgress->setValue(std::clamp(p.Percent, 0, 100));
    UpdateTimeLabels();
    if (OnStatus) OnStatus(LookupTextWith("10.1", {"<#value>=" + QString::number(GaugePercent())}));
}

void TFormBurnInProgress::TickAudioWrite(const jobs::TJobProgress& p) {
    if (p.BytesDone > 0)
        LabelMBWrittenValue->setText(FormatMegabytes(static_cast<double>(p.BytesDone)) + "/" + FormatMegabytes(static_cast<double>(p.BytesTotal)) + " MByte");
    const QString file = QString::fromStdString(p.CurrentFile);
    if (file != LastAudioFile) {
        LastAudioFile = file;
        LabelAudioTrackCurrentName->setText(QFileInfo(file).completeBaseName());
        LabelAudioTrackCurrentName->setToolTip(LabelAudioTrackName->text());
    }
    GaugeProgress->setRange(0, GaugeUnits(p.BytesTotal));
    GaugeProgress->setValue(std::min(GaugeUnits(p.BytesDone), GaugeProgress->maximum()));
    GaugeSoftwareBuffer->setValue(std::clamp(p.CacheFillPercent, 0, 100));
    GaugeDriveBuffer->setValue(std::clamp(p.DriveBufferPercent, 0, 100));
    UpdateTimeLabels();
    if (OnStatus) OnStatus(LookupTextWith("10.14", {"<#value>=" + QString::number(GaugePercent())}));
}

void TFormBurnInProgress::TickDataWrite(const jobs::TJobProgress& p) {
    if (!ImageFileName.isEmpty()) {
        LabelDataTrackName->setText(ImageFileName);
        LabelDataTrackName->setToolTip(ImageFileName);
    } else {
        const QString file = QString::fromStdString(p.CurrentFile);
        LabelDataTrackName->setText(file.isEmpty() ? QString("???") : QFileInfo(file).fileName());
        LabelDataTrackName->setToolTip(file);
    }
    if (p.BytesDone > 0)
        LabelMBWrittenValue->setText(FormatMegabytes(static_cast<double>(p.BytesDone)) + "/" +
                                     FormatMegabytes(static_cast<double>(GaugeProgress->maximum()) * 2048) + " MByte");
    GaugeSoftwareBuffer->setValue(std::clamp(p.CacheFillPercent, 0, 100));
    GaugeProgress->setValue(std::min(GaugeUnits(p.BytesDone), GaugeProgress->maximum()));
    UpdateTimeLabels();
    GaugeDriveBuffer->setValue(std::clamp(p.DriveBufferPercent, 0, 100));
    if (OnStatus) OnStatus(LookupTextWith("10.4", {"<#value>=" + QString::number(GaugePercent())}));
}

void TFormBurnInProgress::ShowReadFigures(const jobs::TJobProgress& p) {
    const bool reading = ReadsTheDisc(p.Stage);
    const QString unknown = "???";
    LabelReadSector->setText(
        LookupTextWith("35.24", {"<#sector>=" + (reading && p.Sector >= 0 ? QString::number(p.Sector) : unknown)}));
    const bool speedKnown = reading && p.ReadSpeedKBs > 0;
    LabelReadSpeed->setText(LookupTextWith(
        "35.25", {"<#speed>=" + (speedKnown ? QLocale().toString(p.ReadSpeedKBs) : unknown),
                  "<#factor>=" + (speedKnown && ReadSpeedUnit > 0
                                      ? QLocale().toString(p.ReadSpeedKBs / ReadSpeedUnit, 'f', 1)
                                      : unknown)}));
    LabelReadErrors->setText(LookupTextWith("35.26", {"<#errors>=" + QString::number(p.ReadErrors)}));
}

void TFormBurnInProgress::TickDiscRead(const jobs::TJobProgress& p) {
    if (CurrentMode == TMode::ReadImage) {
        LabelReadStage->setText(ImageFileName.isEmpty() ? QString("???") : ImageFileName);
        LabelReadStage->setToolTip(ImageFileName);
        // The read's own bytes move the gauge smoothly; a copy's parts share its percentage.
        GaugeProgress->setRange(0, std::max(GaugeUnits(p.BytesTotal), 1));
        GaugeProgress->setValue(std::min(GaugeUnits(p.BytesDone), GaugeProgress->maximum()));
    } else {
        LabelReadStage->setText(LookupText(CopyStageKey(p.Stage)));
        // While the copy is written its figures are the write's: the megabytes written so far.
        if (WritesTheCopy(p.Stage) && p.BytesDone > 0)
            LabelMBWrittenValue->setText(FormatMegabytes(static_cast<double>(p.BytesDone)) + "/" +
                                         FormatMegabytes(static_cast<double>(p.BytesTotal)) + " MByte");
        GaugeProgress->setRange(0, 100);
        GaugeProgress->setValue(std::clamp(p.Percent, 0, 100));
        GaugeSoftwareBuffer->setValue(std::clamp(p.CacheFillPercent, 0, 100));
        GaugeDriveBuffer->setValue(std::clamp(p.DriveBufferPercent, 0, 100));
    }
    ShowReadFigures(p);
    UpdateTimeLabels();
    if (OnStatus) OnStatus(windowTitle() + " " + QString::number(GaugePercent()) + " %");
}

void TFormBurnInProgress::TimerCDTimer() {
    if (!ProgressSource) return;
    const std::optional<jobs::TJobProgress> snapshot = ProgressSource();
    if (!snapshot) return;
    const jobs::TJobProgress& p = *snapshot;
    switch (CurrentMode) {
        case TMode::Erase:
            TickErase(p);
            break;
        case TMode::AudioConversion:
            GaugeProgress->setRange(0, 100);
            GaugeProgress->setValue(std::clamp(p.Percent, 0, 100));
            LabelAudioTrackName->setText(p.CurrentFile.empty() ? QString("???")
                                                               : QFileInfo(QString::fromStdString(p.CurrentFile)).fileName());
            LabelAudioTrackName->setToolTip(QString::fromStdString(p.CurrentFile));
            UpdateTimeLabels();
            if (OnStatus) OnStatus(LookupTextWith("10.11", {"<#value>=" + QString::number(GaugePercent())}));
            break;
        case TMode::AudioWrite:
            TickAudioWrite(p);
            break;
        case TMode::DataWrite:
            TickDataWrite(p);
            break;
        case TMode::ReadImage:
        case TMode::CopyDisc:
            TickDiscRead(p);
            break;
    }
    if (PanelBuffer->isVisible() || CurrentMode == TMode::DataWrite || CurrentMode == TMode::AudioWrite ||
        CurrentMode == TMode::CopyDisc)
        LabelCacheCounts->setText(LookupTextWith(
            "29.0", {"<#empty>=" + QString::number(p.CacheEmptyCount), "<#full>=" + QString::number(p.CacheFullCount)}));
    ShowTrayTick();
}

void TFormBurnInProgress::ShowFinalizing(qint64 imageSizeBlocks) {
    TimerCD.stop();
    Closing = true;
    SetBoxesEnabled(false);
    const QString size = FormatMegabytes(static_cast<double>(imageSizeBlocks) * 2048);
    LabelMBWrittenValue->setText(size + "/" + size + " MByte");
    GaugeDriveBuffer->setValue(0);
    GaugeSoftwareBuffer->setValue(0);
    // Closing a DVD takes up to a minute with nothing to count: a busy gauge and a running
    // clock show that the drive works and the program has not hung.
    GaugeProgress->setRange(0, 0);
    LabelTimeRemainingValue->setText("...");
    LabelDataTrackName->setText(LookupText("32.6"));
    LabelDataTrackName->setToolTip({});
    LabelTimeElapsedValue->setText(MinutesSecondsText(Estimator.ElapsedMs()));
    TimerClosing.start();
}

void TFormBurnInProgress::ShowEnded(const QString& text) {
    StopRefresh();
    Closing = false;
    Ended = true;
    SetBoxesEnabled(false);
    GaugeProgress->setRange(0, 100);
    GaugeProgress->setValue(100);
    LabelTimeRemainingValue->setText(MinutesSecondsText(0));
    setWindowTitle(text);
    QLabel* current = CurrentMode == TMode::AudioWrite ? LabelAudioTrackCurrentName : LabelDataTrackName;
    current->setText(text);
    current->setToolTip({});
}

void TFormBurnInProgress::ShowAsVerification() {
    StopRefresh();
    setWindowTitle(LookupText("12.30"));
    GaugeProgress->setRange(0, 100);
    GaugeProgress->setValue(0);
    SetGaugeColours(GaugeProgress, QColor(0, 0xFF, 0), Qt::white);
    PanelBuffer->hide();
    PanelWriteCD->hide();
    raise();
}

void TFormBurnInProgress::CloseByProgram() {
    ClosingAllowed = true;
    StopRefresh();
    close();
}

void TFormBurnInProgress::closeEvent(QCloseEvent* event) {
    if (ClosingAllowed) {
        event->accept();
        return;
    }
    // The operation ends through its own finished event, which closes the window; a second
    // request while the abort is under way changes nothing.
    event->ignore();
    if (Aborting) return;
    // Once the session is being closed the drive finishes it whatever is sent: there is nothing
    // left to abort, and saying otherwise would report a complete disc as aborted.
    if (Closing) {
        Prompts.ShowNotice(LookupText("32.7"));
        return;
    }
    const TAbortTexts texts = AbortTextsOf(CurrentMode);
    if (!Prompts.AskYesNo(windowTitle(), LookupText(texts.Question))) return;
    if (Aborting || ClosingAllowed) return;  // the operation ended while the question was open
    if (Closing) {  // the close began while the question was open
        if (LogLine) LogLine(LookupText("32.7"));
        return;
    }
    Aborting = true;
    SetBoxesEnabled(false);
    if (LogLine) LogLine(LookupText(texts.LogLine));
    if (OnAbort) OnAbort();
}

void TFormBurnInProgress::reject() { close(); }

void TFormBurnInProgress::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ClosingAllowed = false;
    for (QLabel* label : {LabelDataTrackName, LabelAudioTrackCurrentName, LabelAudioTrackName, LabelReadStage}) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    if (!FirstShowDone) {
        FirstShowDone = true;
        Log.EndBuffering();
    }
}

void TFormBurnInProgress::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && OnMinimize) OnMinimize();
}

}  // namespace kv
