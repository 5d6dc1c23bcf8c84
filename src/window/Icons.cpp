#include "window/Icons.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QRadialGradient>
#include <QStyle>
#include <QStyleOption>

namespace kv {
namespace {

struct TIconSource {
    TActionId Id;
    const char* Theme;
    QStyle::StandardPixmap Fallback;
};

using I = TActionId;
constexpr TIconSource kIcons[] = {
    {I::ShowDrop, "go-bottom", QStyle::SP_ArrowDown},
    {I::Rename, "edit-rename", QStyle::SP_FileDialogDetailedView},
    {I::NewFolder, "folder-new", QStyle::SP_FileDialogNewFolder},
    {I::DeleteSelected, "edit-delete", QStyle::SP_TrashIcon},
    {I::DeleteAll, "edit-clear", QStyle::SP_DialogDiscardButton},
    {I::CollapseAll, "go-up", QStyle::SP_ArrowUp},
    {I::Properties, "document-properties", QStyle::SP_FileDialogInfoView},
    {I::Burn, "media-optical-burn", QStyle::SP_DriveCDIcon},
    {I::Settings, "preferences-system", QStyle::SP_ComputerIcon},
    {I::DiscInfo, "dialog-information", QStyle::SP_MessageBoxInformation},
    {I::SelectAll, "edit-select-all", QStyle::SP_DialogApplyButton},
    {I::ExitKvd, "application-exit", QStyle::SP_DialogCloseButton},
    {I::AddFilesDirs, "list-add", QStyle::SP_FileDialogStart},
    {I::EraseDisc, "media-optical", QStyle::SP_DialogResetButton},
    {I::Eject, "media-eject", QStyle::SP_ArrowUp},
    {I::Load, "media-optical", QStyle::SP_ArrowDown},
    {I::BurnAudio, "media-optical-audio", QStyle::SP_MediaVolume},
    {I::Restore, "window-restore", QStyle::SP_TitleBarNormalButton},
    {I::Minimize, "window-minimize", QStyle::SP_TitleBarMinButton},
    {I::ShowLog, "text-x-generic", QStyle::SP_FileIcon},
    {I::HideLog, "text-x-generic", QStyle::SP_FileIcon},
    {I::Language, "preferences-desktop-locale", QStyle::SP_DirHomeIcon},
    {I::ExpandAll, "go-down", QStyle::SP_ArrowDown},
    {I::ImportSession, "document-import", QStyle::SP_DriveCDIcon},
    {I::ExtractFileFromSession, "document-export", QStyle::SP_DialogSaveButton},
    {I::BurnISO, "media-optical-data", QStyle::SP_DriveDVDIcon},
    {I::SaveISO, "document-save-as", QStyle::SP_DialogSaveButton},
    {I::NewProject, "document-new", QStyle::SP_FileIcon},
    {I::Print, "document-print", QStyle::SP_FileDialogContentsView},
    {I::Paste, "edit-paste", QStyle::SP_FileLinkIcon},
    {I::LoadProject, "document-open", QStyle::SP_DialogOpenButton},
    {I::SaveProject, "document-save", QStyle::SP_DialogSaveButton},
    {I::SaveDiscImage, "drive-optical", QStyle::SP_DriveCDIcon},
    {I::CopyDisc, "edit-copy", QStyle::SP_DriveDVDIcon},
    {I::VirtualNewMedium, "media-optical-recordable", QStyle::SP_DriveCDIcon},
    {I::VirtualInsertFile, "document-open", QStyle::SP_DialogOpenButton},
    {I::VirtualEject, "media-eject", QStyle::SP_ArrowUp},
    {I::VirtualExport, "document-export", QStyle::SP_DialogSaveButton},
};

// Many themes carry some pictures only at menu size; the large buttons of the tool bars would
// show them small. Such a picture is scaled up instead.
QIcon WithLargeSizes(const QIcon& source) {
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pixmap = source.pixmap(size, size);
        if (pixmap.isNull()) continue;
        if (pixmap.width() < size && pixmap.height() < size)
            pixmap = pixmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        icon.addPixmap(pixmap);
        // A disabled button must look disabled whatever the theme ships: its grey picture is
        // made here rather than left to the icon engine.
        QStyleOption option;
        icon.addPixmap(QApplication::style()->generatedIconPixmap(QIcon::Disabled, pixmap, &option), QIcon::Disabled);
    }
    return icon.isNull() ? source : icon;
}

}  // namespace

QIcon KelvadoreIcon() {
    QIcon icon;
    for (int size : {16, 32, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF disc(0.5, 0.5, size - 1.0, size - 1.0);
        QRadialGradient shine(disc.center(), size / 2.0, disc.topLeft() + QPointF(size * 0.3, size * 0.3));
        shine.setColorAt(0, QColor(235, 240, 255));
        shine.setColorAt(0.6, QColor(150, 170, 220));
        shine.setColorAt(1, QColor(90, 110, 190));
        painter.setPen(QPen(QColor(40, 50, 110), size / 32.0 + 0.5));
        painter.setBrush(shine);
        painter.drawEllipse(disc);
        painter.setBrush(QColor(255, 140, 0));
        painter.drawEllipse(disc.center(), size * 0.16, size * 0.16);
        painter.setBrush(Qt::white);
        painter.drawEllipse(disc.center(), size * 0.06, size * 0.06);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon ActionIcon(TActionId id) {
    for (const TIconSource& source : kIcons) {
        if (source.Id != id) continue;
        return WithLargeSizes(QIcon::fromTheme(source.Theme, QApplication::style()->standardIcon(source.Fallback)));
    }
    return {};
}

QIcon TrayNumberIcon(int number, const QColor& colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font("Arial");
    font.setPixelSize(11);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(pixmap.rect(), Qt::AlignLeft | Qt::AlignTop, QString::number(number));
    painter.end();
    return QIcon(pixmap);
}

}  // namespace kv
