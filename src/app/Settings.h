#pragma once
#include <QString>
#include <QStringList>

#include <array>

namespace kv {

inline constexpr const char* kDefaultEasyToolbarButtons =
    "32;0;1;2;3;7;9;10;22;24;34;12;13;16;21;11;31;17;33;20;37;41;38;39;43;44;40";
inline constexpr const char* kDefaultVolumeTemplate = "Disc <#increment> <#dd><#mm><#yy>";

// One confirmation question that the user may switch off. A suppressed confirmation counts as Yes.
struct TConfirmation {
    bool Suppressed = false;
    bool DontDisplayPreset = false;
    bool LastAnswerYes = true;
    bool operator==(const TConfirmation&) const = default;
};

// The twelve confirmations, in the order of their keys (3.0, 3.3, ... 3.33) and of the settings list.
enum class TConfirmationKind {
    BurnData, BurnAudio, QuickErase, NormalErase, SendRecorderInfo, DeleteSelected, DeleteAll,
    CloseDisc, BurnImage, SessionsFound, NewCompilation, AudioWithNonAudioFiles
};
inline constexpr int kConfirmationCount = 12;

// One element of the printed compilation list: the title row or one of the six columns.
struct TPrintElement {
    bool Print = false;
    int FontColour = 0;
    QString FontName;
    int FontSize = 8;
    int Background = 16777215;  // colours are 24-bit BGR values
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    int Alignment = 0;  // 0 left, 1 centre, 2 right
    bool operator==(const TPrintElement&) const = default;
};
inline constexpr int kPrintElementCount = 7;  // title, Name, Path, Size-Duration, Type, Modified, Attributes

struct TWindowPlacement {
    int Top = 0;
    int Left = 0;
    int Height = 0;
    int Width = 0;
    bool operator==(const TWindowPlacement&) const = default;
};

// The live setting fields of the main window; the configuration table is only their staging copy.
struct TSettings {
    // Group 0: window and program state
    TWindowPlacement Window;
    QString Language = "ENGLISH";
    int DataBurnCount = 0;
    int AudioBurnCount = 0;
    int EraseCount = 0;
    bool ShowLog = true;
    bool ShowFolderSize = false;
    bool DonationAsked = false;
    bool ExpertMode = false;
    QString EasyToolbarButtons = kDefaultEasyToolbarButtons;
    int LastBurnMediumClass = 0;
    bool AutoUpdateEnabled = false;

    // Group 1: drive, data volume, audio, folders, tool bars
    bool DriveUnderrunProtection = true;
    bool DriveJoliet = true;
    bool DriveOPC = true;
    QString DriveName;
    int DriveCacheSize = 16;
    bool VerifyData = false;
    bool DriveEjectAfterWrite = false;
    bool DriveEjectAfterErase = false;
    int Unnamed111 = 0;  // key 1.11: kept and written back, no other use
    bool DriveQuickErase = true;
    QString VolumeName = kDefaultVolumeTemplate;
    qint64 VolumeIncrement = 1;
    bool DriveUnderrunProtectionAUDIO = true;
    bool DriveOPCAUDIO = true;
    bool DriveEjectAfterWriteAUDIO = false;
    int DriveCacheSizeAUDIO = 16;
    QString VolumeNameIdSystem;
    QString VolumeNameIdVolumeSet;
    QString VolumeNameIdPublisher;
    QString VolumeNameIdPreparer;
    QString VolumeNameFileCopyright;
    QString VolumeNameFileAbstract;
    QString VolumeNameFileBibliographic;
    QString AudioVolumeName = kDefaultVolumeTemplate;
    qint64 AudioVolumeIncrement = 1;
    QString AudioVolumeNameCDSongWriter;
    QString AudioVolumeNameCDPerformer;
    QString AudioVolumeNameCDCatalog;
    int DriveWriteMethodAUDIO = 0;  // 0 disc at once, 1 track at once
    QString WAVPath;                // always ends in "/"
    bool AutoPlayCDDisable = true;
    int PauseBetweenAudioTracks = 0;
    bool WriteCdText = true;  // session-at-once audio CDs carry the album's and the tracks' texts
    bool ShowToolBarDrive = true;
    bool ShowToolBarWebLinks = true;
    bool ShowToolBarQueue = true;
    bool InitializeASPI_InternalFirst = true;
    bool DriveRockRidge = true;            // data burner RockRidge
    bool DriveRockRidgeRootOwner = false;  // data burner RockRidgeRootOwner: root, readable by all
    int DriveUdf = 0;                      // UDF file system: 0 automatic (DVD, BD, images), 1 always, 2 never

    // Group 2: the add-files window (0 = not placed yet)
    QString AddFilesFolder;
    int AddFilesTop = 0;
    int AddFilesLeft = 0;
    int AddFilesHeight = 0;
    int AddFilesWidth = 0;

    // Group 3
    std::array<TConfirmation, kConfirmationCount> Confirmations{};
    TConfirmation& Confirmation(TConfirmationKind kind) { return Confirmations[static_cast<size_t>(kind)]; }
    const TConfirmation& Confirmation(TConfirmationKind kind) const {
        return Confirmations[static_cast<size_t>(kind)];
    }

    // Group 4: the drop window
    int DropFormTop = 0;
    int DropFormLeft = 0;
    int DropFormAlpha = 180;

    // Group 5: the command panel
    QString CommandVolumeName;
    int CommandDriveSpeed = 0;  // in X; 0 is "Max"
    bool CommandCloseDisc = true;

    // Groups 6 and 7
    QString ExtractFolder;
    QString OnlineMarker;
    QStringList OnlineMarkerItems;  // OnlineMarker split at ";", for the online services

    // Group 8: the compilation print dialog
    int PrintItemSelection = 0;  // 0 all items, 1 only those selected in the main window
    QString PrintTitle = "Compilation Title";
    std::array<TPrintElement, kPrintElementCount> PrintElements = DefaultPrintElements();
    int PrintCellBorder = 1;
    int PrintCellPadding = 1;
    int PrintCellSpacing = 1;
    int PrintPageBackground = 16777215;
    QString PrintBackgroundImage;

    static std::array<TPrintElement, kPrintElementCount> DefaultPrintElements();
    bool operator==(const TSettings&) const = default;
};

}  // namespace kv
