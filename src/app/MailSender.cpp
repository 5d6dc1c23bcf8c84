#include "app/MailSender.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDnsLookup>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace kv {
namespace {

constexpr int kStepTimeoutMs = 15000;  // every DNS and SMTP step
// Waits are cut into slices this long, so that a thread asked to stop (the program is closing)
// stops within one.
constexpr int kSliceMs = 100;
constexpr const char* kMailer = "Kelvadore language submission";

bool StopAsked() { return QThread::currentThread()->isInterruptionRequested(); }

// `wait` (a socket's wait with a time-out in milliseconds) slice by slice until it succeeds, the
// step's time runs out, the socket drops or the thread is asked to stop.
template <typename TWait>
bool WaitStep(QTcpSocket& socket, TWait wait) {
    const QDeadlineTimer deadline(kStepTimeoutMs);
    while (!deadline.hasExpired() && !StopAsked()) {
        if (wait(kSliceMs)) return true;
        if (socket.state() == QAbstractSocket::UnconnectedState) return false;
    }
    return false;
}

QByteArray Base64Lines(const QByteArray& bytes) {
    const QByteArray encoded = bytes.toBase64();
    QByteArray lines;
    for (qsizetype at = 0; at < encoded.size(); at += 76) lines += encoded.mid(at, 76) + "\r\n";
    return lines;
}

// One SMTP reply (multi-line replies included, their texts in `lines`); its code, 0 on a time-out
// or a broken line.
int ReadReply(QTcpSocket& socket, QList<QByteArray>* lines = nullptr) {
    for (;;) {
        if (!socket.canReadLine() &&
            !WaitStep(socket, [&](int ms) { return socket.waitForReadyRead(ms) && socket.canReadLine(); }) &&
            !socket.canReadLine())
            return 0;
        const QByteArray line = socket.readLine();
        if (line.size() < 4) return 0;
        if (lines) lines->append(line.mid(4).trimmed());
        if (line[3] == '-') continue;
        return line.left(3).toInt();
    }
}

int Command(QTcpSocket& socket, const QByteArray& command, QList<QByteArray>* lines = nullptr) {
    socket.write(command);
    if (!WaitStep(socket, [&](int ms) { return socket.waitForBytesWritten(ms) || socket.bytesToWrite() == 0; }))
        return 0;
    return ReadReply(socket, lines);
}

bool Step(QTcpSocket& socket, const QByteArray& command, int expected) { return Command(socket, command) == expected; }

QByteArray DomainOf(const QString& address) {
    const qsizetype at = address.lastIndexOf('@');
    const QString domain = at < 0 ? QString() : address.mid(at + 1).trimmed();
    return domain.isEmpty() ? QByteArray("kelvadore.invalid") : domain.toUtf8();
}

}  // namespace

QByteArray BuildMimeMessage(const TMailMessage& message, const QString& recipient, const QString& boundary,
                            bool eightBitBody) {
    const QByteArray b = boundary.toUtf8();
    QByteArray text;
    text += "Date: " + QDateTime::currentDateTime().toString(Qt::RFC2822Date).toUtf8() + "\r\n";
    text += "Message-ID: <" + QByteArray::number(QRandomGenerator::system()->generate64(), 16) + "." +
            QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + "@" + DomainOf(message.From) + ">\r\n";
    text += "From: <" + message.From.toUtf8() + ">\r\n";
    text += "To: <" + recipient.toUtf8() + ">\r\n";
    text += "Subject: " + message.Subject.toUtf8() + "\r\n";
    text += "X-Mailer: " + QByteArray(kMailer) + "\r\n";
    text += "X-Priority: 3\r\n";
    text += "MIME-Version: 1.0\r\n";
    text += "Content-Type: multipart/mixed; boundary=\"" + b + "\"\r\n\r\n";
    text += "--" + b + "\r\n";
    if (eightBitBody) {
        text += "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
        text += message.Body.toUtf8();
        if (!text.endsWith("\r\n")) text += "\r\n";
    } else {
        text += "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n";
        text += Base64Lines(message.Body.toUtf8());
    }
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
    // A thread asked to stop does not wait for the name server.
    QTimer stop;
    QObject::connect(&stop, &QTimer::timeout, &loop, [&loop] {
        if (StopAsked()) loop.quit();
    });
    stop.start(kSliceMs);
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
        if (StopAsked()) return;
        const qsizetype at = recipient.lastIndexOf('@');
        if (at < 0) continue;
        for (const QString& host : MailHostsFor(recipient.mid(at + 1), Servers, Query)) {
            if (StopAsked()) return;
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
    if (!WaitStep(socket, [&](int ms) { return socket.waitForConnected(ms); }) || ReadReply(socket) != 220) return false;
    // The extensions the server offers decide how the text goes: as it is where 8BITMIME is offered
    // (RFC 6152), in base64 elsewhere. A server that knows no EHLO gets HELO and base64.
    QList<QByteArray> extensions;
    if (Command(socket, "EHLO kelvadore\r\n", &extensions) != 250) {
        extensions.clear();
        if (!Step(socket, "HELO kelvadore\r\n", 250)) return false;
    }
    const bool eightBit = std::any_of(extensions.begin(), extensions.end(), [](const QByteArray& extension) {
        return extension.toUpper() == "8BITMIME";
    });
    const QByteArray body = DotStuffed(BuildMimeMessage(Message, recipient, "=_kelvadore_part_boundary", eightBit));
    const bool sent = Step(socket, "MAIL FROM:<" + Message.From.toUtf8() + ">" +
                                       QByteArray(eightBit ? " BODY=8BITMIME" : "") + "\r\n",
                           250) &&
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
