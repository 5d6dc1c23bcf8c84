#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <string>

namespace kv {

// Linux file names are byte strings, and not every one is UTF-8. The compilation keeps names and
// paths as QString all the same: valid UTF-8 is decoded as usual, and every byte outside valid
// UTF-8 becomes one code unit U+DC80..U+DCFF (a lone low surrogate, which decoded text never
// holds), so that each name and path comes back to exactly its own bytes. Qt's own file functions
// would turn those code units into other bytes: every look at the disk goes through HostBytes.
QString HostText(QByteArrayView bytes);
QByteArray HostBytes(QStringView text);
std::string HostString(QStringView text);

// Something exists at the path (a link that leads nowhere too), looked at by the path's own bytes.
bool HostPathExists(const QString& path);

// The text for people: the stand-ins of bytes that are not UTF-8 shown as U+FFFD.
QString ShownText(QString text);

}  // namespace kv
