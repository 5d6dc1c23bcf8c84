#pragma once
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>
#include <optional>

namespace kv {

struct TMailMessage {
    QString From;
    QStringList Recipients;
    QString Subject;
    QString Body;                // plain text, CRLF line breaks
    QStringList Attachments;     // files; those missing when the message is sent are left out
};

// The message as it goes over the wire to one recipient: a date and a message id, multipart/mixed,
// the body as plain text (8-bit, or base64 for a server that takes no 8-bit text), each attachment
// in base64; CRLF line ends; no dot-stuffing yet.
QByteArray BuildMimeMessage(const TMailMessage& message, const QString& recipient, const QString& boundary,
                            bool eightBitBody = true);

// Lines starting with "." get another "." (the SMTP DATA transparency rule).
QByteArray DotStuffed(const QByteArray& text);

struct TMailExchanger {
    quint16 Preference = 0;
    QString Host;
};
// One name server's answer for a domain's MX records; nothing when it did not answer in time.
using TMxQuery = std::function<std::optional<QList<TMailExchanger>>(const QHostAddress& server, const QString& domain)>;

// The hosts to try for a domain: the first name server whose answer holds MX records decides
// (servers that do not answer or answer without MX are passed over), in preference order, lowest
// first; exchangers with empty names are left out.
QStringList MailHostsFor(const QString& domain, const QList<QHostAddress>& servers, const TMxQuery& query);

// The name servers of /etc/resolv.conf (or the file given), in their order.
QList<QHostAddress> SystemNameServers(const QString& resolvConf = "/etc/resolv.conf");
// MX records through QDnsLookup from one server, waiting at most `timeoutMs`.
std::optional<QList<TMailExchanger>> LookUpMailExchangers(const QHostAddress& server, const QString& domain,
                                                          int timeoutMs);

// Delivers one message straight to each recipient's mail exchanger, one recipient after another,
// on a thread of its own with its own event loop. Failures skip the recipient silently; the thread
// touches nothing of the caller's. Asked to stop (requestInterruption), it stops within a tenth of
// a second, wherever it waits.
class TSendEmailThread : public QThread {
public:
    TSendEmailThread(TMailMessage message, QList<QHostAddress> servers, TMxQuery query, quint16 port = 25);
    // Recipients the message reached (valid once finished).
    QStringList Delivered() const { return DeliveredTo; }

protected:
    void run() override;

private:
    bool SendTo(const QString& host, const QString& recipient);

    TMailMessage Message;
    QList<QHostAddress> Servers;
    TMxQuery Query;
    quint16 Port;
    QStringList DeliveredTo;
};

}  // namespace kv
