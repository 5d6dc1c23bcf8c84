#pragma once
#include "app/DiscImageChoices.h"
#include "app/Prompts.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace kv {

// What copying the disc takes: the drive that writes the copy (the one holding the original
// first), whether the temporary image is kept, whether the copy is compared with it, and the folder
// for the image. The main window hands the choices to the copy.
class TFormCopyDisc : public QDialog {
    Q_OBJECT

public:
    // `drives` as the drive box lists them; `preset.TargetDrive` is chosen when listed.
    TFormCopyDisc(IPrompts& prompts, const QStringList& drives, const TCopyDiscChoices& preset,
                  QWidget* parent = nullptr);

    TCopyDiscChoices Choices() const;
    // The folder chooser of the Browse button.
    void BrowseForFolder();

    QComboBox* ComboBoxTargetDrive;
    QCheckBox* CheckBoxKeepImage;
    QCheckBox* CheckBoxVerify;
    QLineEdit* EditTempFolder;
    QPushButton* ButtonBrowse;
    QPushButton* ButtonOK;
    QPushButton* ButtonCancel;

private:
    IPrompts& Prompts;
};

}  // namespace kv
