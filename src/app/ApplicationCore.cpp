#include "app/ApplicationCore.h"

namespace kv {

TApplicationCore::TApplicationCore(ISettingsHost& host, IRecorderFinder& recorders, TOptions options)
    : Options(std::move(options)),
      Model(ConfigTable, host, recorders, Options.Folders),
      Ledger(Options.Folders.ProgramFolder + "owned_files.lst"),
      KeyValues(std::make_unique<TKeyStore>(Options.KeyStorePath)) {}

TApplicationCore::~TApplicationCore() {
    // The process-wide catalogue must not keep pointing into this object.
    Messages().BindLanguage(nullptr);
    Messages().SetHooks({});
}

void TApplicationCore::Start() {
    Options.Folders.Prepare();

    TConfigReadOptions readOptions;
    readOptions.ProcessEvents = Options.ProcessEvents;
    const TConfigOpenResult open = OpenConfigFile(ConfigTable, Options.Folders.ConfigFilePath(), readOptions);
    FirstRun = open.FirstRun;
    DamagedConfigKeptAt = open.SetAsidePath;

    Model.LoadSettings(Settings);

    TMessageCatalogue& messages = Messages();
    messages.BindLanguage(&Settings.Language);
    messages.SetLanguagesFolder(Options.Folders.LanguagesFolder);
    messages.SetHooks({[this] { SaveSettings(); }, Options.ApplyCaptions,
                       [this](const QString& path) { KeyValues->SetValue("CurrentLanguage", path); }});
    messages.LoadLanguage(Settings.Language);

    if (!Options.ExecutablePath.isEmpty()) KeyValues->SetValue("KelvadorePath", Options.ExecutablePath);
    if (Options.CleansWorkingFolders) CleanWorkingFolders();
}

void TApplicationCore::CleanWorkingFolders() {
    CleanFolder(Options.Folders.TempFolder, TCleanFilter::AllFiles, &Ledger);
    // The decoder lists what it writes into the WAV folder; a user's own WAV files there stay.
    TWavOutputFolder(Settings.WAVPath.toStdString()).DeleteWritten();
}

bool TApplicationCore::Shutdown() {
    const bool saved = SaveSettings();
    if (Options.CleansWorkingFolders) CleanWorkingFolders();
    return saved;
}

}  // namespace kv
