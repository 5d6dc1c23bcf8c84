#pragma once
#include <QByteArray>
#include <QString>

namespace kv {

// Language files written on older systems are in the 8-bit ANSI code page of their language;
// current ones are UTF-8.
enum class TCodePage {
    Utf8,
    Windows1250,  // Central European
    Windows1251,  // Cyrillic
    Windows1252,  // Western European
    Windows1253,  // Greek
    Windows1254,  // Turkish
    Windows1255,  // Hebrew
    Windows1256,  // Arabic
    Windows1257,  // Baltic
    Windows1258,  // Vietnamese
    Windows874,   // Thai
};

const char16_t* CodePageHighHalf(TCodePage page);  // 128 code points for bytes 0x80-0xFF

bool IsValidUtf8(const QByteArray& bytes);

// The code page a language's files were written in when they are not UTF-8; Western European for
// a language not in the table.
TCodePage LegacyCodePageForLanguage(const QString& languageName);

QString DecodeText(const QByteArray& bytes, TCodePage page);
// Characters the code page cannot hold become "?".
QByteArray EncodeText(const QString& text, TCodePage page);

}  // namespace kv
