#pragma once
#include <QString>
#include <QTime>
#include <QUrl>

#include <functional>
#include <optional>

namespace kv {

// The log panel's document. Its raw HTML is the source of truth (the restart hand-over saves and
// restores it); the view only renders what is appended. Everything that reaches it through AddLog
// is text and is HTML-escaped (file names, identities, engine texts, placeholder values); only the
// program's own markup (the header, help links, error colour, a restored snapshot) is markup.
class TLogDocument {
public:
    static constexpr const char* kHeader = "<body topmargin=\"2\" leftmargin=\"2\"><font size=\"2\">";
    // The font the header opens and never closes: every later line of the log is inside it.
    static constexpr const char* kLineFont = "<font size=\"2\">";

    // The view's append; lines only reach it once buffering has ended.
    std::function<void(const QString& html)> WriteHtml;
    // The progress window's own log, when one exists: the escaped text, NoBreak and WithTime.
    std::function<void(const QString& html, bool noBreak, bool withTime)> ForwardToProgress;
    std::function<QTime()> Now = [] { return QTime::currentTime(); };
    // Lines go to the mirror file (KELVADORE_LOG_FILE) once: not from the progress window's copy
    // of the main log, nor when an earlier instance's log is restored.
    bool Mirrored = true;

    // Window creation: buffering on, an empty buffer, then the header.
    void Start();
    void AddLog(const QString& text, bool noBreak = false, bool withTime = true);
    // A line in the colour of errors.
    void AddErrorLog(const QString& text);
    // The program's own markup, written as it is.
    void AddLogHtml(const QString& html, bool noBreak, bool withTime);
    // A link to the help page shipped for one of the fixed keywords ("externalaspinotfound",
    // "unabletorecognizecdburner", "wmadllnotfound"). Other texts (burner errors) get no link:
    // there is no online error search.
    void AddHelpLink(const QString& searchText, int kind);
    // The first show: writes what was buffered and ends buffering for good.
    void EndBuffering();

    bool Buffering() const { return LogBuffering; }
    // Everything logged so far, header included, buffered or written.
    QString Html() const { return Written + LogBuffer; }

    static bool IsHelpKeyword(const QString& keyword);

private:
    void Append(const QString& line);
    bool LogBuffering = true;
    QString LogBuffer;
    QString Written;
};

// The plain text of a log fragment: line breaks for <br>, no tags, entities resolved.
QString LogHtmlToPlainText(const QString& html);

// Where a click on a link of the log goes outside the program: "kvdlink://" + URL is URL, a bare
// address gets "http://". Only http and https leave the program; anything else opens nothing.
std::optional<QUrl> ExternalLinkTarget(const QString& link);
// The link text of a clicked anchor. QUrl reads "kvdlink://http://host/path" as the host "http"
// with an empty port; the text is put back together so that the rule above sees the link.
QString LinkOfAnchor(const QUrl& url);
// The shipped help page a "kvdhelp:" link names, when it is one of the fixed keywords.
std::optional<QString> HelpPageOfLink(const QString& link);

// With KELVADORE_LOG_FILE set, every log line is also appended there as plain text (process-level
// tests read it). Without it nothing happens.
void MirrorLogLine(const QString& plainText);

// An exception that escaped a handler is dropped without a dialog and without a line in the log
// panel; it leaves one line on stderr and in the log mirror. Call from inside a catch block. Returns
// the exception's text.
QString ReportCurrentException(const QString& where);

}  // namespace kv
