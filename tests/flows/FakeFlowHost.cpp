#include "FakeFlowHost.h"

#include "FlowsTestMedia.h"
#include "app/Confirmations.h"
#include "app/MessageCatalogue.h"
#include "flows/DriveSteps.h"

#include <QFileInfo>
#include <QTest>

namespace kv::test {

void TRecordingProgressView::Prepare(TProgressMode mode) {
    static const char* const kNames[] = {"erase", "conversion", "data write", "audio write", "read image", "copy disc"};
    Events.append(QString("progress: ") + kNames[static_cast<int>(mode)]);
}

void TRecordingProgressView::PresetChoices(const TAfterFinishChoices& ticked, bool, bool) {
    Chosen = ticked;
}

void TRecordingProgressView::Close() {
    if (!Open) return;
    Open = false;
    Events.append("progress closed");
}

bool TFakeFlowHost::TRecordingPrompts::AskYesNo(const QString& title, const QString& text) {
    Events.append("yes/no: " + text.section('\r', 0, 0));
    return TScriptedPrompts::AskYesNo(title, text);
}

TWarningReply TFakeFlowHost::TRecordingPrompts::Warning(const TWarningQuestion& question) {
    Events.append("question: " + question.Title);
    return TScriptedPrompts::Warning(question);
}

void TFakeFlowHost::TRecordingPrompts::ShowNotice(const QString& text) {
    Events.append("notice: " + text);
    TScriptedPrompts::ShowNotice(text);
}

QString TFakeFlowHost::TRecordingPrompts::SaveFileName(const QString& title, const QString& folder,
                                                       const QString& filter) {
    Events.append("save as: " + title);
    return TScriptedPrompts::SaveFileName(title, folder, filter);
}

TFakeFlowHost::TFakeFlowHost()
    : View(std::make_unique<TRecordingProgressView>(Events)),
      Runner(std::make_unique<TFlowRunner>(*this)),
      DriveWork(std::make_unique<TDriveTasks>(&Context, TBurnerHost::THooks{})) {
    Values.WAVPath = Folder.path() + "/wav/";
    Space.FreeBytes = [](const QString&) { return qint64{1} << 40; };
    Space.LocalVolumes = [] { return QList<TStorageQuery::TVolume>{}; };
    LogDocument.WriteHtml = [this](const QString& html) {
        const QString line = LogHtmlToPlainText(html).trimmed();
        // "hh:mm:ss - text": the time says nothing about the order.
        Events.append("log: " + (line.size() > 11 && line.mid(8, 3) == " - " ? line.mid(11) : line));
    };
    LogDocument.Start();
    LogDocument.EndBuffering();
}

TFakeFlowHost::~TFakeFlowHost() {
    // As the window does: the drive thread ends first, then the flows and their job.
    DriveWork->Stop();
    Runner.reset();
}

bool TFakeFlowHost::UseMedium(const QString& name) {
    Values.DriveName = IdentityOf(name);
    return !Values.DriveName.isEmpty();
}

bool TFakeFlowHost::Run(std::unique_ptr<TFlow> flow) {
    Events.clear();
    return Runner->Start(std::move(flow)) && WaitForRunEnd();
}

QStringList TFakeFlowHost::LogLines() const {
    QStringList lines;
    for (const QString& event : Events)
        if (event.startsWith("log: ")) lines.append(event.mid(5));
    return lines;
}

bool TFakeFlowHost::WaitForRunEnd(int ms) {
    return QTest::qWaitFor([&] { return !Runner->Busy() && !DriveWork->Pending() && !View->Open; }, ms);
}

void TFakeFlowHost::AddFile(const QString& source) {
    QueueNode node;
    node.Name = QFileInfo(source).fileName();
    node.SourcePath = source;
    node.Size = QFileInfo(source).size();
    node.IsAudio = source.endsWith(".wav", Qt::CaseInsensitive);
    node.Duration = node.IsAudio ? static_cast<double>(node.Size - 44) / 176400 : -1;
    Tree.Append(std::make_unique<TQueueItem>(std::move(node)));
}

TDiscFacts TFakeFlowHost::DiscFacts(int ms) {
    std::optional<TDiscFacts> facts;
    DriveWork->Run<TDiscFacts>([settings = TBurnerSettings::From(Values)](
                                   TBurnerHost& burners) { return ReadDiscFacts(burners, settings, false); },
                               [&](TDiscFacts& read) { facts = read; });
    if (!QTest::qWaitFor([&] { return facts.has_value(); }, ms)) return {};
    return *facts;
}

bool TFakeFlowHost::Confirm(TConfirmationKind kind, const QString& titleKey, const QString& text) {
    return kv::Confirm(Questions, LookupText(titleKey), text, Values.Confirmation(kind), LastBoxState);
}

void TFakeFlowHost::ShowWaitCursor(bool shown) {
    WaitCursors += shown ? 1 : -1;
    if (shown && OnWaitCursor) OnWaitCursor();
}

IProgressView& TFakeFlowHost::OpenProgress(TProgressMode mode) {
    View->Open = true;
    View->Prepare(mode);
    return *View;
}

void TFakeFlowHost::AfterDataBurn(const TAfterFinishChoices& choices) {
    Events.append(QString("after the burn: verify %1, eject %2, shutdown %3")
                      .arg(choices.Verify)
                      .arg(choices.Eject)
                      .arg(choices.Shutdown));
}

void TFakeFlowHost::ApplyPreparation(const TPrepareOutcome& outcome) {
    Events.append("drive: " + outcome.Identity);
    ShowDriveReports(*this, outcome.Reports);
}

::testing::AssertionResult InOrder(const QStringList& events, const QStringList& expected) {
    qsizetype at = 0;
    for (const QString& line : expected) {
        while (at < events.size() && !events[at].contains(line)) ++at;
        if (at == events.size())
            return ::testing::AssertionFailure()
                   << "missing in order: " << line.toStdString() << "\nevents:\n"
                   << events.join('\n').toStdString();
        ++at;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace kv::test
