#pragma once
#include <QDialog>
#include <array>
#include <functional>

#include "app/Prompts.h"
#include "app/Settings.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QStackedWidget;
class QTabWidget;
class QTreeWidget;

namespace kv {

// "Preferences": every setting a user can change, on seven pages. The controls start from the
// window's setting fields and reach them only through Apply or OK, which also save the settings.
class TFormSettings : public QDialog {
    Q_OBJECT

public:
    struct THost {
        TSettings* Settings = nullptr;
        IPrompts* Prompts = nullptr;
        QString LanguagesFolder;  // ends in "/"
        // The main window's drive box and the selected drive's letter (empty when it has none).
        QString DriveName;
        QString DriveLetter;
        std::function<bool()> SaveSettings;
        // The language tools of the translation windows; a button without its tool stays hidden.
        std::function<void(const QString& name)> ModifyLanguage;
        std::function<void(const QString& name)> SubmitLanguage;
        std::function<void()> CheckLanguage;
    };

    // Page tags, from 1, in list order.
    enum TPage { General = 1, Language, DataWriter, DataVolume, AudioWriter, AudioVolume, WarningMessages };
    static constexpr int kPageCount = 7;

    explicit TFormSettings(THost host, QWidget* parent = nullptr);

    // Shows the page with this tag; a tag that names no page shows the first.
    void ShowPage(int tag);
    int CurrentPage() const;
    void ApplyCaptions();
    void FillLanguageList(const QString& select);
    void Apply();
    void ButtonWAVPathClick();
    void NewLanguage();
    void DeleteLanguage();

    static QString CacheSizeText(int megabytes);

    QListWidget* ListViewMenu = nullptr;
    QStackedWidget* Pages = nullptr;
    // General
    QCheckBox* CheckBoxDriveEjectAfterErase = nullptr;
    QCheckBox* CheckBoxAutoPlayCDDisable = nullptr;
    QLabel* LabelTransparency = nullptr;
    QSlider* TrackBarDropFormTransparentIntensity = nullptr;
    QCheckBox* CheckBoxShowFolderSize = nullptr;
    QCheckBox* CheckBoxInitializeASPI_InternalFirst = nullptr;
    QCheckBox* CheckBoxAutoUpdateEnabled = nullptr;
    // Language
    QListWidget* ListBoxLanguages = nullptr;
    QPushButton* ButtonNewLanguage = nullptr;
    QPushButton* ButtonDeleteLanguage = nullptr;
    QPushButton* ButtonModifyLanguage = nullptr;
    QPushButton* ButtonSubmitLanguage = nullptr;
    QPushButton* ButtonCheckLanguage = nullptr;
    // Data writer
    QLabel* LabelDriveName = nullptr;
    QLabel* LabelDriveLetter = nullptr;
    QLabel* LabelDriveNameValue = nullptr;
    QLabel* LabelDriveLetterValue = nullptr;
    QCheckBox* CheckBoxDriveUnderrunProtection = nullptr;
    QCheckBox* CheckBoxDriveJoliet = nullptr;
    QCheckBox* CheckBoxDriveRockRidge = nullptr;
    QCheckBox* CheckBoxDriveRockRidgeRootOwner = nullptr;
    // The UDF choice, in the order of the setting's values: automatic, always, never.
    QLabel* LabelDriveUdf = nullptr;
    QComboBox* ComboBoxDriveUdf = nullptr;
    QLabel* LabelDriveUdfHint = nullptr;
    QCheckBox* CheckBoxDriveOPC = nullptr;
    QCheckBox* CheckBoxDriveTestWrite = nullptr;
    QCheckBox* CheckBoxDriveEjectAfterWrite = nullptr;
    QLabel* LabelDriveCacheSize = nullptr;
    QSlider* CoolTrackBarDriveCacheSize = nullptr;
    QLabel* LabelDriveCacheSizeValue = nullptr;
    // Data volume
    QTabWidget* TabsVolumeName = nullptr;
    QLabel* LabelVolumeName = nullptr;
    QLineEdit* EditVolumeName = nullptr;
    QLabel* LabelVolumeIncrement = nullptr;
    QSpinBox* SpinEditVolumeIncrement = nullptr;
    QLabel* LabelVolumeTags = nullptr;
    QPlainTextEdit* MemoVolumeTags = nullptr;
    std::array<QLabel*, 7> LabelsVolumeInfo{};
    std::array<QLineEdit*, 7> EditsVolumeInfo{};
    // Audio writer
    QLabel* LabelDriveNameAUDIO = nullptr;
    QLabel* LabelDriveLetterAUDIO = nullptr;
    QLabel* LabelDriveNameValueAUDIO = nullptr;
    QLabel* LabelDriveLetterValueAUDIO = nullptr;
    QCheckBox* CheckBoxDriveUnderrunProtectionAUDIO = nullptr;
    QCheckBox* CheckBoxDriveOPCAUDIO = nullptr;
    QCheckBox* CheckBoxDriveEjectAfterWriteAUDIO = nullptr;
    QCheckBox* CheckBoxWriteCdText = nullptr;
    QLabel* LabelDriveCacheSizeAUDIO = nullptr;
    QSlider* CoolTrackBarDriveCacheSizeAUDIO = nullptr;
    QLabel* LabelDriveCacheSizeValueAUDIO = nullptr;
    QWidget* RadioGroupDriveWriteMethodAUDIO = nullptr;
    QLabel* LabelWriteMethodAUDIO = nullptr;
    QButtonGroup* WriteMethods = nullptr;
    QLabel* LabelWAVPath = nullptr;
    QLineEdit* EditWAVPath = nullptr;
    QPushButton* ButtonWAVPath = nullptr;
    QLabel* LabelPauseBetweenAudioTracks = nullptr;
    QSpinBox* SpinEditPauseBetweenAudioTracks = nullptr;
    // Audio volume
    QTabWidget* TabsAudioVolumeName = nullptr;
    QLabel* LabelAudioVolumeName = nullptr;
    QLineEdit* EditAudioVolumeName = nullptr;
    QLabel* LabelAudioVolumeIncrement = nullptr;
    QSpinBox* SpinEditAudioVolumeIncrement = nullptr;
    QLabel* LabelAudioVolumeTags = nullptr;
    QPlainTextEdit* MemoAudioVolumeTags = nullptr;
    std::array<QLabel*, 3> LabelsAudioInfo{};
    std::array<QLineEdit*, 3> EditsAudioInfo{};
    // Warning messages
    QTreeWidget* VirtualStringTreeWarningMessages = nullptr;

    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonApply = nullptr;

private:
    QWidget* CreateGeneralPage();
    QWidget* CreateLanguagePage();
    QWidget* CreateDataWriterPage();
    QWidget* CreateDataVolumePage();
    QWidget* CreateAudioWriterPage();
    QWidget* CreateAudioVolumePage();
    QWidget* CreateWarningPage();
    void LoadControls();
    void StoreControls();
    QString SelectedLanguage() const;

    THost Host;
    TSettings& Settings;
    IPrompts& Prompts;
};

}  // namespace kv
