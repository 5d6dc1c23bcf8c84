#pragma once
#include <QString>

#include <optional>

namespace kv {

struct TTitleDrive {
    QString Identity;  // identity string of the selected drive
    QString Letter;    // its drive letter
};

// The main window's title: reserved text 0.0, " - ", the selected drive (identity and letter when
// the data burner exists, else the stored `DriveName`), and " - " + suffix when one is given.
QString BuildWindowTitle(const QString& lead, const std::optional<TTitleDrive>& burnerDrive,
                         const QString& driveName, const QString& suffix = {});
// When the drive cannot be asked for its identity.
QString DriveNotFoundTitle(const QString& lead);

}  // namespace kv
