#include "window/AboutWindow.h"

#include "app/MessageCatalogue.h"
#include "audioconv/FfmpegDecoder.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <zlib.h>

static void RegisterGuidePages() { Q_INIT_RESOURCE(help); }

namespace kv {
namespace {

QDialog* TextWindow(QWidget* parent, const QString& name, const QString& html, QSize size) {
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(name);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* view = new QTextBrowser(dialog);
    view->setObjectName("TextBrowser");
    // Links inside a page move within it; nothing is fetched from outside.
    view->setOpenExternalLinks(false);
    view->setHtml(html);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(view);
    layout->addWidget(buttons);
    dialog->setWindowTitle(view->documentTitle());
    dialog->resize(size);
    dialog->show();
    return dialog;
}

}  // namespace

QString AboutText() {
    struct TLibrary {
        QString Name, Version, Licence;
    };
    // The licences as the libraries' own projects state them; FFmpeg says which of its two a
    // build was configured under.
    const TLibrary libraries[] = {
        {"Qt", QString::fromLatin1(qVersion()), "GNU LGPL 3"},
        {"FFmpeg", QString::fromStdString(FfmpegVersion()), QString::fromStdString(FfmpegLicence())},
        {"libudev", QString(), "GNU LGPL 2.1 or later"},
        {"zlib", QString::fromLatin1(zlibVersion()), "zlib licence"},
    };
    QString rows;
    for (const TLibrary& library : libraries)
        rows += "<tr><td><b>" + library.Name.toHtmlEscaped() + "</b></td><td>" + library.Version.toHtmlEscaped() +
                "</td><td>" + library.Licence.toHtmlEscaped() + "</td></tr>";
    const QString title = LookupText("32.12").remove("...").remove('&').trimmed();
    return "<html><head><title>" + title.toHtmlEscaped() + "</title></head><body><h2>Kelvadore</h2><p>" +
           LookupTextWith("32.14", {"<#version>=" KV_PROGRAM_VERSION}).toHtmlEscaped() + "</p><p>" +
           LookupText("32.16").toHtmlEscaped() + "</p><h3>" + LookupText("32.15").toHtmlEscaped() +
           "</h3><table cellpadding=\"4\">" + rows + "</table></body></html>";
}

void ShowAbout(QWidget* parent) { TextWindow(parent, "FormAbout", AboutText(), QSize(520, 360)); }

QString UserGuidePath(const QString& language) {
    return language.compare("FRENCH", Qt::CaseInsensitive) == 0 ? ":/help/guide-fr.html" : ":/help/guide.html";
}

void ShowUserGuide(QWidget* parent, const QString& language) {
    static const bool registered = (RegisterGuidePages(), true);
    (void)registered;
    QFile page(UserGuidePath(language));
    if (!page.open(QIODevice::ReadOnly)) return;
    TextWindow(parent, "FormUserGuide", QString::fromUtf8(page.readAll()), QSize(720, 560));
}

}  // namespace kv
