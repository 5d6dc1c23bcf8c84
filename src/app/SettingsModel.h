#pragma once
#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "app/WorkingFolders.h"

#include <QByteArray>
#include <QSize>

#include <optional>

namespace kv {

// What the settings need from the main window and the screen; the window implements it, tests fake it.
class ISettingsHost {
public:
    virtual ~ISettingsHost() = default;
    virtual QSize ScreenSize() const = 0;
    virtual TWindowPlacement DesignedWindowPlacement() const = 0;
    // The window's placement at the moment of saving.
    virtual TWindowPlacement CurrentWindowPlacement() const = 0;
    virtual QSize DropWindowSize() const = 0;
    // Face name of the screen's current font; empty when the screen has none.
    virtual QString ScreenFontName() const = 0;
    // The tree header's layout (column order, widths, sort). Restore errors are ignored;
    // std::nullopt from HeaderLayout skips key 1.40 on save.
    virtual void RestoreHeaderLayout(const QByteArray& layout) = 0;
    virtual std::optional<QByteArray> HeaderLayout() const = 0;
    virtual QString ProgramVersion() const = 0;
};

// Finds the default drive when none is stored: prepares the data burner, tries each device and
// returns the identity of the first recorder; empty when there is none.
class IRecorderFinder {
public:
    virtual ~IRecorderFinder() = default;
    virtual QString FirstRecorderIdentity() = 0;
};

class TSettingsModel {
public:
    TSettingsModel(TSettingsStore& store, ISettingsHost& host, IRecorderFinder& recorders, TWorkingFolders folders);

    // Every key into the fields, with the default of each absent key. `ExpertMode` (0.11) and
    // `AutoUpdateEnabled` (0.15) keep the field's current value when absent.
    void LoadSettings(TSettings& settings);
    // Every field into the table in the fixed save order, then the file. False when the file was
    // not written (the previous file is then still whole).
    bool SaveSettings(const TSettings& settings);

    // All keys in save order (1.40 only when the header layout is available).
    static QStringList SaveOrder();

private:
    TSettingsStore& Store;
    ISettingsHost& Host;
    IRecorderFinder& Recorders;
    TWorkingFolders Folders;
};

}  // namespace kv
