// The printed compilation list: the page's text for every option, and the print window on a real
// compilation (names printed literally, a PDF of several pages read back by pdftotext, the
// options kept across a restart).
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <algorithm>

#include "WindowTestSupport.h"
#include "window/FormMasterKvd.h"
#include "window/KelvadoreApplication.h"
#include "window/QueueModel.h"
#include "window/QueueTreeView.h"
#include "dialogs/FormPrint.h"
#include "platform/EngineClock.h"

namespace kv {
namespace {

using I = TActionId;
constexpr int kWaitMs = 120000;  // generous: the machine may be loaded
const QString kOddName = "<i>a<i>&b.txt";

// The title on black and the names on white, as a first start has them, in a face of our own.
TPrintPageOptions DefaultOptions() {
    TPrintPageOptions options;
    options.TitleText = "Cover";
    options.Elements = TSettings::DefaultPrintElements();
    for (TPrintElement& element : options.Elements) element.FontName = "Sans";
    return options;
}

const QList<QStringList> kRows{{"a.txt", "/src/a.txt", "1 KB", "Text", "01/02/2020 03:04:05", "A"},
                               {"b", "MANUALLY CREATED", "", "Folder", "30/12/1899 00:00:00", "D"}};

QString Page(const TPrintPageOptions& options, const QList<QStringList>& rows = kRows) {
    return PageText(options, "Disc & 1", "S", rows);
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

class PrintTest : public QObject {
    Q_OBJECT

public:
    explicit PrintTest(test::TPreparedHome& home) : Home(home) {}

private:
    test::TPreparedHome& Home;
    QTemporaryDir Files;
    QString RecorderIdentity;
    test::TScriptedPrompts Prompts;

    std::unique_ptr<TFormMasterKvd> Start() {
        Home.WriteConfig({{"1.4", RecorderIdentity}});
        return Restart();
    }

    // Keeps the configuration the last window saved.
    std::unique_ptr<TFormMasterKvd> Restart() {
        Prompts = {};
        TFormMasterKvd::TServices services;
        services.Prompts = &Prompts;
        auto form = std::make_unique<TFormMasterKvd>(services);
        QSignalSpy ready(form.get(), &TFormMasterKvd::DrivesReady);
        form->FormCreate({});
        if (!QTest::qWaitFor([&] { return ready.count() > 0 && !form->DriveWorkPending(); }, kWaitMs)) return nullptr;
        return form;
    }

    // Opens the print window through the main window's command and runs `work` in it; the window
    // is closed afterwards.
    static void WithPrintWindow(TFormMasterKvd& form, const std::function<void(TFormPrint&)>& work) {
        QTimer::singleShot(0, &form, [&form, &work] {
            TFormPrint* dialog = form.PrintWindow();
            if (!dialog) return;
            work(*dialog);
            dialog->reject();
        });
        form.Action(I::Print)->trigger();
    }

private slots:
    void initTestCase() {
        QVERIFY(Files.isValid());
        RecorderIdentity = test::ListedIdentity("virtual:recorder");
        QVERIFY(!RecorderIdentity.isEmpty());
    }

    void thePageFollowsTheOptions() {
        TPrintPageOptions options = DefaultOptions();
        options.Elements[1].FontColour = 0x123456;  // red in the low byte
        const QString table = "<table border=\"1\" cellpadding=\"1\" cellspacing=\"1\" width=\"100%\">";
        const QString nameCell = "<td align=\"left\" valign=\"top\" width=\"100%\" bgcolor=\"#FFFFFF\"><font "
                                 "style=\"font-size:8pt\" color=\"#563412\" face=\"Sans\">";
        QCOMPARE(Page(options),
                 QStringList({"<html>", "<head>", "<title>Disc &amp; 1 S</title>", "</head>",
                              "<body topmargin=\"0\" leftmargin=\"0\"  bgcolor=\"#FFFFFF\">", table, "<tr>",
                              "<td align=\"left\" valign=\"top\" width=\"100%\" bgcolor=\"#000000\"><font "
                              "style=\"font-size:8pt\" color=\"#FFFFFF\" face=\"Sans\">Cover</font></td>",
                              "</tr>", "</table>", table, "<tr>", nameCell + "a.txt</font></td>", "</tr>", "<tr>",
                              nameCell + "b</font></td>", "</tr>", "</table>", "</body>"})
                     .join("\r\n"));

        // Without a column every item still gives its row; without the title the items come first.
        options = DefaultOptions();
        options.Elements[1].Print = false;
        options.Elements[0].Print = false;
        QVERIFY(Page(options).contains("\">\r\n" + table + "\r\n<tr>\r\n</tr>\r\n<tr>\r\n</tr>\r\n</table>\r\n</body>"));

        // Three columns share the width as whole percents; alignment and styles per column; texts
        // are taken literally.
        options = DefaultOptions();
        options.Elements[2].Print = options.Elements[4].Print = true;
        options.Elements[2].Alignment = 1;
        options.Elements[4].Alignment = 2;
        options.Elements[1].Bold = options.Elements[1].Underline = true;
        options.Elements[4].Bold = options.Elements[4].Italic = options.Elements[4].Underline = true;
        options.TitleText = "A & <B>";
        QString page = Page(options, {{"<i>x</i>", "/p", "", "T\"y", "", ""}});
        QCOMPARE(page.count("width=\"33%\""), 3);
        QVERIFY(page.contains("<strong><u>&lt;i&gt;x&lt;/i&gt;</u></strong></font>"));
        QVERIFY(page.contains("align=\"center\" valign=\"top\" width=\"33%\" bgcolor=\"#FFFF00\""));
        QVERIFY(page.contains("align=\"right\" valign=\"top\" width=\"33%\" bgcolor=\"#FFFFFF\""));
        QVERIFY(page.contains("<strong><em><u>T&quot;y</u></em></strong>"));
        QVERIFY(page.contains(">A &amp; &lt;B&gt;</font>"));

        // On a grey page a white cell shows the page; a coloured cell keeps its colour.
        options.PageColour = 0xC0C0C0;
        page = Page(options);
        QVERIFY(page.contains("<body topmargin=\"0\" leftmargin=\"0\"  bgcolor=\"#C0C0C0\">"));
        QVERIFY(page.contains("width=\"33%\" ><font"));
        QVERIFY(page.contains("bgcolor=\"#FFFF00\""));
        QVERIFY(page.contains("bgcolor=\"#000000\""));

        // A picture replaces the page's colour and every cell's.
        options.Image = "/pictures/<sky>.png";
        page = Page(options);
        QVERIFY(page.contains("<body topmargin=\"0\" leftmargin=\"0\" background=\"/pictures/&lt;sky&gt;.png\" >"));
        QVERIFY(!page.contains("bgcolor"));
    }

    void theWindowPrintsTheCompilationAndKeepsItsOptions() {
        const QString many = Files.filePath("many");
        for (int i = 1; i <= 117; ++i)
            QVERIFY(WriteFile(many + QString("/entry-%1.txt").arg(i, 3, 10, QChar('0')), "x"));
        QVERIFY(WriteFile(many + "/gone.txt", "gone"));
        QVERIFY(WriteFile(Files.filePath(kOddName), "odd"));
        auto form = Start();
        QVERIFY(form);
        form->AddPathsToRoot({many, Files.filePath(kOddName)}, false);
        QVERIFY(QFile::remove(many + "/gone.txt"));

        // Every node is read before it is printed; one whose source has gone stays in the list.
        const QList<QStringList> rows = form->PrintRows(false);
        QCOMPARE(rows.size(), 120);
        QCOMPARE(rows[0][TQueueModel::ColName], QString("many"));
        QCOMPARE(rows.last()[TQueueModel::ColName], kOddName);
        QVERIFY(rows[1][TQueueModel::ColAttributes].contains('A') && !rows[1][TQueueModel::ColType].isEmpty());
        QVERIFY(std::any_of(rows.begin(), rows.end(), [](const QStringList& row) { return row[0] == "gone.txt"; }));
        QCoreApplication::processEvents();
        QCOMPARE(form->Queue().Root().Child(0)->ChildCount(), 118);
        // A data compilation is titled by the data disc's volume name, not the audio CD's title.
        form->Settings().VolumeName = "DATAVOLUME";
        form->Settings().AudioVolumeName = "AUDIOTITLE";

        const QString pdf = test::ScreenshotFolder() + "/print-list.pdf";  // kept for a reviewer
        const QString saved = Files.filePath("list.htm");
        QString page;
        QString shown;
        QString noneSelected;
        QString folderSelected;
        QString withPicture;
        const QString picture = Files.filePath("sky.png");
        QImage sky(8, 8, QImage::Format_RGB32);
        sky.fill(Qt::cyan);
        QVERIFY(sky.save(picture));
        int previewPages = 0;
        QStringList platformDialogs;
        bool placed = false;
        TPrintPageOptions chosen;
        WithPrintWindow(*form, [&](TFormPrint& dialog) {
            placed = dialog.PageReady && dialog.y() == 0 && dialog.size() == QSize(792, 566);
            dialog.Elements[2].Print->setChecked(true);  // the paths on yellow
            page = dialog.PageText();
            shown = dialog.EmbeddedWBPrint->toPlainText();
            test::SaveScreenshot(dialog, "print-window");
            // No browser to set up: no word of one, and no button that only repeats the page setup.
            QVERIFY(!dialog.LabelHelp->text().contains("IE "));
            QVERIFY(!dialog.ButtonBackGroundPrintOptions->isVisibleTo(&dialog));
            QPrinter& printer = dialog.Printer();  // portrait, with the window's margins
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            dialog.PrintTo(printer);
            // The printing buttons open the platform's dialogs; closing them prints nothing.
            for (QPushButton* button : {dialog.ButtonPrintPreview, dialog.ButtonPrint, dialog.ButtonPrintSetup}) {
                QTimer::singleShot(0, &dialog, [&] {
                    auto* opened = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                    if (!opened || opened == &dialog) return;
                    if (auto* preview = qobject_cast<QPrintPreviewDialog*>(opened))
                        previewPages = preview->findChild<QPrintPreviewWidget*>()->pageCount();
                    platformDialogs << opened->metaObject()->className();
                    opened->reject();
                });
                button->click();
            }
            Prompts.FileNames.push_back(saved);
            dialog.ButtonSave->click();
            page = dialog.PageText();

            dialog.RadioSelected->setChecked(true);  // and nothing is selected
            noneSelected = dialog.PageText();
            form->VirtualStringTreeQueue->selectionModel()->select(
                form->Queue().IndexOf(form->Queue().Root().Child(0)),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
            dialog.BuildPage();
            folderSelected = dialog.PageText();
            dialog.EditTitle->setText("Spring list");
            dialog.Elements[1].Bold->setChecked(true);
            dialog.Elements[1].FontColour->SetColour(0x123456);
            dialog.Elements[1].FontSize->setValue(11);
            dialog.Elements[1].Alignment->setCurrentIndex(2);
            dialog.SpinEditCellBorder->setValue(3);
            dialog.LMDColorComboBoxBodyBackGround->SetColour(0xC0C0C0);
            dialog.CheckBoxBackGround->setChecked(true);
            dialog.EditBackGroundFile->setText(picture);
            withPicture = dialog.PageText();
            dialog.EditBackGroundFile->setText(Files.filePath("missing.png"));
            chosen = dialog.Options();
        });
        QVERIFY(placed);
        QVERIFY2(page.contains("<title>DATAVOLUME") && !page.contains("AUDIOTITLE"), qPrintable(page.left(300)));
        QVERIFY(page.contains(kOddName.toHtmlEscaped()) && !page.contains(kOddName));
        QVERIFY(shown.contains(kOddName));
        QCOMPARE(QFile(saved).size(), 3 + page.toUtf8().size());
        QVERIFY(noneSelected.endsWith("width=\"100%\">\r\n</table>\r\n</body>"));
        // A selected folder comes without its contents.
        QCOMPARE(folderSelected.count("<tr>"), 2);
        QVERIFY(folderSelected.contains(">many</font>"));
        QVERIFY(withPicture.contains("background=\"" + picture + "\"") && !withPicture.contains("bgcolor"));
        QVERIFY(chosen.Image.isEmpty());  // the picture named does not exist

        QProcess pdftotext;
        pdftotext.start("pdftotext", {pdf, "-"});
        QVERIFY(pdftotext.waitForFinished(kWaitMs));
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
        const int pages = static_cast<int>(text.count('\f'));
        QVERIFY2(pages >= 2, qPrintable(text.left(2000)));
        for (const QStringList& row : rows) QVERIFY2(text.contains(row[TQueueModel::ColName]), qPrintable(row[0]));
        QVERIFY(text.contains(QString("Page 1 of %1").arg(pages)) && text.contains(QString("Page %1 of %1").arg(pages)));
        QCOMPARE(previewPages, pages);
        QCOMPARE(platformDialogs, QStringList({"QPrintPreviewDialog", "QPrintDialog", "QPageSetupDialog"}));

        // Closing the print window saved the options; the next start shows them again.
        QCOMPARE(Home.StoredSetting("8.1"), std::optional<QString>("Spring list"));
        form->close();
        form.reset();
        form = Restart();
        QVERIFY(form);
        form->AddPathsToRoot({Files.filePath(kOddName)}, false);
        TPrintPageOptions reloaded;
        bool selectedOnly = false;
        bool pictureTicked = true;
        WithPrintWindow(*form, [&](TFormPrint& dialog) {
            reloaded = dialog.Options();
            selectedOnly = dialog.RadioSelected->isChecked();
            pictureTicked = dialog.CheckBoxBackGround->isChecked();
        });
        QVERIFY(selectedOnly && !pictureTicked);
        QCOMPARE(reloaded.TitleText, chosen.TitleText);
        QVERIFY(reloaded.Elements == chosen.Elements);
        QCOMPARE(reloaded.Border, 3);
        QCOMPARE(reloaded.PageColour, 0xC0C0C0);
        QCOMPARE(form->Settings().PrintBackgroundImage, Files.filePath("missing.png"));
        form->close();
    }
};

}  // namespace kv

int main(int argc, char** argv) {
    return kv::test::RunWindowTest<kv::PrintTest>(argc, argv);
}

#include "PrintTest.moc"
