#pragma once
#include "audioconv/WavOutputFolder.h"
#include "app/FolderCleaner.h"
#include "app/KeyStore.h"
#include "app/MessageCatalogue.h"
#include "app/SettingsModel.h"

#include <functional>
#include <memory>

namespace kv {

// The non-visual part of the main window's creation and shutdown: working folders, configuration,
// settings, language and the cleaning of the working folders. The window supplies the host
// interfaces and its caption hook and keeps only widgets.
class TApplicationCore {
public:
    struct TOptions {
        TWorkingFolders Folders = TWorkingFolders::ForProgramFolder(ResolveProgramFolder());
        QString KeyStorePath = TKeyStore::DefaultPath();
        QString ExecutablePath;               // written as "KelvadorePath"
        std::function<void()> ApplyCaptions;  // the window's captions from the catalogue
        std::function<void()> ProcessEvents;  // while the configuration file is retried
        // False beside another instance (which may still need its working files): nothing is
        // cleaned at start or at the end.
        bool CleansWorkingFolders = true;
    };

    TApplicationCore(ISettingsHost& host, IRecorderFinder& recorders, TOptions options);
    ~TApplicationCore();
    TApplicationCore(const TApplicationCore&) = delete;
    TApplicationCore& operator=(const TApplicationCore&) = delete;

    // Folders, configuration (a missing or damaged file is a first run), settings with their
    // defaults, the language of setting 0.4 (which also saves the settings), "KelvadorePath",
    // then the leftovers of the last run are cleaned away.
    void Start();
    // Saves the settings and cleans the working folders. False when the settings were not saved.
    bool Shutdown();

    bool SaveSettings() { return Model.SaveSettings(Settings); }
    // A WAV file the program wrote into a folder that is not its own, to be deleted later.
    // The WAV folder's one record of the program's own files (the decoder keeps it too).
    bool RegisterWavFile(const QString& path) {
        return TWavOutputFolder(Settings.WAVPath.toStdString()).RecordWritten(path.toStdString());
    }
    void CleanWorkingFolders();

    TSettings Settings;
    bool FirstRun = false;
    QString DamagedConfigKeptAt;  // where an unreadable configuration file was put aside

    const TWorkingFolders& Folders() const { return Options.Folders; }
    TSettingsStore& Store() { return ConfigTable; }
    TKeyStore& Keys() { return *KeyValues; }

private:
    TOptions Options;
    TSettingsStore ConfigTable;
    TSettingsModel Model;
    TOwnedFileLedger Ledger;
    std::unique_ptr<TKeyStore> KeyValues;
};

}  // namespace kv
