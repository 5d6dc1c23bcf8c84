// Command lines: the program's own at start-up and those later starts hand over. A list of
// existing paths is added (or one project opened); else a known command word, optionally with a
// list file of paths. A later start's command line waits while a modal dialog is open, so that
// nothing replaces the tree under the dialog's nested event loop.
#include "window/FormMasterKvd.h"

#include "app/CommandWords.h"
#include "app/HostText.h"
#include "app/MessageCatalogue.h"
#include "app/Playlists.h"
#include "flows/FlowRunner.h"
#include "window/DeferredInputs.h"
#include "window/QueueModel.h"
#include "window/QueueTreeView.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>

namespace kv {
namespace {

using I = TActionId;

}  // namespace

void TFormMasterKvd::CommandLineArrived(const TCommandLine& commandLine, std::function<void(const QString&)> answer) {
    Inputs->Run([this, commandLine, answer = std::move(answer)] {
        // A run under way takes no orders: the sender says so instead of queueing a second burn.
        if (Closed || ProgressWindow() || !Runner->Admit()) {
            answer("busy");
            return;
        }
        ProcessCommandLine(commandLine.Arguments, commandLine.WorkingFolder);
        answer("done");
    });
}

bool TFormMasterKvd::ProcessCommandLine(const QStringList& arguments, const QString& folder) {
    if (arguments.join(' ').trimmed().isEmpty() || ProgressWindow()) return true;
    // Everything relative is seen from the folder the command line was given in.
    const QString from = folder.isEmpty() ? QDir::currentPath() : folder;
    // Each command line is judged by its own arguments: existing paths are added, one project is
    // opened, whatever came before.
    QStringList paths;
    for (const QString& argument : arguments) paths.append(AbsoluteLocalPath(argument, from));
    if (std::all_of(paths.begin(), paths.end(), HostPathExists)) {
        if (paths.size() == 1 && paths.front().toUpper().endsWith(".KVD"))
            LoadProject(paths.front());
        else
            AddPathsToRoot(paths, false);
        return true;
    }

    const TCommandWords command = SplitCommandWords(arguments);
    const QString& word = command.Word;
    if (word.isEmpty()) {
        AddLog(LookupTextWith("30.8", {"<#value>=" + arguments.join(' ').trimmed()}));
        return true;
    }
    const QString list = command.ListFile.isEmpty() ? QString() : AbsoluteLocalPath(command.ListFile, from);
    if (!list.isEmpty() && QFileInfo(list).isFile()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const QStringList lines = ReadListFile(list, from);
        bool imageStarted = false;
        if (!lines.isEmpty()) {
            if (word == "R" || word == "RB") {
                for (const QString& line : lines) QueueModel->RemoveTopLevelPath(line);
            } else if (word == "BISO") {
                const QString image = lines.front().toUpper();
                if (lines.size() == 1 && QFileInfo(lines.front()).isFile() &&
                    (image.endsWith(".ISO") || image.endsWith(".CUE"))) {
                    imageStarted = true;
                }
            } else {
                AddPathsToRoot(ShellOrder(lines), true);
            }
        }
        DeleteSentList(list, Core->Folders().TempFolder);
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
