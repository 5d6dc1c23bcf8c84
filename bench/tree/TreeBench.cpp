// Adds one folder to the compilation tree (the model with its view, offscreen) and compares the
// time with `find FOLDER | wc -l` on the same folder, warm. Without a folder argument it makes a
// folder of 100 000 small files in a scratch folder first.
//
// usage: bench_tree_add [FOLDER] [--files N]
#include "app/QueueNode.h"
#include "window/QueueModel.h"
#include "window/QueueTreeView.h"
#include "audioconv/AudioConversion.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <iostream>

namespace {

// The best of three runs of `find FOLDER | wc -l`, in seconds, and the count it printed.
std::pair<double, qint64> TimeFind(const QString& folder) {
    double best = 1e9;
    qint64 count = 0;
    for (int run = 0; run < 3; ++run) {
        QProcess shell;
        QElapsedTimer clock;
        clock.start();
        shell.start("sh", {"-c", "find \"$0\" | wc -l", folder});
        shell.waitForFinished(-1);
        best = std::min(best, clock.nsecsElapsed() / 1e9);
        count = shell.readAllStandardOutput().trimmed().toLongLong();
    }
    return {best, count};
}

bool MakeFolder(const QString& folder, int files) {
    if (!QDir().mkpath(folder)) return false;
    const QByteArray payload(512, 'k');
    for (int i = 0; i < files; ++i) {
        QFile file(folder + QString("/item%1.dat").arg(i, 6, 10, QChar('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(payload) != payload.size()) return false;
    }
    return true;
}

size_t HeapInUse() { return mallinfo2().uordblks; }

// User and system seconds this process, or its waited-for children, have used so far.
std::pair<double, double> CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    int files = 100000;
    if (const qsizetype at = arguments.indexOf("--files"); at >= 0 && at + 1 < arguments.size()) {
        files = arguments[at + 1].toInt();
        arguments.remove(at, 2);
    }
    QTemporaryDir scratch;
    QString folder = arguments.value(0);
    if (folder.isEmpty()) {
        folder = scratch.filePath("files");
        std::cout << "making " << files << " files in " << folder.toStdString() << " ..." << std::endl;
        if (!MakeFolder(folder, files)) {
            std::cerr << "bench_tree_add: cannot make the folder\n";
            return 2;
        }
    }

    const auto findCpuBefore = CpuSeconds(RUSAGE_CHILDREN);
    const auto [findSeconds, findCount] = TimeFind(folder);
    const auto findCpuAfter = CpuSeconds(RUSAGE_CHILDREN);
    // Three runs of find: one run's share.
    const double findUser = (findCpuAfter.first - findCpuBefore.first) / 3;
    const double findSystem = (findCpuAfter.second - findCpuBefore.second) / 3;

    kv::TAudioConversion audio;
    kv::TQueueModel queue;
    queue.Hooks.Duration = [&](const QString& path) { return audio.GetDuration(QFile::encodeName(path).toStdString()); };
    queue.Hooks.ProcessEvents = [] { QCoreApplication::processEvents(); };
    kv::TQueueTreeView view;
    view.setModel(&queue);
    view.resize(900, 600);
    view.show();
    QCoreApplication::processEvents();

    const size_t heapBefore = HeapInUse();
    const auto cpuBefore = CpuSeconds(RUSAGE_SELF);
    QElapsedTimer clock;
    clock.start();
    queue.AddPath(folder);
    QCoreApplication::processEvents();
    const double addSeconds = clock.nsecsElapsed() / 1e9;
    const auto cpuAfter = CpuSeconds(RUSAGE_SELF);
    const qint64 nodes = queue.AddedFiles + queue.AddedFolders;
    const double bytesPerNode = nodes > 0 ? double(HeapInUse() - heapBefore) / double(nodes) : 0;

    const double addUser = cpuAfter.first - cpuBefore.first;
    const double addSystem = cpuAfter.second - cpuBefore.second;
    std::printf("find | wc -l: %lld entries in %.3f s (best of 3, warm; cpu %.3f user + %.3f system)\n",
                static_cast<long long>(findCount), findSeconds, findUser, findSystem);
    std::printf("tree AddPath: %lld nodes in %.3f s (cpu %.3f user + %.3f system), %.0f bytes of heap per node\n",
                static_cast<long long>(nodes), addSeconds, addUser, addSystem, bytesPerNode);
    std::printf("ratio: %.2f x find in time, %.2f x in cpu (goal: within 3 x)\n", addSeconds / findSeconds,
                (addUser + addSystem) / (findUser + findSystem));
    return 0;
}
