#include "app/SettingsModel.h"

#include "app/FolderCleaner.h"

#include <QDir>

#include <algorithm>
#include <functional>
#include <limits>
#include <type_traits>
#include <vector>

namespace kv {
namespace {

using TStored = std::optional<QString>;

// One configuration key bound to its field: how an absent or stored value reaches the field, and
// how the field is written back.
struct TBinding {
    QString Key;
    std::function<void(TSettings& settings, const TStored& stored, const TSettings& defaults)> Load;
    std::function<std::optional<QString>(const TSettings& settings)> Save;
};

#define KV_FIELD(member) [](auto& s) -> auto& { return s.member; }

template <typename Field>
TBinding BoolKey(const QString& key, Field field) {
    return {key,
            [field](TSettings& s, const TStored& v, const TSettings& d) { field(s) = v ? *v == "1" : field(d); },
            [field](const TSettings& s) -> std::optional<QString> { return QString(field(s) ? "1" : "0"); }};
}

// The first-run questions set these after loading, so an absent key keeps the field as it is.
template <typename Field>
TBinding BoolKeyKeepingCurrent(const QString& key, Field field) {
    TBinding binding = BoolKey(key, field);
    binding.Load = [field](TSettings& s, const TStored& v, const TSettings&) {
        if (v) field(s) = *v == "1";
    };
    return binding;
}

// The program only ever writes decimal numbers; anything else (a hand-edited file) reads as the default.
template <typename Field>
TBinding IntKey(const QString& key, Field field) {
    return {key,
            [field](TSettings& s, const TStored& v, const TSettings& d) {
                using T = std::remove_cvref_t<decltype(field(s))>;
                bool ok = false;
                const qint64 n = v ? v->trimmed().toLongLong(&ok) : 0;
                ok = ok && n >= std::numeric_limits<T>::min() && n <= std::numeric_limits<T>::max();
                field(s) = ok ? static_cast<T>(n) : field(d);
            },
            [field](const TSettings& s) -> std::optional<QString> { return QString::number(field(s)); }};
}

template <typename Field>
TBinding TextKey(const QString& key, Field field) {
    return {key, [field](TSettings& s, const TStored& v, const TSettings& d) { field(s) = v ? *v : field(d); },
            [field](const TSettings& s) -> std::optional<QString> { return field(s); }};
}

QString Key(int group, int item) { return QString::number(group) + '.' + QString::number(item); }

std::optional<int> ParseInt(const TStored& v) {
    if (!v) return std::nullopt;
    bool ok = false;
    const int n = v->trimmed().toInt(&ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

void AppendConfirmationKeys(std::vector<TBinding>& table) {
    for (int i = 0; i < kConfirmationCount; ++i) {
        const int k = 3 * i;
        table.push_back(BoolKey(Key(3, k), [i](auto& s) -> auto& { return s.Confirmations[i].Suppressed; }));
        table.push_back(BoolKey(Key(3, k + 1), [i](auto& s) -> auto& { return s.Confirmations[i].DontDisplayPreset; }));
        table.push_back(BoolKey(Key(3, k + 2), [i](auto& s) -> auto& { return s.Confirmations[i].LastAnswerYes; }));
    }
}

// Group 8 in key order. The first keys of each print element: print, font colour, font name,
// size, background, bold (italic and underline follow) and alignment.
void AppendPrintKeys(std::vector<TBinding>& table) {
    struct TElementKeys {
        int Print, Colour, Font, Size, Background, Bold, Alignment;
    };
    static constexpr TElementKeys kKeys[kPrintElementCount] = {
        {2, 3, 4, 5, 6, 7, 26},       {10, 11, 12, 13, 14, 15, 27}, {18, 19, 20, 21, 22, 23, 28},
        {29, 30, 31, 32, 33, 34, 37}, {38, 39, 40, 41, 42, 43, 46}, {47, 48, 49, 50, 51, 52, 55},
        {56, 57, 58, 59, 60, 61, 64}};
    std::vector<std::pair<int, TBinding>> group;
    group.push_back({0, IntKey(Key(8, 0), KV_FIELD(PrintItemSelection))});
    group.push_back({1, TextKey(Key(8, 1), KV_FIELD(PrintTitle))});
    for (int e = 0; e < kPrintElementCount; ++e) {
        const TElementKeys& k = kKeys[e];
        auto element = [e](auto& s) -> auto& { return s.PrintElements[e]; };
        group.push_back({k.Print, BoolKey(Key(8, k.Print), [element](auto& s) -> auto& { return element(s).Print; })});
        group.push_back({k.Colour, IntKey(Key(8, k.Colour), [element](auto& s) -> auto& { return element(s).FontColour; })});
        group.push_back({k.Font, TextKey(Key(8, k.Font), [element](auto& s) -> auto& { return element(s).FontName; })});
        group.push_back({k.Size, IntKey(Key(8, k.Size), [element](auto& s) -> auto& { return element(s).FontSize; })});
        group.push_back({k.Background,
                         IntKey(Key(8, k.Background), [element](auto& s) -> auto& { return element(s).Background; })});
        group.push_back({k.Bold, BoolKey(Key(8, k.Bold), [element](auto& s) -> auto& { return element(s).Bold; })});
        group.push_back(
            {k.Bold + 1, BoolKey(Key(8, k.Bold + 1), [element](auto& s) -> auto& { return element(s).Italic; })});
        group.push_back(
            {k.Bold + 2, BoolKey(Key(8, k.Bold + 2), [element](auto& s) -> auto& { return element(s).Underline; })});
        group.push_back(
            {k.Alignment, IntKey(Key(8, k.Alignment), [element](auto& s) -> auto& { return element(s).Alignment; })});
    }
    group.push_back({65, IntKey(Key(8, 65), KV_FIELD(PrintCellBorder))});
    group.push_back({66, IntKey(Key(8, 66), KV_FIELD(PrintCellPadding))});
    group.push_back({67, IntKey(Key(8, 67), KV_FIELD(PrintCellSpacing))});
    group.push_back({68, IntKey(Key(8, 68), KV_FIELD(PrintPageBackground))});
    group.push_back({69, TextKey(Key(8, 69), KV_FIELD(PrintBackgroundImage))});
    std::sort(group.begin(), group.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [item, binding] : group) table.push_back(std::move(binding));
}

}  // namespace

std::array<TPrintElement, kPrintElementCount> TSettings::DefaultPrintElements() {
    std::array<TPrintElement, kPrintElementCount> elements{};
    elements[0].Print = true;  // the title: white on black
    elements[0].FontColour = 16777215;
    elements[0].Background = 0;
    elements[1].Print = true;        // Name
    elements[2].Background = 65535;  // Path: yellow
    return elements;
}

TSettingsModel::TSettingsModel(TSettingsStore& store, ISettingsHost& host, IRecorderFinder& recorders,
                               TWorkingFolders folders)
    : Store(store), Host(host), Recorders(recorders), Folders(std::move(folders)) {}

namespace {

// The whole key table in save order. Keys with rules of their own (window placement, drive,
// WAV folder, header layout, version) are handled around it by the model.
std::vector<TBinding> CommonBindings() {
    std::vector<TBinding> t;
    t.push_back(TextKey("0.4", KV_FIELD(Language)));
    t.push_back(IntKey("0.5", KV_FIELD(DataBurnCount)));
    t.push_back(IntKey("0.6", KV_FIELD(AudioBurnCount)));
    t.push_back(IntKey("0.7", KV_FIELD(EraseCount)));
    t.push_back(BoolKey("0.8", KV_FIELD(ShowLog)));
    t.push_back(BoolKey("0.9", KV_FIELD(ShowFolderSize)));
    t.push_back(BoolKey("0.10", KV_FIELD(DonationAsked)));
    t.push_back(BoolKeyKeepingCurrent("0.11", KV_FIELD(ExpertMode)));
    t.push_back(TextKey("0.12", KV_FIELD(EasyToolbarButtons)));
    t.push_back({"0.13", nullptr, nullptr});  // the version: written, never read
    t.push_back(IntKey("0.14", KV_FIELD(LastBurnMediumClass)));
    t.push_back(BoolKeyKeepingCurrent("0.15", KV_FIELD(AutoUpdateEnabled)));
    t.push_back(BoolKey("1.0", KV_FIELD(DriveUnderrunProtection)));
    t.push_back(BoolKey("1.1", KV_FIELD(DriveJoliet)));
    t.push_back(BoolKey("1.3", KV_FIELD(DriveOPC)));
    t.push_back({"1.4", nullptr, nullptr});
    t.push_back(IntKey("1.5", KV_FIELD(DriveCacheSize)));
    t.push_back(BoolKey("1.6", KV_FIELD(VerifyData)));
    t.push_back(BoolKey("1.7", KV_FIELD(DriveEjectAfterWrite)));
    t.push_back(BoolKey("1.8", KV_FIELD(DriveEjectAfterErase)));
    t.push_back(IntKey("1.11", KV_FIELD(Unnamed111)));
    t.push_back(BoolKey("1.12", KV_FIELD(DriveQuickErase)));
    t.push_back(TextKey("1.13", KV_FIELD(VolumeName)));
    t.push_back(IntKey("1.14", KV_FIELD(VolumeIncrement)));
    t.push_back(BoolKey("1.16", KV_FIELD(DriveUnderrunProtectionAUDIO)));
    t.push_back(BoolKey("1.17", KV_FIELD(DriveOPCAUDIO)));
    t.push_back(BoolKey("1.19", KV_FIELD(DriveEjectAfterWriteAUDIO)));
    t.push_back(IntKey("1.20", KV_FIELD(DriveCacheSizeAUDIO)));
    t.push_back(TextKey("1.21", KV_FIELD(VolumeNameIdSystem)));
    t.push_back(TextKey("1.22", KV_FIELD(VolumeNameIdVolumeSet)));
    t.push_back(TextKey("1.23", KV_FIELD(VolumeNameIdPublisher)));
    t.push_back(TextKey("1.24", KV_FIELD(VolumeNameIdPreparer)));
    t.push_back(TextKey("1.25", KV_FIELD(VolumeNameFileCopyright)));
    t.push_back(TextKey("1.26", KV_FIELD(VolumeNameFileAbstract)));
    t.push_back(TextKey("1.27", KV_FIELD(VolumeNameFileBibliographic)));
    t.push_back(TextKey("1.28", KV_FIELD(AudioVolumeName)));
    t.push_back(IntKey("1.29", KV_FIELD(AudioVolumeIncrement)));
    t.push_back(TextKey("1.30", KV_FIELD(AudioVolumeNameCDSongWriter)));
    t.push_back(TextKey("1.31", KV_FIELD(AudioVolumeNameCDPerformer)));
    t.push_back(TextKey("1.32", KV_FIELD(AudioVolumeNameCDCatalog)));
    t.push_back(IntKey("1.33", KV_FIELD(DriveWriteMethodAUDIO)));
    t.push_back({"1.34", nullptr, nullptr});
    t.push_back(BoolKey("1.35", KV_FIELD(AutoPlayCDDisable)));
    t.push_back(IntKey("1.36", KV_FIELD(PauseBetweenAudioTracks)));
    t.push_back(BoolKey("1.37", KV_FIELD(ShowToolBarDrive)));
    t.push_back(BoolKey("1.38", KV_FIELD(ShowToolBarWebLinks)));
    t.push_back(BoolKey("1.39", KV_FIELD(ShowToolBarQueue)));
    t.push_back({"1.40", nullptr, nullptr});
    // On Linux the built-in SG_IO transport is always the one to prefer.
    t.push_back(BoolKey("1.41", KV_FIELD(InitializeASPI_InternalFirst)));
    t.push_back(BoolKey("1.42", KV_FIELD(DriveRockRidge)));
    t.push_back(BoolKey("1.43", KV_FIELD(DriveRockRidgeRootOwner)));
    t.push_back(IntKey("1.44", KV_FIELD(DriveUdf)));
    t.push_back(BoolKey("1.45", KV_FIELD(WriteCdText)));
    t.push_back(TextKey("2.0", KV_FIELD(AddFilesFolder)));
    t.push_back(IntKey("2.1", KV_FIELD(AddFilesTop)));
    t.push_back(IntKey("2.2", KV_FIELD(AddFilesLeft)));
    t.push_back(IntKey("2.3", KV_FIELD(AddFilesHeight)));
    t.push_back(IntKey("2.4", KV_FIELD(AddFilesWidth)));
    AppendConfirmationKeys(t);
    t.push_back(IntKey("4.0", KV_FIELD(DropFormTop)));
    t.push_back(IntKey("4.1", KV_FIELD(DropFormLeft)));
    t.push_back(IntKey("4.2", KV_FIELD(DropFormAlpha)));
    t.push_back(TextKey("5.1", KV_FIELD(CommandVolumeName)));
    t.push_back(IntKey("5.2", KV_FIELD(CommandDriveSpeed)));
    t.push_back(BoolKey("5.3", KV_FIELD(CommandCloseDisc)));
    t.push_back(TextKey("6.0", KV_FIELD(ExtractFolder)));
    t.push_back(TextKey("7.2", KV_FIELD(OnlineMarker)));
    AppendPrintKeys(t);
    return t;
}

#undef KV_FIELD

}  // namespace

QStringList TSettingsModel::SaveOrder() {
    QStringList keys = {"0.0", "0.1", "0.2", "0.3"};
    for (const TBinding& binding : CommonBindings()) keys.append(binding.Key);
    return keys;
}

void TSettingsModel::LoadSettings(TSettings& settings) {
    TSettings defaults;
    defaults.WAVPath = Folders.DefaultWavFolder();
    defaults.Window = Host.DesignedWindowPlacement();
    const QString screenFont = Host.ScreenFontName();
    for (TPrintElement& element : defaults.PrintElements)
        element.FontName = screenFont.isEmpty() ? QString("verdana") : screenFont;

    // Window placement: a stored top turns the placement rule off; non-numbers are ignored.
    settings.Window = defaults.Window;
    const TStored storedTop = Store.ReadSetting("0.0");
    if (auto top = ParseInt(storedTop)) settings.Window.Top = *top;
    if (auto left = ParseInt(Store.ReadSetting("0.1"))) settings.Window.Left = *left;
    if (auto height = ParseInt(Store.ReadSetting("0.2"))) settings.Window.Height = *height;
    if (auto width = ParseInt(Store.ReadSetting("0.3"))) settings.Window.Width = *width;

    for (const TBinding& binding : CommonBindings()) {
        const TStored stored = Store.ReadSetting(binding.Key);
        if (binding.Load) {
            binding.Load(settings, stored, defaults);
            continue;
        }
        if (binding.Key == "1.4") {
            settings.DriveName = stored ? *stored : Recorders.FirstRecorderIdentity();
        } else if (binding.Key == "1.34") {
            // A stored folder that is empty, relative or cannot be created falls back to the default.
            QString folder = stored ? stored->trimmed() : QString();
            const bool usable = !folder.isEmpty() && !QDir::isRelativePath(folder) && CreateOwnedFolder(folder);
            settings.WAVPath = usable ? WithTrailingSlash(folder) : defaults.WAVPath;
            if (!usable) CreateOwnedFolder(defaults.WAVPath);
        } else if (binding.Key == "1.40") {
            if (stored) {
                const auto decoded = QByteArray::fromBase64Encoding(stored->toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
                if (decoded) Host.RestoreHeaderLayout(*decoded);
            }
        }
    }

    settings.OnlineMarkerItems = settings.OnlineMarker.split(';', Qt::SkipEmptyParts);

    if (!storedTop) {
        const QSize screen = Host.ScreenSize();
        const int sh = screen.height();
        const int sw = screen.width();
        settings.Window.Height = sh - (sh / 100 * 5);
        settings.Window.Width = sw - (sw / 100 * 5);
        settings.Window.Top = (sh - settings.Window.Height) / 2;
        settings.Window.Left = (sw - settings.Window.Width) / 2;
    }

    // The drop window must stay reachable on the current screen.
    settings.DropFormTop = std::max(0, settings.DropFormTop);
    settings.DropFormLeft = std::max(0, settings.DropFormLeft);
    const QSize screen = Host.ScreenSize();
    const QSize drop = Host.DropWindowSize();
    if (settings.DropFormTop + drop.height() >= screen.height() ||
        settings.DropFormLeft + drop.width() >= screen.width()) {
        settings.DropFormTop = 0;
        settings.DropFormLeft = 0;
    }
}

bool TSettingsModel::SaveSettings(const TSettings& settings) {
    const TWindowPlacement window = Host.CurrentWindowPlacement();
    Store.WriteIntSetting("0.0", window.Top);
    Store.WriteIntSetting("0.1", window.Left);
    Store.WriteIntSetting("0.2", window.Height);
    Store.WriteIntSetting("0.3", window.Width);
    for (const TBinding& binding : CommonBindings()) {
        if (binding.Save) {
            if (const std::optional<QString> value = binding.Save(settings)) Store.WriteSetting(binding.Key, *value);
        } else if (binding.Key == "0.13") {
            Store.WriteSetting("0.13", Host.ProgramVersion().toLower());
        } else if (binding.Key == "1.4") {
            Store.WriteSetting("1.4", settings.DriveName);
        } else if (binding.Key == "1.34") {
            Store.WriteSetting("1.34", settings.WAVPath);
        } else if (binding.Key == "1.40") {
            if (const std::optional<QByteArray> layout = Host.HeaderLayout())
                Store.WriteSetting("1.40", QString::fromLatin1(layout->toBase64()));
        }
    }
    return SaveConfigFile(Store, Folders.ConfigFilePath());
}

}  // namespace kv
