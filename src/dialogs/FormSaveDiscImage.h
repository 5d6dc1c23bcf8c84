#pragma once
#include "app/DiscImageChoices.h"
#include "app/Prompts.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace kv {

// What saving the disc as an image takes: the file (chosen through the prompts), the image's
// format, the session of a data disc, what happens to unreadable sectors and how often a failing
// one is read again. The main window hands the choices to the read.
class TFormSaveDiscImage : public QDialog {
    Q_OBJECT

public:
    TFormSaveDiscImage(IPrompts& prompts, const TReadImageChoices& preset, QWidget* parent = nullptr);

    TReadImageChoices Choices() const;
    // The save dialog of the Browse button.
    void BrowseForFile();

    QLineEdit* EditFile;
    QPushButton* ButtonBrowse;
    QComboBox* ComboBoxFormat;
    QSpinBox* SpinEditSession;
    QRadioButton* RadioButtonStop;
    QRadioButton* RadioButtonFill;
    QSpinBox* SpinEditRetries;
    QPushButton* ButtonOK;
    QPushButton* ButtonCancel;

private:
    // A cue sheet image holds the first session only.
    void FormatChanged();
    // OK: a typed file that exists is replaced only when the user says so.
    void AcceptIfConfirmed();

    IPrompts& Prompts;
    QString ConfirmedFile;  // the last choice of Browse, whose dialog asked about replacing it
};

}  // namespace kv
