#include "app/MailSender.h"

#include <QDnsLookup>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace kv {
namespace {

constexpr int kStepTimeoutMs = 15000;  // every DNS and SMTP step
constexpr const char* kMailer = "Kelvadore language submission";

QByteArray Base64Lines(const QByteArray& bytes) {
    const QByteArray encoded = bytes.toBase64();
    QByteArray lines;
    for (qsizetype at = 0; at < encoded.size(); at += 76) lines += encoded.mid(at, 76) + "\r\n";
    return lines;
}

// One SMTP reply (multi-line replies included); its code, 0 on a time-out or a broken line.
int ReadReply(QTcpSocket& socket) {
    for (;;) {
        while (!socket.canReadLine())
            if (!socket.waitForReadyRead(kStepTimeoutMs)) return 0;
        const QByteArray line = socket.readLine();
        if (line.size() < 4) return 0;
        if (line[3] == '-') continue;
        return line.left(3).toInt();
    }
}

bool Step(QTcpSocket& socket, const QByteArray& command, int expected) {
    socket.write(command);
    if (!socket.waitForBytesWritten(kStepTimeoutMs) && socket.bytesToWrite() > 0) return false;
    return ReadReply(socket) == expected;
}

}  // namespace

QByteArray BuildMimeMessage(const TMailMessage& message, const QString& recipient, const QString& boundary) {
    const QByteArray b = boundary.toUtf8();
    QByteArray text;
    text += "From: <" + message.From.toUtf8() + ">\r\n";
    text += "To: <" + recipient.toUtf8() + ">\r\n";
    text += "Subject: " + message.Subject.toUtf8() + "\r\n";
    text += "X-Mailer: " + QByteArray(kMailer) + "\r\n";
    text += "X-Priority: 3\r\n";
    text += "MIME-Version: 1.0\r\n";
    text += "Content-Type: multipart/mixed; boundary=\"" + b + "\"\r\n\r\n";
    text += "--" + b + "\r\n";
    text += "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    text += message.Body.toUtf8();
    if (!text.endsWith("\r\n")) text += "\r\n";
    for (const QString& path : message.Attachments) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QByteArray name = QFileInfo(path).fileName().toUtf8();
        text += "--" + b + "\r\n";
        text += "Content-Type: application/octet-stream; name=\"" + name + "\"\r\n";
        text += "Content-Transfer-Encoding: base64\r\n";
        text += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n";
        text += Base64Lines(file.readAll());
    }
    text += "--" + b + "--\r\n";
    return text;
}

QByteArray DotStuffed(const QByteArray& text) {
    QByteArray out;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].startsWith('.')) out += '.';
        out += lines[i];
        if (i + 1 < lines.size()) out += '\n';
    }
    return out;
}

QStringList MailHostsFor(const QString& domain, const QList<QHostAddress>& servers, const TMxQuery& query) {
    for (const QHostAddress& server : servers) {
        const std::optional<QList<TMailExchanger>> answer = query(server, domain);
        if (!answer || answer->isEmpty()) continue;
        QList<TMailExchanger> sorted = *answer;
        // A backup exchanger is for when the preferred one fails: the lowest preference goes first.
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const TMailExchanger& a, const TMailExchanger& b) { return a.Preference < b.Preference; });
        QStringList hosts;
        for (const TMailExchanger& exchanger : sorted)
            if (!exchanger.Host.trimmed().isEmpty()) hosts.append(exchanger.Host.trimmed());
        return hosts;
    }
    return {};
}

QList<QHostAddress> SystemNameServers(const QString& resolvConf) {
    QList<QHostAddress> servers;
    QFile file(resolvConf);
    if (!file.open(QIODevice::ReadOnly)) return servers;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QList<QByteArray> words = raw.simplified().split(' ');
        if (words.size() >= 2 && words[0] == "nameserver") {
            const QHostAddress address(QString::fromLatin1(words[1]));
            if (!address.isNull()) servers.append(address);
        }
    }
    return servers;
}

std::optional<QList<TMailExchanger>> LookUpMailExchangers(const QHostAddress& server, const QString& domain,
                                                          int timeoutMs) {
    QDnsLookup lookup(QDnsLookup::MX, domain, server);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&lookup, &QDnsLookup::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    lookup.lookup();
    loop.exec();
    if (!lookup.isFinished()) {
        lookup.abort();
        return std::nullopt;
    }
    if (lookup.error() != QDnsLookup::NoError && lookup.error() != QDnsLookup::NotFoundError) return std::nullopt;
    QList<TMailExchanger> exchangers;
    for (const QDnsMailExchangeRecord& record : lookup.mailExchangeRecords())
        exchangers.append({record.preference(), record.exchange()});
    return exchangers;
}

TSendEmailThread::TSendEmailThread(TMailMessage message, QList<QHostAddress> servers, TMxQuery query, quint16 port)
    : Message(std::move(message)), Servers(std::move(servers)), Query(std::move(query)), Port(port) {}

void TSendEmailThread::run() {
    for (const QString& recipient : Message.Recipients) {
        const qsizetype at = recipient.lastIndexOf('@');
        if (at < 0) continue;
        for (const QString& host : MailHostsFor(recipient.mid(at + 1), Servers, Query)) {
            if (SendTo(host, recipient)) {
                DeliveredTo.append(recipient);
                break;
            }
        }
    }
}

bool TSendEmailThread::SendTo(const QString& host, const QString& recipient) {
    QTcpSocket socket;
    socket.connectToHost(host, Port);
    if (!socket.waitForConnected(kStepTimeoutMs) || ReadReply(socket) != 220) return false;
    const QByteArray body = DotStuffed(BuildMimeMessage(Message, recipient, "=_kelvadore_part_boundary"));
    const bool sent = Step(socket, "HELO kelvadore\r\n", 250) &&
                      Step(socket, "MAIL FROM:<" + Message.From.toUtf8() + ">\r\n", 250) &&
                      Step(socket, "RCPT TO:<" + recipient.toUtf8() + ">\r\n", 250) && Step(socket, "DATA\r\n", 354) &&
                      Step(socket, body + ".\r\n", 250);
    if (socket.state() == QAbstractSocket::ConnectedState) {
        socket.write("QUIT\r\n");
        socket.waitForBytesWritten(1000);
        socket.disconnectFromHost();
    }
    return sent;
}

}  // namespace kv
