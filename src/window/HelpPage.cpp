#include "window/HelpPage.h"

#include <QDialog>
#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

// The pages are compiled into the window's static library; a static library's resources are
// registered by hand (outside any namespace, as Qt wants it).
static void RegisterHelpPages() { Q_INIT_RESOURCE(help); }

namespace kv {

void ShowHelpPage(QWidget* parent, const QString& keyword) {
    static const bool registered = (RegisterHelpPages(), true);
    (void)registered;
    QFile page(":/help/" + keyword + ".html");
    if (!page.open(QIODevice::ReadOnly)) return;
    auto* dialog = new QDialog(parent);
    dialog->setObjectName("FormHelpPage");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* view = new QTextBrowser(dialog);
    view->setOpenLinks(false);
    view->setHtml(QString::fromUtf8(page.readAll()));
    dialog->setWindowTitle(view->documentTitle());
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(view);
    dialog->resize(560, 420);
    dialog->show();
}

}  // namespace kv
