#pragma once
#include "app/Prompts.h"
#include "app/Settings.h"
#include "dialogs/PrintPage.h"

#include <QComboBox>
#include <QDialog>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTextBrowser;

namespace kv {

// A colour box: a list of swatches holding colours with red in the low byte. A right click opens
// the full colour chooser; a colour that is not in the list joins it.
class TColourBox : public QComboBox {
public:
    explicit TColourBox(QWidget* parent = nullptr);
    int Colour() const;
    void SetColour(int colour);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
};

// The print window: the compilation as a styled table, shown live above its options, printed,
// previewed or saved. The options are the settings of group 8; they are stored when it closes.
class TFormPrint : public QDialog {
    Q_OBJECT

public:
    // What the window takes from the main window.
    struct TSource {
        // The page's title: the typed volume name or the audio label template, expanded.
        std::function<QString()> PageTitle;
        // The six column texts of every node to print, a folder before its contents.
        std::function<QList<QStringList>(bool selectedOnly)> Rows;
        // Saves every setting field.
        std::function<void()> SaveSettings;
    };

    // The controls of one print element (the title row or a column).
    struct TElementControls {
        QCheckBox* Print = nullptr;
        TColourBox* FontColour = nullptr;
        QComboBox* FontName = nullptr;
        QSpinBox* FontSize = nullptr;
        TColourBox* Background = nullptr;
        QCheckBox* Bold = nullptr;
        QCheckBox* Italic = nullptr;
        QCheckBox* Underline = nullptr;
        QComboBox* Alignment = nullptr;
    };

    TFormPrint(TSettings& settings, IPrompts& prompts, TSource source, QWidget* parent = nullptr);
    ~TFormPrint() override;

    // Rebuilds the whole page from the controls; nothing until the window has been shown.
    void BuildPage();
    const QString& PageText() const { return Page; }
    bool PageReady = false;
    // The options as the controls hold them; the image only when its box is ticked and the file is there.
    TPrintPageOptions Options() const;
    // The controls' values into the setting fields.
    void StoreControls();

    // Every option's change, and every key in the title box, rebuilds the page.
    void CheckBoxTitleClick() { BuildPage(); }
    void EditTitleKeyUp() { BuildPage(); }
    void ButtonBrowseClick();
    void ButtonPrintClick();
    void ButtonPrintPreviewClick();
    void ButtonPrintSetupClick();
    void ButtonSaveClick();
    // The page on the printer, each page with a header (title, "Page p of P") and a footer (the
    // date). False when the printer could not start.
    bool PrintTo(QPrinter& printer) const;
    QPrinter& Printer();

    QTextBrowser* EmbeddedWBPrint;
    QGroupBox* RadioGroupSelection;
    QRadioButton* RadioAll;
    QRadioButton* RadioSelected;
    QLineEdit* EditTitle;
    std::array<TElementControls, kPrintElementCount> Elements;
    QSpinBox* SpinEditCellBorder;
    QSpinBox* SpinEditCellPadding;
    QSpinBox* SpinEditCellSpacing;
    TColourBox* LMDColorComboBoxBodyBackGround;
    QCheckBox* CheckBoxBackGround;
    QLineEdit* EditBackGroundFile;
    QPushButton* ButtonBrowse;
    QPushButton* ButtonPrint;
    QPushButton* ButtonPrintSetup;
    QPushButton* ButtonPrintPreview;
    QPushButton* ButtonSave;
    QPushButton* ButtonBackGroundPrintOptions;
    QLabel* LabelHelp;
    QLabel* LabelTitle;
    std::array<QLabel*, 9> LabelHeadings{};  // over the element controls, left to right
    std::array<QLabel*, 3> LabelNumbers{};   // border, padding, spacing
    QLabel* LabelBodyBackGround;

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The first show makes the page; closing stores the options and saves every setting.
    void FormShow();
    void FormClose();
    void CreateControls();
    void SetCaptions();
    void LoadControls();
    void ConnectChanges();

    TSettings& Settings;
    IPrompts& Prompts;
    TSource Source;
    QString Page;
    std::unique_ptr<QPrinter> OwnPrinter;
    bool Stored = false;
};

}  // namespace kv
