#include "app/HostText.h"

#include <sys/stat.h>

namespace kv {
namespace {

constexpr char16_t kFirstStandIn = 0xDC80;
constexpr char16_t kLastStandIn = 0xDCFF;
constexpr char16_t kStandInBase = 0xDC00;

bool IsAscii(QByteArrayView bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

bool IsAscii(QStringView text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x80) return false;
    return true;
}

// The code point of the valid UTF-8 sequence at `at` and its length; 0 for none.
int DecodeSequence(QByteArrayView bytes, qsizetype at, char32_t& point) {
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    int length = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, point = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, point = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, point = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size()) return 0;
    for (int k = 1; k < length; ++k) {
        const unsigned char next = byte(at + k);
        if ((next & 0xC0) != 0x80) return 0;
        point = (point << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and points past Unicode are not valid UTF-8.
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
    return length;
}

void AppendUtf8(QByteArray& out, char32_t point) {
    if (point < 0x80) {
        out.append(static_cast<char>(point));
    } else if (point < 0x800) {
        out.append(static_cast<char>(0xC0 | (point >> 6)));
        out.append(static_cast<char>(0x80 | (point & 0x3F)));
    } else if (point < 0x10000) {
        out.append(static_cast<char>(0xE0 | (point >> 12)));
        out.append(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (point & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | (point >> 18)));
        out.append(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
        out.append(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (point & 0x3F)));
    }
}

}  // namespace

QString HostText(QByteArrayView bytes) {
    if (IsAscii(bytes)) return QString::fromLatin1(bytes);
    QString text;
    text.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        if (lead < 0x80) {
            text.append(QChar(lead));
            ++at;
            continue;
        }
        char32_t point = 0;
        if (const int length = DecodeSequence(bytes, at, point)) {
            text.append(QChar::fromUcs4(point));
            at += length;
        } else {
            text.append(QChar(static_cast<char16_t>(kStandInBase + lead)));
            ++at;
        }
    }
    return text;
}

QByteArray HostBytes(QStringView text) {
    if (IsAscii(text)) return text.toLatin1();
    QByteArray out;
    out.reserve(text.size() * 3);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            AppendUtf8(out, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
            ++i;
        } else if (unit >= kFirstStandIn && unit <= kLastStandIn) {
            out.append(static_cast<char>(unit - kStandInBase));
        } else if (QChar::isSurrogate(unit)) {
            AppendUtf8(out, QChar::ReplacementCharacter);  // half a pair from elsewhere: no byte of ours
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::string HostString(QStringView text) {
    return HostBytes(text).toStdString();
}

bool HostPathExists(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::lstat(HostBytes(path).constData(), &st) == 0;
}

QString ShownText(QString text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (QChar::isSurrogate(unit))
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

}  // namespace kv
