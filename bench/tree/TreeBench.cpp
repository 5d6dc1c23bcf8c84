// Adds one folder to the compilation tree (the model with its view, offscreen) and compares the
// time with `find FOLDER | wc -l` on the same folder, warm. Without a folder argument it makes a
// folder of 100 000 small files in a scratch folder first. Then it deletes and moves selections
// of 10 000 and of 100 000 nodes (every other node of a folder, so that no two are neighbours), in
// a tree as added and in a sorted one, and compares the times with each other and with adding.
//
// usage: bench_tree_add [FOLDER] [--files N]
#include "app/DurationProber.h"
#include "app/HostText.h"
#include "app/QueueNode.h"
#include "window/QueueModel.h"
#include "window/QueueTreeView.h"
#include "audioconv/AudioConversion.h"
#include "platform/AllocatorTuning.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <malloc.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <random>

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

// A folder of 2 * `selected` files in shuffled name order beside an empty folder; every other
// file is selected in the view, as a user's selection of scattered nodes would be.
struct TSelectionRun {
    QList<kv::TQueueItem*> Selected;
    kv::TQueueItem* All = nullptr;
    kv::TQueueItem* Target = nullptr;
};
TSelectionRun PrepareSelection(kv::TQueueModel& queue, kv::TQueueTreeView& view, int selected, bool sorted) {
    auto root = std::make_unique<kv::TQueueItem>();
    kv::TQueueItem* all = root->Append(std::make_unique<kv::TQueueItem>(kv::QueueNode{.Name = "all", .IsFolder = true}));
    TSelectionRun run;
    run.All = all;
    run.Target = root->Append(std::make_unique<kv::TQueueItem>(kv::QueueNode{.Name = "target", .IsFolder = true}));
    std::vector<int> numbers(static_cast<size_t>(selected) * 2);
    for (size_t i = 0; i < numbers.size(); ++i) numbers[i] = static_cast<int>(i);
    std::shuffle(numbers.begin(), numbers.end(), std::mt19937(5));
    std::vector<std::unique_ptr<kv::TQueueItem>> files;
    for (int number : numbers)
        files.push_back(std::make_unique<kv::TQueueItem>(kv::QueueNode{
            .Name = QString("item%1.dat").arg(number, 7, 10, QChar('0')), .SourcePath = "/nowhere", .Size = 512,
            .InfoResolved = true}));
    all->AppendAll(std::move(files));
    queue.ReplaceTree(std::move(root));
    view.expand(queue.index(0, 0));
    if (sorted) queue.SortTree(Qt::DescendingOrder);
    QItemSelection selection;
    for (int row = 0; row < all->ChildCount(); row += 2) {
        run.Selected.append(all->Child(row));
        const QModelIndex index = queue.IndexOf(all->Child(row));
        selection.select(index, index.siblingAtColumn(kv::TQueueModel::ColumnCount - 1));
    }
    view.selectionModel()->select(selection, QItemSelectionModel::Select);
    QCoreApplication::processEvents();
    return run;
}

// The CPU seconds this thread has used so far: on a machine shared with others they vary far
// less from run to run than the time on the clock does.
double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

struct TCost {
    double Seconds = 1e9;
    double Cpu = 1e9;
};

// What one delete or move of the selection costs, the view following it.
TCost TimeSelectionChange(kv::TQueueModel& queue, kv::TQueueTreeView& view, int selected, bool sorted, bool move) {
    TSelectionRun run = PrepareSelection(queue, view, selected, sorted);
    QElapsedTimer clock;
    const double cpuBefore = ThreadCpuSeconds();
    clock.start();
    if (move)
        view.MoveNodes(run.Selected, run.Target, kv::TQueueModel::TDropPosition::Onto);
    else
        view.RemoveNodes(run.Selected);
    QCoreApplication::processEvents();
    const TCost cost{clock.nsecsElapsed() / 1e9, ThreadCpuSeconds() - cpuBefore};
    if (run.Target->ChildCount() != (move ? selected : 0) || run.All->ChildCount() != selected)
        std::cerr << "bench_tree_add: the selection did not go where it should\n";
    return cost;
}

// User and system seconds this process, or its waited-for children, have used so far.
std::pair<double, double> CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

}  // namespace

int main(int argc, char** argv) {
    kv::TuneAllocatorForLargeTrees();  // as the program does
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

    // Playing times as the window measures them: on a thread of their own, for audio files only.
    kv::TQueueModel queue;
    kv::TDurationProber prober([audio = std::make_shared<kv::TAudioConversion>()](const std::string& path) {
        return audio->GetDuration(path);
    });
    QObject::connect(&prober, &kv::TDurationProber::Measured, &queue, &kv::TQueueModel::DurationMeasured);
    queue.Hooks.RequestDuration = [&](quint64 ticket, const QString& path) {
        std::string bytes = kv::HostString(path);
        if (!kv::TAudioConversion::MayHaveDuration(bytes)) return false;
        prober.Request(ticket, std::move(bytes));
        return true;
    };
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

    // Best of five of each: the machine may be loaded by others, and 10 000 nodes take only some
    // 10 ms, where one stray pause moves the ratio by a whole point.
    auto best = [&](int selected, bool sorted, bool move) {
        TCost fastest;
        for (int run = 0; run < 5; ++run) {
            const TCost cost = TimeSelectionChange(queue, view, selected, sorted, move);
            fastest = {std::min(fastest.Seconds, cost.Seconds), std::min(fastest.Cpu, cost.Cpu)};
        }
        return fastest;
    };
    double delete100k = 0;
    for (const bool move : {false, true}) {
        for (const bool sorted : {false, true}) {
            const TCost small = best(10000, sorted, move), large = best(100000, sorted, move);
            if (!move && !sorted) delete100k = large.Seconds;
            std::printf("%s a selection of scattered nodes%s: 10 000 in %.3f s, 100 000 in %.3f s, %.1f x in time, "
                        "%.1f x in cpu (goal: at most 12 x)\n",
                        move ? "move" : "delete", sorted ? ", tree sorted" : "", small.Seconds, large.Seconds,
                        large.Seconds / small.Seconds, large.Cpu / small.Cpu);
        }
    }
    std::printf("deleting 100 000 nodes: %.2f x the time adding %lld took (goal: at most 1 x)\n", delete100k / addSeconds,
                static_cast<long long>(nodes));
    return 0;
}
