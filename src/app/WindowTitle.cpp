#include "app/WindowTitle.h"

namespace kv {

QString BuildWindowTitle(const QString& lead, const std::optional<TTitleDrive>& burnerDrive,
                         const QString& driveName, const QString& suffix) {
    QString title = lead + " - ";
    if (burnerDrive)
        title += burnerDrive->Identity + " - " + burnerDrive->Letter.toUpper() + ":";
    else
        title += driveName;
    if (!suffix.isEmpty()) title += " - " + suffix;
    return title;
}

QString DriveNotFoundTitle(const QString& lead) { return lead + " - DRIVE NOT FOUND"; }

}  // namespace kv
