#pragma once
#include "app/Prompts.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace kv {

// The confirmation dialog: a bold message, a "don't ask again" box and Yes, No, Cancel. Whatever
// closes it (a button or the close box, which counts as Cancel) records the box's state.
class TFormWarning : public QDialog {
    Q_OBJECT

public:
    explicit TFormWarning(const TWarningQuestion& question, QWidget* parent = nullptr);

    TWarningReply Reply() const { return Result; }

    QLabel* LabelMessage;
    QCheckBox* CheckBoxDontDisplay;
    QPushButton* ButtonYes;
    QPushButton* ButtonNo;
    QPushButton* ButtonCancel;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void showEvent(QShowEvent* event) override;

private:
    void Finish(TPromptAnswer answer);
    TWarningReply Result;
    bool Finished = false;
};

// Shows the dialog modally and returns how it was closed.
TWarningReply RunWarningDialog(const TWarningQuestion& question, QWidget* parent = nullptr);

}  // namespace kv
