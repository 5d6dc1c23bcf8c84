#pragma once
#include "jobs/DiscImagePlan.h"

#include <QString>

namespace kv {

// What the user chose in the window to save the disc in the drive as an image.
struct TReadImageChoices {
    QString File;
    jobs::TImageFormat Format = jobs::TImageFormat::Auto;
    int Session = 0;  // 0: the disc's last session
    bool FillUnreadable = false;
    int Retries = 4;
};

// What the user chose in the window to copy the disc in the drive.
struct TCopyDiscChoices {
    QString TargetDrive;  // the identity of the drive that writes the copy; the source's own for one drive
    bool KeepImage = false;
    bool Verify = true;
    QString TempFolder;  // where the temporary image goes first, when it has room
};

}  // namespace kv
