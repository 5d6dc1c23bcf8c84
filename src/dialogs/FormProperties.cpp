#include "dialogs/FormProperties.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/MessageCatalogue.h"

namespace kv {

TFormProperties::TFormProperties(const TNodeProperties& p, QWidget* parent)
    : QDialog(parent),
      Open([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      Source(p.Source),
      FileTitle(p.FileTitle),
      FilePerformer(p.FilePerformer) {
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
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    if (p.IsAudio && !p.IsFolder) AddCdText(p, layout);
    // Typed texts are kept with OK only; the other windows have nothing to keep.
    auto* buttons = new QDialogButtonBox(
        p.IsAudio && !p.IsFolder ? QDialogButtonBox::Ok | QDialogButtonBox::Cancel : QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

void TFormProperties::AddCdText(const TNodeProperties& p, QVBoxLayout* layout) {
    auto* group = new QGroupBox(LookupText("36.4"), this);
    group->setObjectName("GroupCdText");
    auto* form = new QFormLayout(group);
    auto edit = [this](const char* name, const QString& typed, const QString& file) {
        auto* line = new QLineEdit(typed.isEmpty() ? file : typed, this);
        line->setObjectName(name);
        line->setPlaceholderText(file);
        return line;
    };
    EditCdTextTitle = edit("EditCdTextTitle", p.TypedTitle, p.FileTitle);
    EditCdTextPerformer = edit("EditCdTextPerformer", p.TypedPerformer, p.FilePerformer);
    LabelCdTextSongWriter = new QLabel(p.FileSongWriter, this);
    LabelCdTextSongWriter->setObjectName("LabelCdTextSongWriter");
    LabelCdTextSongWriter->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(LookupText("36.5"), EditCdTextTitle);
    form->addRow(LookupText("36.6"), EditCdTextPerformer);
    form->addRow(LookupText("36.7"), LabelCdTextSongWriter);
    auto* note = new QLabel(LookupText("36.11"), this);
    note->setWordWrap(true);
    form->addRow(note);
    layout->addWidget(group);
}

// A text equal to the file's own, or cleared, follows the file again.
QString TFormProperties::TypedTitle() const {
    const QString text = EditCdTextTitle ? EditCdTextTitle->text().trimmed() : QString();
    return text == FileTitle ? QString() : text;
}

QString TFormProperties::TypedPerformer() const {
    const QString text = EditCdTextPerformer ? EditCdTextPerformer->text().trimmed() : QString();
    return text == FilePerformer ? QString() : text;
}

}  // namespace kv
