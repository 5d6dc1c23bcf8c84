#include "app/LogDocument.h"

#include "app/MessageCatalogue.h"

#include <QFile>

#include <exception>
#include <iostream>
#include <QRegularExpression>

namespace kv {
namespace {

constexpr const char* kHelpScheme = "kvdhelp:";
constexpr const char* kLinkPrefix = "kvdlink://";
const QStringList kHelpKeywords = {"externalaspinotfound", "unabletorecognizecdburner", "wmadllnotfound"};

}  // namespace

void TLogDocument::Start() {
    LogBuffering = true;
    LogBuffer.clear();
    AddLogHtml(kHeader, true, false);
}

void TLogDocument::AddLog(const QString& text, bool noBreak, bool withTime) {
    AddLogHtml(text.toHtmlEscaped(), noBreak, withTime);
}

void TLogDocument::AddErrorLog(const QString& text) {
    if (text.trimmed().isEmpty()) return;
    AddLogHtml("<font color=\"#c00000\">" + text.toHtmlEscaped() + "</font>", false, true);
}

void TLogDocument::AddLogHtml(const QString& html, bool noBreak, bool withTime) {
    if (html.trimmed().isEmpty()) return;
    QString line = withTime ? Now().toString("hh:mm:ss") + " - " + html : html;
    if (!noBreak) line += "<br>";
    Append(line);
    if (ForwardToProgress) ForwardToProgress(html, noBreak, withTime);
}

void TLogDocument::Append(const QString& line) {
    const QString plain = LogHtmlToPlainText(line).trimmed();
    if (Mirrored && !plain.isEmpty()) MirrorLogLine(plain);
    if (LogBuffering) {
        LogBuffer += line;
        return;
    }
    Written += line;
    if (WriteHtml) WriteHtml(line);
}

void TLogDocument::AddHelpLink(const QString& searchText, int /*kind*/) {
    const QString keyword = searchText.trimmed();
    if (!IsHelpKeyword(keyword)) return;
    AddLogHtml(QString("<a href=\"") + kHelpScheme + keyword + "\"><strong>" + LookupText("11.67").toHtmlEscaped() +
                   "</strong></a> " + LookupText("11.68").toHtmlEscaped() + "<br>",
               true, false);
}

void TLogDocument::EndBuffering() {
    if (!LogBuffering) return;
    LogBuffering = false;
    const QString buffered = std::exchange(LogBuffer, QString());
    Written += buffered;
    if (WriteHtml) WriteHtml(buffered);
}

bool TLogDocument::IsHelpKeyword(const QString& keyword) { return kHelpKeywords.contains(keyword); }

QString LogHtmlToPlainText(const QString& html) {
    static const QRegularExpression lineBreak("<br\\s*/?>", QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tag("<[^>]*>");
    QString text = html;
    text.replace(lineBreak, "\n");
    text.remove(tag);
    text.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&#39;", "'");
    return text.replace("&amp;", "&");
}

std::optional<QUrl> ExternalLinkTarget(const QString& link) {
    QString target = link.trimmed();
    if (target.startsWith(kLinkPrefix, Qt::CaseInsensitive)) target = target.mid(QString(kLinkPrefix).size());
    if (!target.contains("://") && QUrl(target).scheme().isEmpty()) target.prepend("http://");
    const QUrl url(target, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != "http" && scheme != "https") return std::nullopt;
    return url;
}

QString LinkOfAnchor(const QUrl& url) {
    if (url.scheme().compare("kvdlink", Qt::CaseInsensitive) != 0) return url.toString(QUrl::FullyEncoded);
    QString inner = url.host() + ":" + url.path(QUrl::FullyEncoded);
    if (url.hasQuery()) inner += "?" + url.query(QUrl::FullyEncoded);
    if (url.hasFragment()) inner += "#" + url.fragment(QUrl::FullyEncoded);
    return kLinkPrefix + inner;
}

std::optional<QString> HelpPageOfLink(const QString& link) {
    if (!link.startsWith(kHelpScheme)) return std::nullopt;
    const QString keyword = link.mid(QString(kHelpScheme).size());
    if (!TLogDocument::IsHelpKeyword(keyword)) return std::nullopt;
    return keyword;
}

void MirrorLogLine(const QString& plainText) {
    const QString path = qEnvironmentVariable("KELVADORE_LOG_FILE");
    if (path.isEmpty()) return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    file.write(plainText.toUtf8() + '\n');
}

}  // namespace kv

namespace kv {

QString ReportCurrentException(const QString& where) {
    QString what = "unknown exception";
    try {
        throw;
    } catch (const std::exception& e) {
        what = QString::fromLocal8Bit(e.what());
    } catch (...) {
    }
    const QString line = "exception dropped in " + where + ": " + what;
    std::cerr << "kelvadore: " << line.toStdString() << std::endl;
    MirrorLogLine(line);
    return what;
}

}  // namespace kv
