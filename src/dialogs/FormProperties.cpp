#include "dialogs/FormProperties.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/MessageCatalogue.h"

namespace kv {

TFormProperties::TFormProperties(const TNodeProperties& p, QWidget* parent)
    : QDialog(parent),
      Open([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      Source(p.Source) {
    setObjectName("FormProperties");
    setWindowTitle(p.Name);
    auto value = [this](const char* name, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(name);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setWordWrap(true);
        return label;
    };
    ImageIcon = new QLabel(this);
    ImageIcon->setObjectName("ImageIcon");
    ImageIcon->setPixmap(p.Icon.pixmap(32, 32));
    LabelName = value("LabelName", p.Name);
    LabelType = value("LabelType", p.TypeName);
    LabelPath = value("LabelPath", p.Path);
    LabelModified = value("LabelModified", p.Modified);
    LabelAttributes = value("LabelAttributes", p.Attributes);
    LabelSize = value("LabelSize", p.Size);

    auto* form = new QFormLayout;
    form->addRow(ImageIcon);
    form->addRow(LookupText("4.5"), LabelName);
    form->addRow(LookupText("4.4"), LabelType);
    form->addRow(LookupText("4.0"), LabelPath);
    form->addRow(LookupText("4.6"), LabelSize);
    form->addRow(LookupText("4.7"), LabelModified);
    form->addRow(LookupText("4.8"), LabelAttributes);
    if (p.IsFolder) {
        LabelFiles = value("LabelFiles", QString::number(p.Files));
        LabelFolders = value("LabelFolders", QString::number(p.Folders));
        form->addRow(LookupText("4.9"), LabelFiles);
        form->addRow(LookupText("4.10"), LabelFolders);
    } else {
        ButtonRun = new QPushButton(LookupText("4.1"), this);
        ButtonRun->setObjectName("ButtonRun");
        ButtonRun->setToolTip(LookupText("4.2"));
        connect(ButtonRun, &QPushButton::clicked, this, [this] {
            if (Open) Open(QUrl::fromLocalFile(Source));
        });
        form->addRow(ButtonRun);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

}  // namespace kv
