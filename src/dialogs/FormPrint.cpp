#include "dialogs/FormPrint.h"

#include "app/AtomicFile.h"
#include "app/MessageCatalogue.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace kv {
namespace {

constexpr int kColourRole = Qt::UserRole;
constexpr double kMarginMm = 19.05;

QColor ToQColor(int colour) { return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF); }
int FromQColor(const QColor& colour) { return colour.red() | colour.green() << 8 | colour.blue() << 16; }

// The sixteen basic colours of every colour box; others join when chosen or loaded.
constexpr int kBasicColours[] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0x808080,
                                 0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};

QIcon Swatch(int colour) {
    QPixmap pixmap(28, 12);
    pixmap.fill(ToQColor(colour));
    QPainter painter(&pixmap);
    painter.setPen(Qt::gray);
    painter.drawRect(0, 0, pixmap.width() - 1, pixmap.height() - 1);
    return QIcon(pixmap);
}

}  // namespace

// ---- colour box ----------------------------------------------------------------------------------

TColourBox::TColourBox(QWidget* parent) : QComboBox(parent) {
    setIconSize(QSize(28, 12));
    for (int colour : kBasicColours) addItem(Swatch(colour), QString(), colour);
    setCurrentIndex(0);
}

int TColourBox::Colour() const { return currentData(kColourRole).toInt(); }

void TColourBox::SetColour(int colour) {
    colour &= 0xFFFFFF;
    int index = findData(colour, kColourRole);
    if (index < 0) {
        addItem(Swatch(colour), QString(), colour);
        index = count() - 1;
    }
    setCurrentIndex(index);
}

void TColourBox::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    const QColor chosen = QColorDialog::getColor(ToQColor(Colour()), this);
    if (chosen.isValid()) SetColour(FromQColor(chosen));
}

// ---- the window ----------------------------------------------------------------------------------

TFormPrint::TFormPrint(TSettings& settings, IPrompts& prompts, TSource source, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      Settings(settings),
      Prompts(prompts),
      Source(std::move(source)) {
    setObjectName("FormPrint");
    CreateControls();
    SetCaptions();
    // Filled before their changes are connected; nothing is built until the window shows.
    LoadControls();
    ConnectChanges();
    setFixedSize(792, 566);
}

TFormPrint::~TFormPrint() = default;

void TFormPrint::CreateControls() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 0, 6, 6);
    outer->setSpacing(4);
    EmbeddedWBPrint = new QTextBrowser(this);
    EmbeddedWBPrint->setFixedHeight(217);
    EmbeddedWBPrint->setOpenLinks(false);
    outer->addWidget(EmbeddedWBPrint);

    auto* middle = new QHBoxLayout;
    middle->setSpacing(8);
    outer->addLayout(middle);

    // The elements: one row each under a row of headings.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(1);
    middle->addLayout(grid);
    const QStringList families = QFontDatabase::families();
    for (int e = 0; e < kPrintElementCount; ++e) {
        TElementControls& c = Elements[static_cast<size_t>(e)];
        const int row = e + 1;
        c.Print = new QCheckBox(this);
        c.FontColour = new TColourBox(this);
        c.FontName = new QComboBox(this);
        c.FontName->addItems(families);
        c.FontName->setMaximumWidth(120);
        c.FontSize = new QSpinBox(this);
        c.FontSize->setRange(1, 999);
        c.Background = new TColourBox(this);
        c.Bold = new QCheckBox(this);
        c.Italic = new QCheckBox(this);
        c.Underline = new QCheckBox(this);
        c.Alignment = new QComboBox(this);
        c.Alignment->setMaximumWidth(72);
        int column = 0;
        grid->addWidget(c.Print, row, column++);
        grid->addWidget(c.FontColour, row, column++);
        grid->addWidget(c.FontName, row, column++);
        grid->addWidget(c.FontSize, row, column++);
        grid->addWidget(c.Background, row, column++);
        for (QCheckBox* box : {c.Bold, c.Italic, c.Underline}) grid->addWidget(box, row, column++, Qt::AlignHCenter);
        grid->addWidget(c.Alignment, row, column++);
    }
    for (int column = 0; column < static_cast<int>(LabelHeadings.size()); ++column) {
        auto* heading = new QLabel(this);
        LabelHeadings[static_cast<size_t>(column)] = heading;
        heading->setWordWrap(true);
        QFont small = heading->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        heading->setFont(small);
        grid->addWidget(heading, 0, column, Qt::AlignBottom | (column >= 5 && column <= 7 ? Qt::AlignHCenter : Qt::AlignLeft));
    }

    // Selection, title and the table's numbers beside the elements.
    auto* side = new QVBoxLayout;
    side->setSpacing(2);
    middle->addLayout(side, 1);
    RadioGroupSelection = new QGroupBox(this);
    auto* radios = new QVBoxLayout(RadioGroupSelection);
    radios->setContentsMargins(6, 2, 6, 2);
    RadioAll = new QRadioButton(RadioGroupSelection);
    RadioSelected = new QRadioButton(RadioGroupSelection);
    radios->addWidget(RadioAll);
    radios->addWidget(RadioSelected);
    side->addWidget(RadioGroupSelection);
    LabelTitle = new QLabel(this);
    side->addWidget(LabelTitle);
    EditTitle = new QLineEdit(this);
    side->addWidget(EditTitle);
    auto* numbers = new QGridLayout;
    numbers->setVerticalSpacing(1);
    side->addLayout(numbers);
    SpinEditCellBorder = new QSpinBox(this);
    SpinEditCellPadding = new QSpinBox(this);
    SpinEditCellSpacing = new QSpinBox(this);
    int numberRow = 0;
    for (QSpinBox* box : {SpinEditCellBorder, SpinEditCellPadding, SpinEditCellSpacing}) {
        box->setRange(0, 20);
        auto* label = new QLabel(this);
        LabelNumbers[static_cast<size_t>(numberRow)] = label;
        numbers->addWidget(label, numberRow, 0);
        numbers->addWidget(box, numberRow++, 1);
    }
    side->addStretch(1);

    // The page's background.
    auto* background = new QHBoxLayout;
    outer->addLayout(background);
    LabelBodyBackGround = new QLabel(this);
    background->addWidget(LabelBodyBackGround);
    LMDColorComboBoxBodyBackGround = new TColourBox(this);
    background->addWidget(LMDColorComboBoxBodyBackGround);
    background->addSpacing(12);
    CheckBoxBackGround = new QCheckBox(this);
    background->addWidget(CheckBoxBackGround);
    EditBackGroundFile = new QLineEdit(this);
    background->addWidget(EditBackGroundFile, 1);
    ButtonBrowse = new QPushButton(this);
    background->addWidget(ButtonBrowse);

    // The help text beside the buttons.
    auto* bottom = new QHBoxLayout;
    outer->addLayout(bottom);
    LabelHelp = new QLabel(this);
    LabelHelp->setWordWrap(true);
    QFont small = LabelHelp->font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    LabelHelp->setFont(small);
    bottom->addWidget(LabelHelp, 1);
    auto* buttons = new QGridLayout;
    buttons->setSpacing(2);
    bottom->addLayout(buttons);
    ButtonPrint = new QPushButton(this);
    ButtonPrintSetup = new QPushButton(this);
    ButtonPrintPreview = new QPushButton(this);
    ButtonSave = new QPushButton(this);
    ButtonBackGroundPrintOptions = new QPushButton(this);
    buttons->addWidget(ButtonPrint, 0, 0);
    buttons->addWidget(ButtonPrintPreview, 0, 1);
    buttons->addWidget(ButtonSave, 0, 2);
    buttons->addWidget(ButtonPrintSetup, 1, 0);
    buttons->addWidget(ButtonBackGroundPrintOptions, 1, 1, 1, 2);
    // Backgrounds need no printer option here: the button would only repeat the page setup.
    ButtonBackGroundPrintOptions->setVisible(false);
}

void TFormPrint::SetCaptions() {
    setWindowTitle(LookupText("26.0"));
    RadioGroupSelection->setTitle(LookupText("26.1"));
    RadioAll->setText(LookupText("26.2"));
    RadioSelected->setText(LookupText("26.3"));
    LabelTitle->setText(LookupText("26.4"));
    const char* headings[] = {"26.5", "26.6", "26.7", "26.8", "26.9", "26.10", "26.11", "26.12", "26.28"};
    for (size_t column = 0; column < LabelHeadings.size(); ++column)
        LabelHeadings[column]->setText(LookupText(headings[column]));
    const char* elementNames[] = {"26.13", "26.14", "26.15", "26.32", "26.33", "26.34", "26.35"};
    const QStringList alignments{LookupText("26.29"), LookupText("26.30"), LookupText("26.31")};
    for (int e = 0; e < kPrintElementCount; ++e) {
        QCheckBox* box = Elements[static_cast<size_t>(e)].Print;
        box->setText(LookupText(elementNames[e]));
        box->setMinimumWidth(box->sizeHint().width());
        Elements[static_cast<size_t>(e)].Alignment->addItems(alignments);
    }
    const char* numberLabels[] = {"26.20", "26.22", "26.23"};
    for (size_t row = 0; row < LabelNumbers.size(); ++row) LabelNumbers[row]->setText(LookupText(numberLabels[row]));
    LabelBodyBackGround->setText(LookupText("26.38"));
    CheckBoxBackGround->setText(LookupText("26.21"));
    ButtonBrowse->setText(LookupText("26.24"));
    ButtonPrint->setText(LookupText("26.25"));
    ButtonPrintSetup->setText(LookupText("26.26"));
    ButtonPrintPreview->setText(LookupText("26.27"));
    ButtonSave->setText(LookupText("26.37"));
    ButtonBackGroundPrintOptions->setText(LookupText("26.39"));
    // The printer prints colours and images as the preview shows them; no browser setting to explain.
    LabelHelp->setText(LookupText("32.5"));
}

void TFormPrint::LoadControls() {
    (Settings.PrintItemSelection == 1 ? RadioSelected : RadioAll)->setChecked(true);
    EditTitle->setText(Settings.PrintTitle);
    for (int e = 0; e < kPrintElementCount; ++e) {
        const TPrintElement& element = Settings.PrintElements[static_cast<size_t>(e)];
        TElementControls& c = Elements[static_cast<size_t>(e)];
        c.Print->setChecked(element.Print);
        c.FontColour->SetColour(element.FontColour);
        // A face this machine lacks is kept: the page names it and the printer falls back.
        if (c.FontName->findText(element.FontName) < 0) c.FontName->insertItem(0, element.FontName);
        c.FontName->setCurrentText(element.FontName);
        c.FontSize->setValue(element.FontSize);
        c.Background->SetColour(element.Background);
        c.Bold->setChecked(element.Bold);
        c.Italic->setChecked(element.Italic);
        c.Underline->setChecked(element.Underline);
        c.Alignment->setCurrentIndex(element.Alignment >= 0 && element.Alignment <= 2 ? element.Alignment : 0);
    }
    SpinEditCellBorder->setValue(Settings.PrintCellBorder);
    SpinEditCellPadding->setValue(Settings.PrintCellPadding);
    SpinEditCellSpacing->setValue(Settings.PrintCellSpacing);
    LMDColorComboBoxBodyBackGround->SetColour(Settings.PrintPageBackground);
    EditBackGroundFile->setText(Settings.PrintBackgroundImage);
    CheckBoxBackGround->setChecked(false);  // not a setting: every window starts without the picture
}

void TFormPrint::ConnectChanges() {
    auto rebuild = [this] { CheckBoxTitleClick(); };
    connect(RadioAll, &QRadioButton::toggled, this, rebuild);
    connect(EditTitle, &QLineEdit::textChanged, this, [this] { EditTitleKeyUp(); });
    for (TElementControls& c : Elements) {
        for (QCheckBox* box : {c.Print, c.Bold, c.Italic, c.Underline}) connect(box, &QCheckBox::toggled, this, rebuild);
        for (QComboBox* box : {static_cast<QComboBox*>(c.FontColour), c.FontName, static_cast<QComboBox*>(c.Background),
                               c.Alignment})
            connect(box, &QComboBox::currentIndexChanged, this, rebuild);
        connect(c.FontSize, &QSpinBox::valueChanged, this, rebuild);
    }
    for (QSpinBox* box : {SpinEditCellBorder, SpinEditCellPadding, SpinEditCellSpacing})
        connect(box, &QSpinBox::valueChanged, this, rebuild);
    connect(LMDColorComboBoxBodyBackGround, &QComboBox::currentIndexChanged, this, rebuild);
    connect(CheckBoxBackGround, &QCheckBox::toggled, this, rebuild);
    connect(EditBackGroundFile, &QLineEdit::textChanged, this, rebuild);
    connect(ButtonBrowse, &QPushButton::clicked, this, [this] { ButtonBrowseClick(); });
    connect(ButtonPrint, &QPushButton::clicked, this, [this] { ButtonPrintClick(); });
    connect(ButtonPrintPreview, &QPushButton::clicked, this, [this] { ButtonPrintPreviewClick(); });
    connect(ButtonPrintSetup, &QPushButton::clicked, this, [this] { ButtonPrintSetupClick(); });
    connect(ButtonBackGroundPrintOptions, &QPushButton::clicked, this, [this] { ButtonPrintSetupClick(); });
    connect(ButtonSave, &QPushButton::clicked, this, [this] { ButtonSaveClick(); });
}

void TFormPrint::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!PageReady) FormShow();
}

void TFormPrint::FormShow() {
    PageReady = true;
    BuildPage();
}

void TFormPrint::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TFormPrint::FormClose() {
    if (Stored) return;
    Stored = true;
    StoreControls();
    if (Source.SaveSettings) Source.SaveSettings();
}

TPrintPageOptions TFormPrint::Options() const {
    TPrintPageOptions options;
    options.TitleText = EditTitle->text();
    for (int e = 0; e < kPrintElementCount; ++e) {
        const TElementControls& c = Elements[static_cast<size_t>(e)];
        TPrintElement& element = options.Elements[static_cast<size_t>(e)];
        element.Print = c.Print->isChecked();
        element.FontColour = c.FontColour->Colour();
        element.FontName = c.FontName->currentText();
        element.FontSize = c.FontSize->value();
        element.Background = c.Background->Colour();
        element.Bold = c.Bold->isChecked();
        element.Italic = c.Italic->isChecked();
        element.Underline = c.Underline->isChecked();
        element.Alignment = c.Alignment->currentIndex();
    }
    options.Border = SpinEditCellBorder->value();
    options.Padding = SpinEditCellPadding->value();
    options.Spacing = SpinEditCellSpacing->value();
    options.PageColour = LMDColorComboBoxBodyBackGround->Colour();
    // A path that names no file is ignored: the page keeps its colour.
    if (CheckBoxBackGround->isChecked() && QFileInfo(EditBackGroundFile->text()).isFile())
        options.Image = EditBackGroundFile->text();
    return options;
}

void TFormPrint::StoreControls() {
    const TPrintPageOptions options = Options();
    Settings.PrintItemSelection = RadioSelected->isChecked() ? 1 : 0;
    Settings.PrintTitle = options.TitleText;
    Settings.PrintElements = options.Elements;
    Settings.PrintCellBorder = options.Border;
    Settings.PrintCellPadding = options.Padding;
    Settings.PrintCellSpacing = options.Spacing;
    Settings.PrintPageBackground = options.PageColour;
    Settings.PrintBackgroundImage = EditBackGroundFile->text();
}

void TFormPrint::BuildPage() {
    if (!PageReady) return;
    const QString title = Source.PageTitle ? Source.PageTitle() : QString();
    const QString stamp = QDateTime::currentDateTime().toString("dd/MM/yyyy hh:mm:ss:zzz");
    const QList<QStringList> rows = Source.Rows ? Source.Rows(RadioSelected->isChecked()) : QList<QStringList>();
    Page = kv::PageText(Options(), title, stamp, rows);
    // The view keeps its place in the list while the options change.
    const int scrolled = EmbeddedWBPrint->verticalScrollBar()->value();
    EmbeddedWBPrint->setHtml(Page);
    EmbeddedWBPrint->verticalScrollBar()->setValue(scrolled);
}

QPrinter& TFormPrint::Printer() {
    if (!OwnPrinter) {
        OwnPrinter = std::make_unique<QPrinter>();
        OwnPrinter->setPageOrientation(QPageLayout::Portrait);
        OwnPrinter->setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
    }
    return *OwnPrinter;
}

bool TFormPrint::PrintTo(QPrinter& printer) const {
    QTextDocument document;
    // Laid out for the printer's resolution, so that points and pixels keep their size on paper.
    document.documentLayout()->setPaintDevice(&printer);
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    const QRectF area(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());
    QFont bandFont = QApplication::font();
    bandFont.setPointSizeF(8);
    const QFontMetricsF bandMetrics(bandFont, &printer);
    const qreal band = bandMetrics.height() * 2;
    const QSizeF body(area.width(), area.height() - 2 * band);
    document.setPageSize(body);
    document.setHtml(Page);
    const QString title = document.metaInformation(QTextDocument::DocumentTitle);
    const QString date = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
    const int pages = std::max(document.pageCount(), 1);
    for (int page = 0; page < pages; ++page) {
        if (page > 0) printer.newPage();
        painter.setFont(bandFont);
        painter.setPen(Qt::black);
        const QRectF header(0, 0, area.width(), band);
        const QString number = QString("Page %1 of %2").arg(page + 1).arg(pages);
        painter.drawText(header, Qt::AlignRight | Qt::AlignTop, number);
        const qreal numberWidth = bandMetrics.horizontalAdvance(number + "    ");
        painter.drawText(header.adjusted(0, 0, -numberWidth, 0), int(Qt::AlignLeft | Qt::AlignTop) | Qt::TextSingleLine,
                         bandMetrics.elidedText(title, Qt::ElideRight, area.width() - numberWidth));
        painter.drawText(QRectF(0, area.height() - band, area.width(), band), Qt::AlignRight | Qt::AlignBottom, date);
        painter.save();
        painter.translate(0, band - page * body.height());
        document.drawContents(&painter, QRectF(QPointF(0, page * body.height()), body));
        painter.restore();
    }
    return painter.end();
}

void TFormPrint::ButtonBrowseClick() {
    const QString file = Prompts.OpenFileName(LookupText("26.21"), QFileInfo(EditBackGroundFile->text()).path(),
                                              "Images (*.png *.jpg *.jpeg *.bmp *.gif)");
    if (file.isEmpty()) return;
    EditBackGroundFile->setText(file);
    BuildPage();
}

void TFormPrint::ButtonPrintClick() {
    BuildPage();
    QPrintDialog dialog(&Printer(), this);
    if (dialog.exec() == QDialog::Accepted) PrintTo(Printer());
}

void TFormPrint::ButtonPrintPreviewClick() {
    BuildPage();
    QPrintPreviewDialog preview(&Printer(), this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* printer) { PrintTo(*printer); });
    preview.exec();
}

void TFormPrint::ButtonPrintSetupClick() {
    QPageSetupDialog dialog(&Printer(), this);
    dialog.exec();
}

void TFormPrint::ButtonSaveClick() {
    const QString path = Prompts.SaveFileName(LookupText("26.37"), QString(), "HTML (*.htm *.html)");
    if (path.isEmpty()) return;
    // The page names no character set: the byte order mark tells a browser it is UTF-8.
    if (!WriteFileAtomically(path, "\xEF\xBB\xBF" + Page.toUtf8()))
        Prompts.ShowNotice(LookupTextWith("11.42", {"<#error>=" + path}));
}

}  // namespace kv
