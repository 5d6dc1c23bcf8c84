#include "dialogs/FormSettings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/MessageCatalogue.h"

namespace kv {
namespace {

// The list captions of the pages, in tag order.
constexpr const char* kPageCaptionKeys[TFormSettings::kPageCount] = {"3.1",  "3.2",  "3.3", "3.47",
                                                                     "3.52", "3.53", "3.71"};
// The confirmations' message texts, in the order of the settings' confirmations.
constexpr const char* kWarningTextKeys[kConfirmationCount] = {
    "17.5", "17.7", "17.9", "17.11", "17.13", "17.15", "17.17", "17.19", "17.21", "17.23", "17.26", "17.28"};
constexpr const char* kVolumeInfoKeys[] = {"3.77", "3.78", "3.79", "3.80", "3.81", "3.82", "3.83"};
constexpr const char* kAudioInfoKeys[] = {"3.90", "3.91", "3.92"};
constexpr int kTransparencyMax = 230;
constexpr int kCacheMin = 2;
constexpr int kCacheMax = 64;
constexpr int kIncrementMax = 99999999;
constexpr int kPauseMax = 9999;
constexpr int kRowRole = Qt::UserRole;

QLabel* BoldCaption(QWidget* parent) {
    auto* label = new QLabel(parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QSlider* TrackBar(QWidget* parent, int minimum, int maximum, int ticks) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(minimum, maximum);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(ticks);
    slider->setPageStep(ticks);
    return slider;
}

QSpinBox* SpinEdit(QWidget* parent, int minimum, int maximum) {
    auto* spin = new QSpinBox(parent);
    spin->setRange(minimum, maximum);
    return spin;
}

QPlainTextEdit* TagMemo(QWidget* parent) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setReadOnly(true);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    return memo;
}

QString WithSlash(const QString& folder) {
    return folder.endsWith('/') ? folder : folder + '/';
}

}  // namespace

TFormSettings::TFormSettings(THost host, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      Host(std::move(host)),
      Settings(*Host.Settings),
      Prompts(*Host.Prompts) {
    setObjectName("FormSettings");
    ListViewMenu = new QListWidget(this);
    ListViewMenu->setObjectName("ListViewMenu");
    ListViewMenu->setFixedWidth(220);
    ListViewMenu->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Pages = new QStackedWidget(this);
    for (QWidget* page :
         {CreateGeneralPage(), CreateLanguagePage(), CreateDataWriterPage(), CreateDataVolumePage(),
          CreateAudioWriterPage(), CreateAudioVolumePage(), CreateWarningPage()}) {
        Pages->addWidget(page);
        ListViewMenu->addItem(QString());
    }
    ButtonOK = new QPushButton(this);
    ButtonOK->setObjectName("ButtonOK");
    ButtonOK->setDefault(true);
    ButtonCancel = new QPushButton(this);
    ButtonCancel->setObjectName("ButtonCancel");
    ButtonApply = new QPushButton(this);
    ButtonApply->setObjectName("ButtonApply");

    auto* top = new QHBoxLayout;
    top->addWidget(ListViewMenu);
    top->addWidget(Pages, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* button : {ButtonOK, ButtonCancel, ButtonApply}) buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);

    connect(ListViewMenu, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0) return;
        Pages->setCurrentIndex(row);
        setWindowTitle(LookupText("3.0") + " - " + ListViewMenu->item(row)->text());
    });
    connect(ButtonOK, &QPushButton::clicked, this, [this] {
        Apply();
        accept();
    });
    connect(ButtonApply, &QPushButton::clicked, this, [this] { Apply(); });
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);

    LoadControls();
    ApplyCaptions();
    FillLanguageList(Settings.Language);
    LabelDriveNameValue->setText(Host.DriveName);
    LabelDriveNameValueAUDIO->setText(Host.DriveName);
    const QString letter = Host.DriveLetter.isEmpty() ? QString() : Host.DriveLetter + ":";
    LabelDriveLetterValue->setText(letter);
    LabelDriveLetterValueAUDIO->setText(letter);
    TabsVolumeName->setCurrentIndex(0);
    TabsAudioVolumeName->setCurrentIndex(0);
    ShowPage(General);
    resize(720, 470);
}

// ---- pages ----------------------------------------------------------------------------------

QWidget* TFormSettings::CreateGeneralPage() {
    auto* page = new QWidget;
    CheckBoxDriveEjectAfterErase = new QCheckBox(page);
    CheckBoxAutoPlayCDDisable = new QCheckBox(page);
    LabelTransparency = new QLabel(page);
    TrackBarDropFormTransparentIntensity = TrackBar(page, 0, kTransparencyMax, 10);
    TrackBarDropFormTransparentIntensity->setObjectName("TrackBarDropFormTransparentIntensity");
    CheckBoxShowFolderSize = new QCheckBox(page);
    CheckBoxInitializeASPI_InternalFirst = new QCheckBox(page);
    CheckBoxInitializeASPI_InternalFirst->setObjectName("CheckBoxInitializeASPI_InternalFirst");
    CheckBoxAutoUpdateEnabled = new QCheckBox(page);
    auto* layout = new QVBoxLayout(page);
    for (QWidget* w : std::initializer_list<QWidget*>{
             CheckBoxDriveEjectAfterErase, CheckBoxAutoPlayCDDisable, LabelTransparency,
             TrackBarDropFormTransparentIntensity, CheckBoxShowFolderSize,
             CheckBoxInitializeASPI_InternalFirst, CheckBoxAutoUpdateEnabled})
        layout->addWidget(w);
    layout->addStretch();
    // Nothing on Linux intercepts autoplay or updates the program: their settings are kept for the
    // settings file's sake, but a choice that changes nothing is not offered.
    CheckBoxAutoPlayCDDisable->setVisible(false);
    CheckBoxAutoUpdateEnabled->setVisible(false);
    // The transport preference is read once, at start.
    connect(CheckBoxInitializeASPI_InternalFirst, &QCheckBox::clicked, this, [this] {
        if (isVisible()) Prompts.ShowNotice(LookupText("32.4"));
    });
    return page;
}

QWidget* TFormSettings::CreateLanguagePage() {
    auto* page = new QWidget;
    ListBoxLanguages = new QListWidget(page);
    ListBoxLanguages->setObjectName("ListBoxLanguages");
    auto button = [page](const char* name) {
        auto* b = new QPushButton(page);
        b->setObjectName(name);
        return b;
    };
    ButtonNewLanguage = button("ButtonNewLanguage");
    ButtonDeleteLanguage = button("ButtonDeleteLanguage");
    ButtonModifyLanguage = button("ButtonModifyLanguage");
    ButtonSubmitLanguage = button("ButtonSubmitLanguage");
    ButtonCheckLanguage = button("ButtonCheckLanguage");
    auto* tools = new QVBoxLayout;
    for (QPushButton* b : {ButtonNewLanguage, ButtonDeleteLanguage, ButtonModifyLanguage,
                           ButtonSubmitLanguage, ButtonCheckLanguage})
        tools->addWidget(b);
    tools->addStretch();
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(ListBoxLanguages, 1);
    layout->addLayout(tools);

    ButtonModifyLanguage->setVisible(bool(Host.ModifyLanguage));
    ButtonSubmitLanguage->setVisible(bool(Host.SubmitLanguage));
    ButtonCheckLanguage->setVisible(bool(Host.CheckLanguage));
    connect(ButtonNewLanguage, &QPushButton::clicked, this, [this] { NewLanguage(); });
    connect(ButtonDeleteLanguage, &QPushButton::clicked, this, [this] { DeleteLanguage(); });
    connect(ButtonModifyLanguage, &QPushButton::clicked, this, [this] {
        if (ListBoxLanguages->currentItem()) Host.ModifyLanguage(ListBoxLanguages->currentItem()->text());
    });
    connect(ButtonSubmitLanguage, &QPushButton::clicked, this, [this] {
        if (!ListBoxLanguages->currentItem()) return;
        const QString name = ListBoxLanguages->currentItem()->text().trimmed().toUpper();
        if (name == "ENGLISH")
            Prompts.ShowNotice(LookupText("3.93"));
        else
            Host.SubmitLanguage(name);
    });
    connect(ButtonCheckLanguage, &QPushButton::clicked, this, [this] { Host.CheckLanguage(); });
    connect(ListBoxLanguages, &QListWidget::itemDoubleClicked, this, [this] {
        Apply();
        accept();
    });
    return page;
}

QWidget* TFormSettings::CreateDataWriterPage() {
    auto* page = new QWidget;
    LabelDriveName = new QLabel(page);
    LabelDriveLetter = new QLabel(page);
    LabelDriveNameValue = BoldCaption(page);
    LabelDriveLetterValue = BoldCaption(page);
    CheckBoxDriveUnderrunProtection = new QCheckBox(page);
    CheckBoxDriveJoliet = new QCheckBox(page);
    CheckBoxDriveRockRidge = new QCheckBox(page);
    CheckBoxDriveRockRidgeRootOwner = new QCheckBox(page);
    LabelDriveUdf = new QLabel(page);
    ComboBoxDriveUdf = new QComboBox(page);
    ComboBoxDriveUdf->setObjectName("ComboBoxDriveUdf");
    ComboBoxDriveUdf->addItems({QString(), QString(), QString()});
    LabelDriveUdf->setBuddy(ComboBoxDriveUdf);
    LabelDriveUdfHint = new QLabel(page);
    LabelDriveUdfHint->setWordWrap(true);
    CheckBoxDriveOPC = new QCheckBox(page);
    CheckBoxDriveTestWrite = new QCheckBox(page);
    CheckBoxDriveEjectAfterWrite = new QCheckBox(page);
    LabelDriveCacheSize = new QLabel(page);
    CoolTrackBarDriveCacheSize = TrackBar(page, kCacheMin, kCacheMax, 2);
    LabelDriveCacheSizeValue = new QLabel(page);
    LabelDriveCacheSizeValue->setObjectName("LabelDriveCacheSizeValue");

    auto* drive = new QFormLayout;
    drive->addRow(LabelDriveName, LabelDriveNameValue);
    drive->addRow(LabelDriveLetter, LabelDriveLetterValue);
    auto* cache = new QHBoxLayout;
    cache->addWidget(CoolTrackBarDriveCacheSize, 1);
    cache->addWidget(LabelDriveCacheSizeValue);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(drive);
    for (QCheckBox* box : {CheckBoxDriveUnderrunProtection, CheckBoxDriveJoliet, CheckBoxDriveRockRidge})
        layout->addWidget(box);
    // The owner choice belongs to the Rock Ridge fields.
    auto* owner = new QHBoxLayout;
    owner->addSpacing(20);
    owner->addWidget(CheckBoxDriveRockRidgeRootOwner);
    layout->addLayout(owner);
    auto* udf = new QHBoxLayout;
    udf->addWidget(LabelDriveUdf);
    udf->addWidget(ComboBoxDriveUdf);
    udf->addStretch();
    layout->addLayout(udf);
    layout->addWidget(LabelDriveUdfHint);
    for (QCheckBox* box : {CheckBoxDriveOPC, CheckBoxDriveTestWrite, CheckBoxDriveEjectAfterWrite})
        layout->addWidget(box);
    connect(CheckBoxDriveRockRidge, &QCheckBox::toggled, CheckBoxDriveRockRidgeRootOwner,
            &QWidget::setEnabled);
    layout->addWidget(LabelDriveCacheSize);
    layout->addLayout(cache);
    layout->addStretch();
    connect(CoolTrackBarDriveCacheSize, &QSlider::valueChanged, LabelDriveCacheSizeValue,
            [this](int value) { LabelDriveCacheSizeValue->setText(CacheSizeText(value)); });
    return page;
}

QWidget* TFormSettings::CreateDataVolumePage() {
    TabsVolumeName = new QTabWidget;
    auto* name = new QWidget;
    LabelVolumeName = new QLabel(name);
    EditVolumeName = new QLineEdit(name);
    EditVolumeName->setObjectName("EditVolumeName");
    LabelVolumeIncrement = new QLabel(name);
    SpinEditVolumeIncrement = SpinEdit(name, 1, kIncrementMax);
    LabelVolumeTags = new QLabel(name);
    MemoVolumeTags = TagMemo(name);
    auto* nameLayout = new QVBoxLayout(name);
    for (QWidget* w :
         std::initializer_list<QWidget*>{LabelVolumeName, EditVolumeName, LabelVolumeIncrement,
                                         SpinEditVolumeIncrement, LabelVolumeTags, MemoVolumeTags})
        nameLayout->addWidget(w);
    auto* info = new QWidget;
    auto* infoLayout = new QFormLayout(info);
    for (size_t i = 0; i < LabelsVolumeInfo.size(); ++i) {
        LabelsVolumeInfo[i] = new QLabel(info);
        EditsVolumeInfo[i] = new QLineEdit(info);
        infoLayout->addRow(LabelsVolumeInfo[i], EditsVolumeInfo[i]);
    }
    TabsVolumeName->addTab(name, QString());
    TabsVolumeName->addTab(info, QString());
    return TabsVolumeName;
}

QWidget* TFormSettings::CreateAudioWriterPage() {
    auto* page = new QWidget;
    LabelDriveNameAUDIO = new QLabel(page);
    LabelDriveLetterAUDIO = new QLabel(page);
    LabelDriveNameValueAUDIO = BoldCaption(page);
    LabelDriveLetterValueAUDIO = BoldCaption(page);
    CheckBoxDriveUnderrunProtectionAUDIO = new QCheckBox(page);
    CheckBoxDriveOPCAUDIO = new QCheckBox(page);
    CheckBoxDriveEjectAfterWriteAUDIO = new QCheckBox(page);
    CheckBoxWriteCdText = new QCheckBox(page);
    CheckBoxWriteCdText->setObjectName("CheckBoxWriteCdText");
    LabelDriveCacheSizeAUDIO = new QLabel(page);
    CoolTrackBarDriveCacheSizeAUDIO = TrackBar(page, kCacheMin, kCacheMax, 2);
    LabelDriveCacheSizeValueAUDIO = new QLabel(page);
    LabelWriteMethodAUDIO = new QLabel(page);
    RadioGroupDriveWriteMethodAUDIO = new QWidget(page);
    WriteMethods = new QButtonGroup(this);
    auto* methods = new QHBoxLayout(RadioGroupDriveWriteMethodAUDIO);
    methods->setContentsMargins(0, 0, 0, 0);
    int id = 0;
    for (const char* text : {"DAO (Disc at once)", "TAO (Track at once)"}) {
        auto* radio = new QRadioButton(QString::fromLatin1(text), RadioGroupDriveWriteMethodAUDIO);
        WriteMethods->addButton(radio, id++);
        methods->addWidget(radio);
    }
    methods->addStretch();
    LabelWAVPath = new QLabel(page);
    EditWAVPath = new QLineEdit(page);
    EditWAVPath->setObjectName("EditWAVPath");
    ButtonWAVPath = new QPushButton(page);
    ButtonWAVPath->setObjectName("ButtonWAVPath");
    LabelPauseBetweenAudioTracks = new QLabel(page);
    SpinEditPauseBetweenAudioTracks = SpinEdit(page, 0, kPauseMax);

    auto* drive = new QFormLayout;
    drive->addRow(LabelDriveNameAUDIO, LabelDriveNameValueAUDIO);
    drive->addRow(LabelDriveLetterAUDIO, LabelDriveLetterValueAUDIO);
    auto* cache = new QHBoxLayout;
    cache->addWidget(CoolTrackBarDriveCacheSizeAUDIO, 1);
    cache->addWidget(LabelDriveCacheSizeValueAUDIO);
    auto* wav = new QHBoxLayout;
    wav->addWidget(EditWAVPath, 1);
    wav->addWidget(ButtonWAVPath);
    auto* pause = new QHBoxLayout;
    pause->addWidget(LabelPauseBetweenAudioTracks);
    pause->addWidget(SpinEditPauseBetweenAudioTracks);
    pause->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(drive);
    for (QCheckBox* box :
         {CheckBoxDriveUnderrunProtectionAUDIO, CheckBoxDriveOPCAUDIO, CheckBoxDriveEjectAfterWriteAUDIO, CheckBoxWriteCdText})
        layout->addWidget(box);
    layout->addWidget(LabelDriveCacheSizeAUDIO);
    layout->addLayout(cache);
    layout->addWidget(LabelWriteMethodAUDIO);
    layout->addWidget(RadioGroupDriveWriteMethodAUDIO);
    layout->addWidget(LabelWAVPath);
    layout->addLayout(wav);
    layout->addLayout(pause);
    layout->addStretch();
    connect(CoolTrackBarDriveCacheSizeAUDIO, &QSlider::valueChanged, LabelDriveCacheSizeValueAUDIO,
            [this](int value) { LabelDriveCacheSizeValueAUDIO->setText(CacheSizeText(value)); });
    connect(ButtonWAVPath, &QPushButton::clicked, this, [this] { ButtonWAVPathClick(); });
    return page;
}

QWidget* TFormSettings::CreateAudioVolumePage() {
    TabsAudioVolumeName = new QTabWidget;
    auto* name = new QWidget;
    LabelAudioVolumeName = new QLabel(name);
    EditAudioVolumeName = new QLineEdit(name);
    LabelAudioVolumeIncrement = new QLabel(name);
    SpinEditAudioVolumeIncrement = SpinEdit(name, 1, kIncrementMax);
    LabelAudioVolumeTags = new QLabel(name);
    MemoAudioVolumeTags = TagMemo(name);
    auto* nameLayout = new QVBoxLayout(name);
    for (QWidget* w : std::initializer_list<QWidget*>{LabelAudioVolumeName, EditAudioVolumeName,
                                                      LabelAudioVolumeIncrement, SpinEditAudioVolumeIncrement,
                                                      LabelAudioVolumeTags, MemoAudioVolumeTags})
        nameLayout->addWidget(w);
    auto* info = new QWidget;
    auto* infoLayout = new QFormLayout(info);
    for (size_t i = 0; i < LabelsAudioInfo.size(); ++i) {
        LabelsAudioInfo[i] = new QLabel(info);
        EditsAudioInfo[i] = new QLineEdit(info);
        infoLayout->addRow(LabelsAudioInfo[i], EditsAudioInfo[i]);
    }
    TabsAudioVolumeName->addTab(name, QString());
    TabsAudioVolumeName->addTab(info, QString());
    return TabsAudioVolumeName;
}

QWidget* TFormSettings::CreateWarningPage() {
    VirtualStringTreeWarningMessages = new QTreeWidget;
    VirtualStringTreeWarningMessages->setObjectName("VirtualStringTreeWarningMessages");
    VirtualStringTreeWarningMessages->setColumnCount(1);
    VirtualStringTreeWarningMessages->setRootIsDecorated(false);
    VirtualStringTreeWarningMessages->header()->setStretchLastSection(true);
    for (int i = 0; i < kConfirmationCount; ++i) {
        auto* row = new QTreeWidgetItem(VirtualStringTreeWarningMessages);
        row->setData(0, kRowRole, i + 1);
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    }
    return VirtualStringTreeWarningMessages;
}

// ---- controls and captions ----------------------------------------------------------------------

QString TFormSettings::CacheSizeText(int megabytes) {
    return QString("%1 MByte").arg(megabytes, 2);
}

void TFormSettings::LoadControls() {
    const TSettings& s = Settings;
    CheckBoxDriveEjectAfterErase->setChecked(s.DriveEjectAfterErase);
    CheckBoxAutoPlayCDDisable->setChecked(s.AutoPlayCDDisable);
    TrackBarDropFormTransparentIntensity->setValue(255 - s.DropFormAlpha);
    CheckBoxShowFolderSize->setChecked(s.ShowFolderSize);
    CheckBoxInitializeASPI_InternalFirst->setChecked(s.InitializeASPI_InternalFirst);
    CheckBoxAutoUpdateEnabled->setChecked(s.AutoUpdateEnabled);

    CheckBoxDriveUnderrunProtection->setChecked(s.DriveUnderrunProtection);
    CheckBoxDriveJoliet->setChecked(s.DriveJoliet);
    CheckBoxDriveRockRidge->setChecked(s.DriveRockRidge);
    CheckBoxDriveRockRidgeRootOwner->setChecked(s.DriveRockRidgeRootOwner);
    CheckBoxDriveRockRidgeRootOwner->setEnabled(s.DriveRockRidge);
    // A value from a newer or edited file that names no choice falls back to the default.
    ComboBoxDriveUdf->setCurrentIndex(s.DriveUdf >= 0 && s.DriveUdf < ComboBoxDriveUdf->count() ? s.DriveUdf : 0);
    CheckBoxDriveOPC->setChecked(s.DriveOPC);
    CheckBoxDriveTestWrite->setChecked(s.VerifyData);
    CheckBoxDriveEjectAfterWrite->setChecked(s.DriveEjectAfterWrite);
    CoolTrackBarDriveCacheSize->setValue(s.DriveCacheSize);
    LabelDriveCacheSizeValue->setText(CacheSizeText(CoolTrackBarDriveCacheSize->value()));

    EditVolumeName->setText(s.VolumeName);
    SpinEditVolumeIncrement->setValue(
        static_cast<int>(std::clamp<qint64>(s.VolumeIncrement, 1, kIncrementMax)));
    const std::array<const QString*, 7> info = {&s.VolumeNameIdSystem,         &s.VolumeNameIdVolumeSet,
                                                &s.VolumeNameIdPublisher,      &s.VolumeNameIdPreparer,
                                                &s.VolumeNameFileCopyright,    &s.VolumeNameFileAbstract,
                                                &s.VolumeNameFileBibliographic};
    for (size_t i = 0; i < info.size(); ++i) EditsVolumeInfo[i]->setText(*info[i]);

    CheckBoxDriveUnderrunProtectionAUDIO->setChecked(s.DriveUnderrunProtectionAUDIO);
    CheckBoxDriveOPCAUDIO->setChecked(s.DriveOPCAUDIO);
    CheckBoxDriveEjectAfterWriteAUDIO->setChecked(s.DriveEjectAfterWriteAUDIO);
    CheckBoxWriteCdText->setChecked(s.WriteCdText);
    CoolTrackBarDriveCacheSizeAUDIO->setValue(s.DriveCacheSizeAUDIO);
    LabelDriveCacheSizeValueAUDIO->setText(CacheSizeText(CoolTrackBarDriveCacheSizeAUDIO->value()));
    if (QAbstractButton* method = WriteMethods->button(s.DriveWriteMethodAUDIO)) method->setChecked(true);
    EditWAVPath->setText(s.WAVPath);
    SpinEditPauseBetweenAudioTracks->setValue(s.PauseBetweenAudioTracks);

    EditAudioVolumeName->setText(s.AudioVolumeName);
    SpinEditAudioVolumeIncrement->setValue(
        static_cast<int>(std::clamp<qint64>(s.AudioVolumeIncrement, 1, kIncrementMax)));
    EditsAudioInfo[0]->setText(s.AudioVolumeNameCDSongWriter);
    EditsAudioInfo[1]->setText(s.AudioVolumeNameCDPerformer);
    EditsAudioInfo[2]->setText(s.AudioVolumeNameCDCatalog);

    for (int i = 0; i < kConfirmationCount; ++i)
        VirtualStringTreeWarningMessages->topLevelItem(i)->setCheckState(
            0, s.Confirmations[static_cast<size_t>(i)].Suppressed ? Qt::Unchecked : Qt::Checked);
}

void TFormSettings::StoreControls() {
    TSettings& s = Settings;
    s.DriveEjectAfterErase = CheckBoxDriveEjectAfterErase->isChecked();
    s.AutoPlayCDDisable = CheckBoxAutoPlayCDDisable->isChecked();
    s.ShowFolderSize = CheckBoxShowFolderSize->isChecked();
    s.InitializeASPI_InternalFirst = CheckBoxInitializeASPI_InternalFirst->isChecked();
    s.AutoUpdateEnabled = CheckBoxAutoUpdateEnabled->isChecked();

    s.DriveUnderrunProtection = CheckBoxDriveUnderrunProtection->isChecked();
    s.DriveJoliet = CheckBoxDriveJoliet->isChecked();
    s.DriveRockRidge = CheckBoxDriveRockRidge->isChecked();
    s.DriveRockRidgeRootOwner = CheckBoxDriveRockRidgeRootOwner->isChecked();
    s.DriveUdf = ComboBoxDriveUdf->currentIndex();
    s.DriveOPC = CheckBoxDriveOPC->isChecked();
    s.VerifyData = CheckBoxDriveTestWrite->isChecked();
    s.DriveEjectAfterWrite = CheckBoxDriveEjectAfterWrite->isChecked();
    s.DriveCacheSize = CoolTrackBarDriveCacheSize->value();

    s.VolumeName = EditVolumeName->text();
    s.VolumeIncrement = SpinEditVolumeIncrement->value();
    const std::array<QString*, 7> info = {&s.VolumeNameIdSystem,         &s.VolumeNameIdVolumeSet,
                                          &s.VolumeNameIdPublisher,      &s.VolumeNameIdPreparer,
                                          &s.VolumeNameFileCopyright,    &s.VolumeNameFileAbstract,
                                          &s.VolumeNameFileBibliographic};
    for (size_t i = 0; i < info.size(); ++i) *info[i] = EditsVolumeInfo[i]->text();

    s.DriveUnderrunProtectionAUDIO = CheckBoxDriveUnderrunProtectionAUDIO->isChecked();
    s.DriveOPCAUDIO = CheckBoxDriveOPCAUDIO->isChecked();
    s.DriveEjectAfterWriteAUDIO = CheckBoxDriveEjectAfterWriteAUDIO->isChecked();
    s.WriteCdText = CheckBoxWriteCdText->isChecked();
    s.DriveCacheSizeAUDIO = CoolTrackBarDriveCacheSizeAUDIO->value();

    s.AudioVolumeName = EditAudioVolumeName->text();
    s.AudioVolumeIncrement = SpinEditAudioVolumeIncrement->value();
    s.AudioVolumeNameCDSongWriter = EditsAudioInfo[0]->text();
    s.AudioVolumeNameCDPerformer = EditsAudioInfo[1]->text();
    s.AudioVolumeNameCDCatalog = EditsAudioInfo[2]->text();
}

void TFormSettings::ApplyCaptions() {
    for (int i = 0; i < kPageCount; ++i) ListViewMenu->item(i)->setText(LookupText(kPageCaptionKeys[i]));
    const int row = ListViewMenu->currentRow();
    setWindowTitle(row < 0 ? LookupText("3.0") : LookupText("3.0") + " - " + ListViewMenu->item(row)->text());

    CheckBoxDriveEjectAfterErase->setText(LookupText("3.40"));
    CheckBoxAutoPlayCDDisable->setText(LookupText("3.100"));
    LabelTransparency->setText(LookupText("3.41"));
    CheckBoxShowFolderSize->setText(LookupText("3.74"));
    // Said in Linux words: the built-in access is SG_IO, the other one an external library.
    CheckBoxInitializeASPI_InternalFirst->setText(LookupText("32.3"));
    CheckBoxAutoUpdateEnabled->setText(LookupText("3.108"));

    ListBoxLanguages->setToolTip(LookupText("3.4"));
    const std::array<std::pair<QPushButton*, const char*>, 5> tools = {{{ButtonNewLanguage, "3.5"},
                                                                        {ButtonDeleteLanguage, "3.7"},
                                                                        {ButtonModifyLanguage, "3.9"},
                                                                        {ButtonSubmitLanguage, "3.11"},
                                                                        {ButtonCheckLanguage, "3.102"}}};
    const std::array<const char*, 5> hints = {"3.6", "3.8", "3.10", "3.12", "3.103"};
    for (size_t i = 0; i < tools.size(); ++i) {
        tools[i].first->setText(LookupText(tools[i].second));
        tools[i].first->setToolTip(LookupText(hints[i]));
    }

    LabelDriveName->setText(LookupText("3.54"));
    LabelDriveLetter->setText(LookupText("3.55"));
    CheckBoxDriveUnderrunProtection->setText(LookupText("3.34"));
    CheckBoxDriveJoliet->setText(LookupText("3.35"));
    CheckBoxDriveRockRidge->setText(LookupText("3.109"));
    CheckBoxDriveRockRidgeRootOwner->setText(LookupText("3.110"));
    LabelDriveUdf->setText(LookupText("34.0"));
    for (int i = 0; i < ComboBoxDriveUdf->count(); ++i)
        ComboBoxDriveUdf->setItemText(i, LookupText("34." + QString::number(i + 1)));
    LabelDriveUdfHint->setText(LookupText("34.4"));
    CheckBoxDriveOPC->setText(LookupText("3.37"));
    CheckBoxDriveTestWrite->setText(LookupText("3.38"));
    CheckBoxDriveEjectAfterWrite->setText(LookupText("3.39"));
    LabelDriveCacheSize->setText(LookupText("3.42"));

    TabsVolumeName->setTabText(0, LookupText("3.75"));
    TabsVolumeName->setTabText(1, LookupText("3.76"));
    LabelVolumeName->setText(LookupText("3.48"));
    LabelVolumeIncrement->setText(LookupText("3.49"));
    LabelVolumeTags->setText(LookupText("3.50"));
    MemoVolumeTags->setPlainText(LookupText("3.51"));
    for (size_t i = 0; i < LabelsVolumeInfo.size(); ++i)
        LabelsVolumeInfo[i]->setText(LookupText(kVolumeInfoKeys[i]));

    LabelDriveNameAUDIO->setText(LookupText("3.56"));
    LabelDriveLetterAUDIO->setText(LookupText("3.57"));
    CheckBoxDriveUnderrunProtectionAUDIO->setText(LookupText("3.64"));
    CheckBoxDriveOPCAUDIO->setText(LookupText("3.65"));
    CheckBoxDriveEjectAfterWriteAUDIO->setText(LookupText("3.67"));
    CheckBoxWriteCdText->setText(LookupText("36.0"));
    LabelDriveCacheSizeAUDIO->setText(LookupText("3.68"));
    LabelWriteMethodAUDIO->setText(LookupText("3.96"));
    LabelWAVPath->setText(LookupText("3.97"));
    ButtonWAVPath->setText(LookupText("3.98"));
    LabelPauseBetweenAudioTracks->setText(LookupText("3.101"));

    TabsAudioVolumeName->setTabText(0, LookupText("3.84"));
    TabsAudioVolumeName->setTabText(1, LookupText("3.85"));
    LabelAudioVolumeName->setText(LookupText("3.86"));
    LabelAudioVolumeIncrement->setText(LookupText("3.87"));
    LabelAudioVolumeTags->setText(LookupText("3.88"));
    MemoAudioVolumeTags->setPlainText(LookupText("3.89"));
    for (size_t i = 0; i < LabelsAudioInfo.size(); ++i)
        LabelsAudioInfo[i]->setText(LookupText(kAudioInfoKeys[i]));

    VirtualStringTreeWarningMessages->setHeaderLabels({LookupText("3.72")});
    VirtualStringTreeWarningMessages->setToolTip(LookupText("3.73"));
    for (int i = 0; i < kConfirmationCount; ++i) {
        QString text = LookupText(kWarningTextKeys[i]);
        text.replace('\r', ' ').replace('\n', ' ');
        VirtualStringTreeWarningMessages->topLevelItem(i)->setText(0, text);
    }

    ButtonOK->setText(LookupText("3.61"));
    ButtonCancel->setText(LookupText("3.62"));
    ButtonApply->setText(LookupText("3.63"));
}

void TFormSettings::ShowPage(int tag) {
    ListViewMenu->setCurrentRow(tag >= 1 && tag <= kPageCount ? tag - 1 : 0);
}

int TFormSettings::CurrentPage() const {
    return ListViewMenu->currentRow() + 1;
}

// ---- languages --------------------------------------------------------------------------------

void TFormSettings::FillLanguageList(const QString& select) {
    ListBoxLanguages->clear();
    QStringList names;
    const QFileInfoList files =
        QDir(Host.LanguagesFolder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& file : files)
        if (file.suffix().compare("ini", Qt::CaseInsensitive) == 0)
            names.append(file.completeBaseName().toUpper());
    names.sort();
    names.removeDuplicates();
    ListBoxLanguages->addItems(names);
    if (names.isEmpty()) return;
    ListBoxLanguages->setCurrentRow(0);
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(select, Qt::CaseInsensitive) == 0) ListBoxLanguages->setCurrentRow(i);
}

QString TFormSettings::SelectedLanguage() const {
    const QListWidgetItem* item = ListBoxLanguages->currentItem();
    if (!item && ListBoxLanguages->count() > 0) item = ListBoxLanguages->item(0);
    return item ? item->text().toUpper() : QString();
}

void TFormSettings::NewLanguage() {
    const std::optional<QString> answer =
        Prompts.InputText(LookupText("3.16"), LookupText("3.17"), QString());
    if (!answer) return;
    const QString name = answer->trimmed().toUpper();
    if (name.isEmpty() || name == "ENGLISH" || !IsPlainLanguageName(name)) return;
    const QString existing = FindLanguageFile(Host.LanguagesFolder, name);
    if (!existing.isEmpty() && !Prompts.AskYesNo(LookupText("3.16"), LookupText("3.18") + name)) return;
    const QString path = existing.isEmpty() ? Host.LanguagesFolder + name + ".ini" : existing;
    // The new translation starts as a copy of the English texts.
    if (!Messages().Default().WriteFile(path)) return;
    FillLanguageList(name);
    Messages().LoadLanguage(name);
    ApplyCaptions();
    if (Host.ModifyLanguage) Host.ModifyLanguage(name);
}

void TFormSettings::DeleteLanguage() {
    const QListWidgetItem* item = ListBoxLanguages->currentItem();
    if (!item) return;
    const QString name = item->text();
    if (name.compare("ENGLISH", Qt::CaseInsensitive) == 0) return;
    if (!Prompts.AskYesNo(LookupText("3.7"), LookupText("3.15") + name)) return;
    QFile::remove(FindLanguageFile(Host.LanguagesFolder, name));
    FillLanguageList(Settings.Language);
}

// ---- apply and the WAV folder ---------------------------------------------------------------------

void TFormSettings::ButtonWAVPathClick() {
    const QString chosen = Prompts.ExistingFolder(LookupText("3.99"), Settings.WAVPath);
    if (chosen.trimmed().isEmpty() || !QFileInfo(chosen).isDir()) return;
    EditWAVPath->setText(WithSlash(chosen));
}

void TFormSettings::Apply() {
    // A language whose file has gone meanwhile leaves the one in force.
    const QString language = SelectedLanguage();
    if (!language.isEmpty()) Messages().LoadLanguage(language);
    ApplyCaptions();

    StoreControls();
    for (int i = 0; i < kConfirmationCount; ++i)
        Settings.Confirmations[static_cast<size_t>(i)].Suppressed =
            VirtualStringTreeWarningMessages->topLevelItem(i)->checkState(0) != Qt::Checked;
    Settings.DropFormAlpha = 255 - TrackBarDropFormTransparentIntensity->value();
    Settings.PauseBetweenAudioTracks = std::max(0, SpinEditPauseBetweenAudioTracks->value());
    Settings.DriveWriteMethodAUDIO = std::max(0, WriteMethods->checkedId());
    const QString wav = EditWAVPath->text();
    if (!wav.trimmed().isEmpty() && QDir().mkpath(wav)) Settings.WAVPath = WithSlash(wav);
    if (Host.SaveSettings) Host.SaveSettings();
}

}  // namespace kv
