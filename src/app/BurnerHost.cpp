#include "app/BurnerHost.h"

#include "app/DriveSpeeds.h"
#include "app/MessageCatalogue.h"
#include "audiowrite/TCueBurner.h"
#include "datawrite/TZelBurner.h"
#include "device/DevicePathIdentity.h"
#include "jobs/JobClaims.h"
#include "transport/RequestInterface.h"
#include "virtualrecorder/MediumTools.h"
#include "virtualrecorder/VirtualRecorders.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdint>

namespace kv {
namespace {

constexpr uint32_t kRecorderCapabilities = WriteCDR | WriteCDRW | WriteDVDR | WriteDVDRW | WriteDVDRAM |
                                           WriteDVDPLUSR | WriteDVDPLUSRDL | WriteDVDPLUSRW | WriteISRC;
constexpr uint32_t kReleaseSyncTimeoutMs = 300000;
constexpr int64_t kLoadWaitMs = 15000;
constexpr int64_t kLoadPollMs = 1000;

std::string Std(const QString& text) { return text.toStdString(); }
QString Qt(const std::string& text) { return QString::fromStdString(text); }

bool UsableIdentity(const std::string& identity) {
    const QString trimmed = Qt(identity).trimmed();
    return !trimmed.isEmpty() && trimmed.compare(kInvalidDeviceText, Qt::CaseInsensitive) != 0;
}

void Log(TDriveReports& reports, const QString& text) { reports.push_back({TDriveReport::TKind::Log, text, {}}); }
void LogKey(TDriveReports& reports, const QString& key, QStringList values = {}) {
    reports.push_back({TDriveReport::TKind::LogKey, key, std::move(values)});
}
void ErrorKey(TDriveReports& reports, const QString& key, QStringList values = {}) {
    reports.push_back({TDriveReport::TKind::ErrorKey, key, std::move(values)});
}
void HelpLink(TDriveReports& reports, const QString& keyword) {
    reports.push_back({TDriveReport::TKind::HelpLink, keyword, {}});
}
void Append(TDriveReports& to, TDriveReports&& from) {
    to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

QString LetterOf(TSCSIDevice& device) {
    const char letter = device.GetDriveLetter();
    return letter >= 'A' && letter <= 'Z' ? QString(QChar(letter)) : QString();
}

// Where the selected drive is, for the drive box only: a virtual recorder's medium file (empty
// while it holds none), a real drive's device node.
QString LocationOf(const TSCSIDevice& device) {
    if (device.HostAdapter == kNoDevice) return {};
    const auto path = EmulatedPathOfAddress({device.HostAdapter, device.TargetId, device.Lun});
    if (!path) return {};
    for (const auto& recorder : vr::PresentRecorders())
        if (recorder->DevicePath() == *path) return Qt(recorder->MediumPath());
    return Qt(*path);
}

}  // namespace

TBurnerSettings TBurnerSettings::From(const TSettings& s) {
    TBurnerSettings b;
    b.DriveName = s.DriveName;
    b.CommandDriveSpeed = s.CommandDriveSpeed;
    b.CommandCloseDisc = s.CommandCloseDisc;
    b.DriveJoliet = s.DriveJoliet;
    b.DriveRockRidge = s.DriveRockRidge;
    b.DriveRockRidgeRootOwner = s.DriveRockRidgeRootOwner;
    b.DriveUdf = s.DriveUdf;
    b.DriveCacheSize = s.DriveCacheSize;
    b.DriveOPC = s.DriveOPC;
    b.DriveUnderrunProtection = s.DriveUnderrunProtection;
    b.DriveCacheSizeAUDIO = s.DriveCacheSizeAUDIO;
    b.DriveOPCAUDIO = s.DriveOPCAUDIO;
    b.DriveUnderrunProtectionAUDIO = s.DriveUnderrunProtectionAUDIO;
    b.DriveWriteMethodAUDIO = s.DriveWriteMethodAUDIO;
    b.InternalFirst = s.InitializeASPI_InternalFirst;
    return b;
}

TBurnerHost::TBurnerHost(THooks hooks) : Hooks(std::move(hooks)) {}

TBurnerHost::~TBurnerHost() = default;

QString TBurnerHost::LetterOfDevice(const QString& devicePath) const {
    if (!Data) return {};
    const std::optional<std::string> identity = ListedIdentityOfPath(*Data, devicePath.toStdString());
    // "H:T:L,X: VENDOR..." — the letter follows the address.
    const size_t comma = identity ? identity->find(',') : std::string::npos;
    if (comma == std::string::npos || comma + 2 >= identity->size() || (*identity)[comma + 2] != ':') return {};
    const char letter = (*identity)[comma + 1];
    return letter >= 'A' && letter <= 'Z' ? QString(QChar(letter)) : QString();
}

bool TBurnerHost::DriveHeldByJob(const TBurnerSettings& settings, TDriveReports& reports) const {
    // Preparing a burner releases the other one and sets the drive's speed: on a drive a job is
    // writing that would flush, reset and unload the transport under the write.
    const bool held = (!settings.DriveName.trimmed().isEmpty() && jobs::DriveClaimed(Std(settings.DriveName))) ||
                      (Data && !Data->Device().empty() && jobs::DriveClaimed(Data->Device())) ||
                      (Audio && !Audio->Device().empty() && jobs::DriveClaimed(Audio->Device()));
    if (held) ErrorKey(reports, "30.5");
    return held;
}

TPrepareOutcome TBurnerHost::PrepareDataBurner(const TBurnerSettings& settings) {
    TPrepareOutcome outcome;
    outcome.DriveName = settings.DriveName;
    if (DriveHeldByJob(settings, outcome.Reports)) return outcome;
    if (Audio && AudioInitialized) ReleaseAudioBurner();
    // The released data burner comes back rather than a fresh one: its compilation holds the
    // imported session, which the tree still shows and a later append or extraction needs.
    if (!Data && !ReleasedData.empty()) {
        Data = std::move(ReleasedData.back());
        ReleasedData.pop_back();
    }
    if (!Data) {
        Data = std::make_unique<TZelBurner>();
        Data->DoDebug = true;
        if (Hooks.DebugMessage)
            Data->OnDebugMessage = [hook = Hooks.DebugMessage](TSCSIDevice*, const std::string& message,
                                                                uint8_t type) { hook(message, type); };
        if (Hooks.ConnectDataBurner) Hooks.ConnectDataBurner(*Data);
    }
    if (!DataInitialized) {
        vr::InstallVirtualRecorders();
        DataInitialized = Data->InitializeASPI(settings.InternalFirst, "");
        if (!DataInitialized) {
            HelpLink(outcome.Reports, "externalaspinotfound");
            return outcome;
        }
        if (!settings.DriveName.trimmed().isEmpty()) Data->SetDevice(Std(settings.DriveName));
        if (!UsableIdentity(Data->Device())) SelectFirstRecorder(outcome.DriveName);
        if (!UsableIdentity(Data->Device())) {
            ErrorKey(outcome.Reports, "11.69");
            HelpLink(outcome.Reports, "unabletorecognizecdburner");
        }
    }
    outcome.Prepared = true;
    outcome.Identity = Qt(Data->Device());
    outcome.Letter = LetterOf(*Data);
    outcome.MediumType = Data->MediumType();
    ApplyDataSettings(*Data, settings, outcome.MediumType);
    return outcome;
}

void TBurnerHost::ApplyDataSettings(TZelBurner& burner, const TBurnerSettings& settings, uint8_t mediumType) {
    burner.JolietFileSystem = settings.DriveJoliet;
    burner.RockRidge = settings.DriveRockRidge;
    burner.RockRidgeRootOwner = settings.DriveRockRidgeRootOwner;
    burner.UdfChoice = settings.DriveUdf == 1 ? TUdfChoice::On : settings.DriveUdf == 2 ? TUdfChoice::Off : TUdfChoice::Auto;
    burner.SetWriteSpeed(WriteSpeedFor(settings.CommandDriveSpeed, mediumType));
    burner.FinalizeDisc = settings.CommandCloseDisc;
    burner.SetCacheSize(static_cast<int>(std::clamp(settings.DriveCacheSize, 0, 1024)) << 20);
    burner.FinalizeTrack = true;
    burner.PerformOPC = settings.DriveOPC;
    burner.UnderrunProtection = settings.DriveUnderrunProtection;
}

TZelBurner* TBurnerHost::CopyTarget(const TBurnerSettings& settings, const QString& identity,
                                    TDriveReports& reports) {
    // The request interface is the data burner's: it must be loaded before another drive is selected.
    Append(reports, PrepareDataBurner(settings).Reports);
    TZelBurner* target = nullptr;
    for (const auto& burner : CopyTargets)
        if (Qt(burner->Device()) == identity) target = burner.get();
    if (!target) {
        auto fresh = std::make_unique<TZelBurner>();
        if (!DataInitialized || !fresh->SetDevice(Std(identity)) || !UsableIdentity(fresh->Device())) {
            ErrorKey(reports, "11.42", {"<#error>=" + Qt(fresh->LastError().empty() ? kInvalidDeviceText
                                                                                      : fresh->LastError())});
            return nullptr;
        }
        target = CopyTargets.emplace_back(std::move(fresh)).get();
    }
    ApplyDataSettings(*target, settings, target->MediumType());
    return target;
}

void TBurnerHost::SelectFirstRecorder(QString& driveName) {
    if (UsableIdentity(Data->Device())) return;
    const std::vector<std::string> devices = Data->DeviceList();
    for (const std::string& identity : devices) {
        Data->SetDevice(identity);
        if (IsRecorder()) {
            driveName = Qt(Data->Device());
            return;
        }
    }
}

bool TBurnerHost::PrepareAudioBurner(const TBurnerSettings& settings, TDriveReports& reports) {
    if (DriveHeldByJob(settings, reports)) return false;
    // The data burner gives the drive back even before the first audio preparation: only one
    // component holds the transport at a time.
    if (Data && DataInitialized) ReleaseDataBurner();
    if (!Audio) {
        Audio = std::make_unique<TCueBurner>();
        if (Hooks.ConnectAudioBurner) Hooks.ConnectAudioBurner(*Audio);
    }
    if (!AudioInitialized) {
        vr::InstallVirtualRecorders();
        AudioInitialized = Audio->InitializeASPI(settings.InternalFirst, "");
    }
    if (!AudioInitialized) {
        HelpLink(reports, "externalaspinotfound");
        return false;
    }
    if (!settings.DriveName.trimmed().isEmpty()) Audio->SetDevice(Std(settings.DriveName));
    Audio->SetWriteSpeed(WriteSpeedFor(settings.CommandDriveSpeed, Audio->MediumType()));
    Audio->FinalizeDisc = settings.CommandCloseDisc;
    Audio->SetCacheSize(int64_t{std::clamp(settings.DriveCacheSizeAUDIO, 0, 1024)} * kMiB);
    Audio->UnderrunProtection = settings.DriveUnderrunProtectionAUDIO;
    Audio->PerformOPC = settings.DriveOPCAUDIO;
    Audio->SetWriteMethod(settings.DriveWriteMethodAUDIO == 1 ? TWriteMethod::wmTAO : TWriteMethod::wmDAO);
    return true;
}

template <typename Burner>
void TBurnerHost::Release(std::unique_ptr<Burner>& burner) {
    burner->SynchronizeCache(kReleaseSyncTimeoutMs, false);
    burner->AllowMediumRemoval(true);
    burner->ResetDevice();
    burner->UnloadASPI();
    burner->SetDevice("");
}

void TBurnerHost::ReleaseDataBurner() {
    if (!Data) return;
    Release(Data);
    DataInitialized = false;
    ReleasedData.push_back(std::move(Data));
}

void TBurnerHost::ReleaseAudioBurner() {
    if (!Audio) return;
    Release(Audio);
    AudioInitialized = false;
    ReleasedAudio.push_back(std::move(Audio));
}

bool TBurnerHost::IsRecorder() const { return Data && (Data->Capabilities & kRecorderCapabilities) != 0; }

TRecorderListOutcome TBurnerHost::FillRecorderList(TBurnerSettings settings) {
    TRecorderListOutcome outcome;
    TPrepareOutcome prepared = PrepareDataBurner(settings);
    outcome.Reports = std::move(prepared.Reports);
    settings.DriveName = outcome.DriveName = prepared.DriveName;
    if (!prepared.Prepared || Data->DeviceList().empty()) return outcome;

    const std::vector<std::string> devices = Data->DeviceList();
    for (const std::string& identity : devices) {
        Data->SetDevice(identity);
        if (!IsRecorder()) continue;
        outcome.Items.append(Qt(Data->Device()));
        outcome.Locations.append(LocationOf(*Data));
    }
    Data->SetDevice(Std(settings.DriveName));

    outcome.Filled = true;
    outcome.Selected = 0;
    const QString stored = settings.DriveName.trimmed();
    for (qsizetype i = 0; !stored.isEmpty() && i < outcome.Items.size(); ++i) {
        if (outcome.Items[i].compare(settings.DriveName, Qt::CaseInsensitive) == 0) {
            outcome.Selected = static_cast<int>(i);
            break;
        }
    }
    outcome.Change = DriveChange(settings, outcome.Items.value(outcome.Selected));
    if (outcome.Change.Changed) outcome.DriveName = outcome.Change.DriveName;
    return outcome;
}

TDriveChangeOutcome TBurnerHost::DriveChange(TBurnerSettings settings, const QString& identity) {
    TDriveChangeOutcome outcome;
    TPrepareOutcome prepared = PrepareDataBurner(settings);
    Append(outcome.Reports, std::move(prepared.Reports));
    settings.DriveName = outcome.DriveName = prepared.DriveName;
    if (!prepared.Prepared || !IsRecorder()) return outcome;

    prepared = PrepareDataBurner(settings);
    Append(outcome.Reports, std::move(prepared.Reports));
    if (!prepared.Prepared) return outcome;
    Data->SetDevice(Std(identity));
    outcome.Changed = true;
    outcome.DriveName = Qt(Data->Device());
    outcome.Identity = outcome.DriveName;
    outcome.Letter = LetterOf(*Data);
    outcome.Virtual = SelectedVirtualRecorder() != nullptr;
    outcome.Capabilities = Data->Capabilities;
    if (!outcome.Identity.isEmpty()) {
        Log(outcome.Reports, outcome.Identity + " - " + outcome.Letter.toUpper() + ":");
        LogKey(outcome.Reports, "11.0");
    }
    return outcome;
}

TSpeedListOutcome TBurnerHost::MeasureSpeeds(const TBurnerSettings& settings, const QLocale& locale) {
    TSpeedListOutcome outcome;
    TPrepareOutcome prepared = PrepareDataBurner(settings);
    outcome.Reports = std::move(prepared.Reports);
    if (!prepared.Prepared) return outcome;
    const uint16_t maxSpeed = Data->ReadMaxWriteSpeed();
    if (maxSpeed == 0) {
        outcome.NoneOnly = true;
        return outcome;
    }
    const double unit = SpeedUnit(Data->MediumType());
    if (!Data->TestUnitReady(0)) {
        LogKey(outcome.Reports, "11.73");
        return outcome;
    }
    // Mode page 2Ah holds 16-bit speeds and SET CD SPEED asks for at most 65,535 KB/s, under 15X
    // on BD: a BD medium's speeds are the ones its performance descriptors name.
    const auto add = [&](int shown, int actual) {
        const QString text = SpeedEntryText(shown, actual, locale);
        qsizetype index = -1;
        for (qsizetype i = 0; i < outcome.Entries.size() && index < 0; ++i)
            if (outcome.Entries[i].compare(text, Qt::CaseInsensitive) == 0) index = i;
        if (index < 0) {
            outcome.Entries.append(text);
            index = outcome.Entries.size() - 1;
        }
        if (shown == settings.CommandDriveSpeed) outcome.Selected = static_cast<int>(index) + 1;
    };
    if (IsBluRayMedium(Data->MediumType())) {
        const std::vector<uint32_t> speeds = Data->ReadMediumWriteSpeeds();
        for (uint32_t kbs : speeds) add(RoundHalfEven(kbs / unit), static_cast<int>(std::min<uint32_t>(kbs, INT32_MAX)));
        if (!speeds.empty()) {
            outcome.Measured = true;
            return outcome;
        }
    }
    const int fastest = RoundHalfEven(Data->ReadMaxWriteSpeed() / unit);
    for (int factor = fastest; factor >= 1; --factor) {
        Data->SetWriteSpeed(static_cast<uint16_t>(std::min(RoundHalfEven(factor * unit), 65535)));
        const uint16_t actual = Data->ReadCurrentWriteSpeed();
        add(RoundHalfEven(actual / unit), actual);
    }
    outcome.Measured = true;
    return outcome;
}

TDriveReports TBurnerHost::EjectDisc(const TBurnerSettings& settings, bool report) {
    TPrepareOutcome prepared = PrepareDataBurner(settings);
    TDriveReports reports = std::move(prepared.Reports);
    if (!prepared.Prepared) return reports;
    Data->SynchronizeCache(kReleaseSyncTimeoutMs, false);
    Data->AllowMediumRemoval(true);
    const bool ejected = Data->EjectMedium(true);
    if (report) LogKey(reports, ejected ? "11.20" : "11.21");
    return reports;
}

TDriveReports TBurnerHost::LoadDisc(const TBurnerSettings& settings, bool wait, bool report) {
    TPrepareOutcome prepared = PrepareDataBurner(settings);
    TDriveReports reports = std::move(prepared.Reports);
    if (!prepared.Prepared) return reports;
    if (Data->EjectMedium(false) && report) LogKey(reports, "11.22");
    if (wait) {
        Data->WaitUntilReady(kLoadWaitMs, kLoadPollMs);
        Data->TestUnitReady(static_cast<uint32_t>(kLoadWaitMs));
    }
    return reports;
}

TPrepareOutcome TBurnerHost::PrepareDataBurnerWithDisc(const TBurnerSettings& settings,
                                                       bool loadWhenNotReady) {
    TPrepareOutcome outcome = PrepareDataBurner(settings);
    if (loadWhenNotReady && outcome.Prepared && !Data->TestUnitReady(0))
        Append(outcome.Reports, LoadDisc(settings, true, false));
    return outcome;
}

bool TBurnerHost::EnsureDiscReady(const TBurnerSettings& settings, TDriveReports& reports) {
    try {
        TPrepareOutcome prepared = PrepareDataBurnerWithDisc(settings, true);
        Append(reports, std::move(prepared.Reports));
        if (!prepared.Prepared) return false;
        if (Data->TestUnitReady(0)) return true;
        reports.push_back({TDriveReport::TKind::NoticeKey, "11.66", {}});
        return false;
    } catch (...) {
        return false;
    }
}

// ---- the virtual recorder menu --------------------------------------------------------------

std::shared_ptr<vr::TVirtualRecorder> TBurnerHost::SelectedVirtualRecorder() const {
    if (!Data || Data->HostAdapter == kNoDevice) return nullptr;
    for (const auto& recorder : vr::PresentRecorders()) {
        const auto address = EmulatedAddressOfPath(recorder->DevicePath());
        if (address && address->HostAdapter == Data->HostAdapter && address->TargetId == Data->TargetId &&
            address->Lun == Data->Lun)
            return recorder;
    }
    return nullptr;
}

std::shared_ptr<vr::TVirtualRecorder> TBurnerHost::VirtualRecorderFor(const TBurnerSettings& settings,
                                                                      TVirtualMediumOutcome& outcome) {
    TPrepareOutcome prepared = PrepareDataBurner(settings);
    Append(outcome.Reports, std::move(prepared.Reports));
    if (!prepared.Prepared) return nullptr;
    auto recorder = SelectedVirtualRecorder();
    if (!recorder) {
        ErrorKey(outcome.Reports, "27.13");
        return nullptr;
    }
    outcome.Letter = LetterOf(*Data);
    return recorder;
}

TVirtualMediumOutcome TBurnerHost::InsertNewMedium(const TBurnerSettings& settings, const QString& kindName,
                                                   const QString& folder) {
    TVirtualMediumOutcome outcome;
    auto recorder = VirtualRecorderFor(settings, outcome);
    const auto kind = vr::KindFromCliName(Std(kindName));
    if (!recorder || !kind) return outcome;
    QDir().mkpath(folder);
    QString path;
    for (int n = 1; path.isEmpty() || QFileInfo::exists(path); ++n)
        path = QDir(folder).filePath(QString("%1-%2.kvm").arg(kindName).arg(n));
    std::string error;
    if (!vr::CreateBlankMedium(Std(path), *kind, 0, error)) {
        ErrorKey(outcome.Reports, "27.12", {"<#error>=" + Qt(error)});
        return outcome;
    }
    Insert(*recorder, path, outcome);
    return outcome;
}

TVirtualMediumOutcome TBurnerHost::InsertMediumFile(const TBurnerSettings& settings, const QString& path) {
    TVirtualMediumOutcome outcome;
    if (auto recorder = VirtualRecorderFor(settings, outcome)) Insert(*recorder, path, outcome);
    return outcome;
}

void TBurnerHost::Insert(vr::TVirtualRecorder& recorder, const QString& path, TVirtualMediumOutcome& outcome) {
    std::string error;
    if (!recorder.InsertFile(Std(path), error)) {
        ErrorKey(outcome.Reports, "27.12", {"<#error>=" + Qt(error)});
        return;
    }
    LogKey(outcome.Reports, "27.9", {"<#mediumfilename>=" + path});
    outcome.Done = true;
}

TVirtualMediumOutcome TBurnerHost::EjectMedium(const TBurnerSettings& settings) {
    TVirtualMediumOutcome outcome;
    auto recorder = VirtualRecorderFor(settings, outcome);
    if (!recorder) return outcome;
    const QString path = Qt(recorder->MediumPath());
    if (path.isEmpty()) {
        ErrorKey(outcome.Reports, "27.14");
        return outcome;
    }
    recorder->Remove();
    LogKey(outcome.Reports, "27.10", {"<#mediumfilename>=" + path});
    outcome.Done = true;
    return outcome;
}

TVirtualMediumOutcome TBurnerHost::ExportMedium(const TBurnerSettings& settings, const QString& isoPath) {
    TVirtualMediumOutcome outcome;
    auto recorder = VirtualRecorderFor(settings, outcome);
    if (!recorder) return outcome;
    const std::string medium = recorder->MediumPath();
    std::string error;
    if (medium.empty()) {
        ErrorKey(outcome.Reports, "27.14");
        return outcome;
    }
    if (!recorder->Flush(error) || !vr::ExportImage(medium, Std(isoPath), 0, error)) {
        ErrorKey(outcome.Reports, "27.12", {"<#error>=" + Qt(error)});
        return outcome;
    }
    LogKey(outcome.Reports, "27.11", {"<#file>=" + isoPath});
    outcome.Done = true;
    return outcome;
}

std::vector<TBlankMediumKind> BlankMediumKinds() {
    std::vector<TBlankMediumKind> kinds;
    for (vr::EMediumKind kind :
         {vr::EMediumKind::CdR, vr::EMediumKind::CdRw, vr::EMediumKind::DvdR, vr::EMediumKind::DvdRwSequential,
          vr::EMediumKind::DvdRwRestricted, vr::EMediumKind::DvdPlusR, vr::EMediumKind::DvdPlusRw,
          vr::EMediumKind::DvdPlusRDualLayer, vr::EMediumKind::DvdRam}) {
        const vr::TMediumTraits& traits = vr::Traits(kind);
        kinds.push_back({QString::fromLatin1(traits.CliName), QString::fromLatin1(traits.DisplayName)});
    }
    // The BD names carry their capacity, which a user would not guess from the layer count alone.
    const std::pair<vr::EMediumKind, const char*> bluRay[] = {{vr::EMediumKind::BdR, "33.2"},
                                                               {vr::EMediumKind::BdRDualLayer, "33.3"},
                                                               {vr::EMediumKind::BdRe, "33.4"},
                                                               {vr::EMediumKind::BdReDualLayer, "33.5"}};
    for (const auto& [kind, key] : bluRay) kinds.push_back({QString::fromLatin1(vr::Traits(kind).CliName), LookupText(key)});
    return kinds;
}

}  // namespace kv
