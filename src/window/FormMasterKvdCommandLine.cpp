// Command lines: the program's own at start-up and those later starts hand over. A list of
// existing paths is added (or one project opened); anything else is a command word, optionally
// with a list file of paths.
#include "window/FormMasterKvd.h"

#include "app/CommandWords.h"
#include "app/HostText.h"
#include "app/Playlists.h"
#include "window/QueueModel.h"
#include "window/QueueTreeView.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kv {
namespace {

using I = TActionId;

}  // namespace

QString TFormMasterKvd::CommandLineArrived(const TCommandLine& commandLine) {
    // A run under way takes no orders: the sender says so instead of queueing a second burn.
    if (Operation() != TOperation::Idle || ProgressWindow()) return "busy";
    const QStringList arguments = ResolveArguments(commandLine);
    if (!arguments.isEmpty()) ProcessCommandLine(arguments);
    return "done";
}

bool TFormMasterKvd::ProcessCommandLine(const QStringList& arguments) {
    if (arguments.join(' ').trimmed().isEmpty() || ProgressWindow()) return true;
    // Each command line is judged by its own arguments: existing paths are added, one project is
    // opened, whatever came before.
    QStringList paths;
    for (const QString& argument : arguments) paths.append(AbsoluteLocalPath(argument, QDir::currentPath()));
    if (std::all_of(paths.begin(), paths.end(), HostPathExists)) {
        if (paths.size() == 1 && paths.front().toUpper().endsWith(".KVD"))
            LoadProject(paths.front());
        else
            AddPathsToRoot(paths, false);
        return true;
    }

    const TCommandWords command = SplitCommandWords(arguments);
    const QString& word = command.Word;
    const QString list = command.ListFile.isEmpty() ? QString() : AbsoluteLocalPath(command.ListFile, QDir::currentPath());
    if (!list.isEmpty() && QFileInfo(list).isFile()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const QStringList lines = ReadListFile(list);
        bool imageStarted = false;
        if (!lines.isEmpty()) {
            if (word == "R" || word == "RB") {
                for (const QString& line : lines) QueueModel->RemoveTopLevelPath(line);
            } else if (word == "BISO") {
                if (lines.size() == 1 && QFileInfo(lines.front()).isFile() && lines.front().toUpper().endsWith(".ISO")) {
                    imageStarted = true;
                }
            } else {
                AddPathsToRoot(ShellOrder(lines), true);
            }
        }
        if (ListFileIsDisposable(list, Core->Folders().TempFolder)) QFile::remove(list);
        QApplication::restoreOverrideCursor();
        if (imageStarted) {
            BurnImageFile(lines.front());
            return true;
        }
        UpdateTreeActions(true);
    }

    if (word == "R") {
        RestoreApplication();
    } else if (word == "E" || word == "I" || word == "C") {
        RestoreApplication();
        Action(word == "E" ? I::EraseDisc : word == "I" ? I::DiscInfo : I::DeleteAll)->trigger();
    } else if (word == "B" || word == "AB" || word == "RB") {
        // Whether there is audio to offer is known once every playing time is.
        WhenDurationsKnown([this] {
            UpdateTreeActions(true);
            if (Action(I::BurnAudio)->isEnabled())
                ShowBurnModeChooser();
            else
                Action(I::Burn)->trigger();
        });
        return false;
    } else if (word == "FLY") {
        Action(I::ShowDrop)->trigger();
    }
    return true;
}

}  // namespace kv
