#pragma once
#include "app/Settings.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace kv {

class TZelBurner;
class TCueBurner;
namespace vr {
class TVirtualRecorder;
}

// The settings a drive task works with, copied from the settings fields when the task is posted
// (the drive thread never reads the live fields).
struct TBurnerSettings {
    QString DriveName;
    int CommandDriveSpeed = 0;
    bool CommandCloseDisc = true;
    bool DriveJoliet = true;
    bool DriveRockRidge = true;
    bool DriveRockRidgeRootOwner = false;
    int DriveUdf = 0;
    int DriveCacheSize = 16;
    bool DriveOPC = true;
    bool DriveUnderrunProtection = true;
    int DriveCacheSizeAUDIO = 16;
    bool DriveOPCAUDIO = true;
    bool DriveUnderrunProtectionAUDIO = true;
    int DriveWriteMethodAUDIO = 0;
    bool InternalFirst = true;

    static TBurnerSettings From(const TSettings& settings);
};

// What a drive task asks the window to show, in order. Keys are looked up on the GUI thread;
// `Values` fill their placeholders ("<#name>=value" lines).
struct TDriveReport {
    enum class TKind { Log, LogKey, ErrorKey, HelpLink, NoticeKey };
    TKind Kind = TKind::Log;
    QString Text;  // text, key or help keyword
    QStringList Values;
};
using TDriveReports = std::vector<TDriveReport>;

struct TPrepareOutcome {
    bool Prepared = false;  // the data burner holds the transport
    QString DriveName;      // the setting afterwards (the first recorder when the stored one was unusable)
    QString Identity;       // of the drive the burner has selected, empty for none
    QString Letter;
    uint8_t MediumType = 0;
    TDriveReports Reports;
};

struct TDriveChangeOutcome {
    bool Changed = false;  // the drive selected before was a recorder, so the choice was taken
    QString DriveName;     // the setting afterwards
    QString Identity;      // of the selected drive; empty when the choice could not be selected
    QString Letter;
    bool Virtual = false;  // the selected drive is a virtual recorder
    uint32_t Capabilities = 0;  // of the selected drive (TCapability bits): which capacity bars it gets
    TDriveReports Reports;
};

struct TRecorderListOutcome {
    bool Filled = false;  // false: no device at all, the box stays as it was
    QStringList Items;     // identity strings, as the drive setting stores them
    QStringList Locations; // for display beside each: a real drive's device, a virtual recorder's medium file
    int Selected = 0;
    TDriveChangeOutcome Change;  // of the selected item (only when filled)
    TDriveReports Reports;       // of the preparation
    QString DriveName;
};

struct TSpeedListOutcome {
    bool NoneOnly = false;  // no maximum write speed: only "None"
    QStringList Entries;    // the measured entries after "Max"
    int Selected = 0;       // in the whole list, "Max" being 0
    bool Measured = false;
    TDriveReports Reports;
};

struct TVirtualMediumOutcome {
    bool Done = false;
    QString Letter;  // of the drive whose medium changed
    TDriveReports Reports;
};

// The two burner components and every drive command the window runs, on the drive thread only
// (see TDriveRunner). Preparing one burner releases the other, so only one holds the transport;
// a released component is kept, not destroyed, until this host goes (on the GUI thread, after
// the drive thread has ended), because queued events may still name it.
class TBurnerHost {
public:
    struct THooks {
        // The data burner's debug lines, on the thread that raised them.
        std::function<void(const std::string& message, uint8_t type)> DebugMessage;
        // Lets the window connect the events of a fresh component.
        std::function<void(TZelBurner&)> ConnectDataBurner;
        std::function<void(TCueBurner&)> ConnectAudioBurner;
    };

    explicit TBurnerHost(THooks hooks = {});
    ~TBurnerHost();
    TBurnerHost(const TBurnerHost&) = delete;
    TBurnerHost& operator=(const TBurnerHost&) = delete;

    TPrepareOutcome PrepareDataBurner(const TBurnerSettings& settings);
    // The same; then, when asked, a drive that is not ready gets its tray closed and is waited
    // for. The reports hold both steps' lines.
    TPrepareOutcome PrepareDataBurnerWithDisc(const TBurnerSettings& settings, bool loadWhenNotReady);
    bool PrepareAudioBurner(const TBurnerSettings& settings, TDriveReports& reports);
    void ReleaseDataBurner();
    void ReleaseAudioBurner();
    TZelBurner* DataBurner() const { return Data.get(); }
    // A second data burner on another listed drive, with the data settings: what a disc copy writes
    // to. Null (with an error report) when that drive cannot be selected. It stays until the host
    // goes, as a job that wrote with it may still be let go.
    TZelBurner* CopyTarget(const TBurnerSettings& settings, const QString& identity, TDriveReports& reports);
    TCueBurner* AudioBurner() const { return Audio.get(); }

    // A job holds the drive a task would work on (see jobs/JobClaims.h): the task sends nothing and
    // says so in `reports`. Every preparation asks this first.
    bool DriveHeldByJob(const TBurnerSettings& settings, TDriveReports& reports) const;

    // The data burner's selected drive can write some medium (test writing and underrun
    // protection alone do not count).
    bool IsRecorder() const;

    // The recorder list at start-up with the choice of the stored drive, and that choice taken.
    TRecorderListOutcome FillRecorderList(TBurnerSettings settings);
    TDriveChangeOutcome DriveChange(TBurnerSettings settings, const QString& identity);
    TSpeedListOutcome MeasureSpeeds(const TBurnerSettings& settings, const QLocale& locale);
    TDriveReports EjectDisc(const TBurnerSettings& settings, bool report);
    TDriveReports LoadDisc(const TBurnerSettings& settings, bool wait, bool report);
    bool EnsureDiscReady(const TBurnerSettings& settings, TDriveReports& reports);

    // The letter of the listed drive behind a device path ("/dev/sr0", "virtual:..."); empty when
    // it is not listed or no burner exists.
    QString LetterOfDevice(const QString& devicePath) const;

    // The virtual recorder behind the data burner's selection, if it is one.
    std::shared_ptr<vr::TVirtualRecorder> SelectedVirtualRecorder() const;
    // `kindName` as `media create --type` names it; the file goes into `folder`.
    TVirtualMediumOutcome InsertNewMedium(const TBurnerSettings& settings, const QString& kindName,
                                          const QString& folder);
    TVirtualMediumOutcome InsertMediumFile(const TBurnerSettings& settings, const QString& path);
    TVirtualMediumOutcome EjectMedium(const TBurnerSettings& settings);
    TVirtualMediumOutcome ExportMedium(const TBurnerSettings& settings, const QString& isoPath);

private:
    void SelectFirstRecorder(QString& driveName);
    static void ApplyDataSettings(TZelBurner& burner, const TBurnerSettings& settings, uint8_t mediumType);
    template <typename Burner>
    void Release(std::unique_ptr<Burner>& burner);
    std::shared_ptr<vr::TVirtualRecorder> VirtualRecorderFor(const TBurnerSettings& settings,
                                                             TVirtualMediumOutcome& outcome);
    static void Insert(vr::TVirtualRecorder& recorder, const QString& path, TVirtualMediumOutcome& outcome);

    THooks Hooks;
    std::unique_ptr<TZelBurner> Data;
    std::unique_ptr<TCueBurner> Audio;
    // Whether each component has initialised the request interface for itself. The built-in
    // interface stays loaded for the whole process once loaded, so a fresh component would
    // otherwise never select its drive.
    bool DataInitialized = false;
    bool AudioInitialized = false;
    std::vector<std::unique_ptr<TZelBurner>> ReleasedData;
    std::vector<std::unique_ptr<TCueBurner>> ReleasedAudio;
    std::vector<std::unique_ptr<TZelBurner>> CopyTargets;
};

// The media a new blank virtual medium can be, as `media create --type` names them, with their
// display names (the BD ones from the catalogue, so on the GUI thread).
struct TBlankMediumKind {
    QString Name;
    QString DisplayName;
};
std::vector<TBlankMediumKind> BlankMediumKinds();

}  // namespace kv
