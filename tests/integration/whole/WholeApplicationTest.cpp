// The whole application as a user drives it from a shell and a file manager: the program under an
// X server of the test's own, later starts with command words, the restart after a burn, the
// verification, the erase, the disc information and kelvadore-send. Processes only.
#include "ProcessSupport.h"
#include "WindowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace kv {

class WholeApplicationTest : public QObject {
    Q_OBJECT

private slots:
    void aDiscIsBurnedVerifiedErasedShownAndFilesArriveFromAFileManager() {
        test::TXServer x;
        QVERIFY2(x.Start(), "an X server of its own");
        test::TPreparedHome home;
        struct TEndPrograms {
            QString Home;
            ~TEndPrograms() { test::EndProgramsOfHome(Home); }
        } endPrograms{home.Home};
        const QString medium = home.CreateMedium("blank-cdrw.kvm", "cdrw");
        const QString identity = test::ListedIdentityOutside(KV_CLI, home, medium);
        QVERIFY(!identity.isEmpty());
        // Burn data, quick erase, close disc and sessions found are not asked; verify is on.
        QVERIFY(home.WriteConfig({{"1.4", identity}, {"3.0", "1"}, {"3.6", "1"}, {"3.21", "1"}, {"3.27", "1"},
                                  {"1.6", "1"}, {"1.12", "1"}}));
        const QString dir = QDir::cleanPath(home.Home + "/../Documents");
        for (const QString file : {"/letter.txt", "/photos/one.jpg", "/photos/two.jpg", "/photos/old/three.jpg"}) {
            QDir().mkpath(QFileInfo(dir + file).path());
            QFile out(dir + file);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file.toUtf8().repeated(1000)) > 0);
        }

        const QString shot = test::ScreenshotFolder() + "/whole-application.png";
        const QString stem = test::ScreenshotStem(shot);
        for (const QString& old : {shot, stem + "-discinfo.png"}) QFile::remove(old);
        QProcessEnvironment kelvadore;
        kelvadore.insert("KELVADORE", KV_KELVADORE);
        QProcess first;
        test::StartProgram(first, KV_KELVADORE, home, x.Display, shot, {dir}, kelvadore);
        const QProcessEnvironment environment = first.processEnvironment();
        QVERIFY2(test::WaitForFile(shot), "the window shows the tree");
        QTRY_VERIFY_WITH_TIMEOUT(!home.LogLines().filter(" - Total files/folders ( 7 )").isEmpty(), 60000);

        // Burned, restarted, verified: 4 files and 3 folders (the folder itself among them).
        QCOMPARE(test::LaterStart(KV_KELVADORE, home, {"B"}, dir), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            !home.LogLines().filter("Data verification completed successfully (files = 4 - folders = 3)").isEmpty(), 300000);
        QVERIFY(first.state() == QProcess::NotRunning || first.waitForFinished(test::kStartMs));

        QCOMPARE(test::LaterStart(KV_KELVADORE, home, {"E"}, dir), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!home.LogLines().filter(" - Erase process done").isEmpty(), 300000);
        QVERIFY2(home.LogLines().filter("Erase process done with error").isEmpty(), qPrintable(home.LogLines().join('\n')));
        QCOMPARE(test::LaterStart(KV_KELVADORE, home, {"I"}, dir), 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(stem + "-discinfo.png").size() > 0, 60000);

        // A file manager hands two files over through a list in the temporary folder.
        const qsizetype totals = home.LogLines().filter(" - Total files/folders (").size();
        QProcess send;
        send.setProcessEnvironment(environment);
        send.setWorkingDirectory(dir);
        send.start(KV_SEND, {"A", "letter.txt", "photos/one.jpg"});
        QVERIFY(send.waitForFinished(test::kStartMs) && send.exitCode() == 0);
        QTRY_VERIFY_WITH_TIMEOUT(home.LogLines().filter(" - Total files/folders (").size() > totals, 60000);
        QVERIFY(QDir(QDir::tempPath()).entryList({"kelvadore-list.*"}, QDir::Files).isEmpty());
    }
};

}  // namespace kv

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    kv::WholeApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WholeApplicationTest.moc"
