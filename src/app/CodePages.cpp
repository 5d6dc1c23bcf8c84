#include "app/CodePages.h"

#include <QHash>
#include <QStringDecoder>

namespace kv {

bool IsValidUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    [[maybe_unused]] const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

TCodePage LegacyCodePageForLanguage(const QString& languageName) {
    static const QHash<QString, TCodePage> kLanguages = {
        {"POLISH", TCodePage::Windows1250},     {"CZECH", TCodePage::Windows1250},
        {"SLOVAK", TCodePage::Windows1250},     {"HUNGARIAN", TCodePage::Windows1250},
        {"ROMANIAN", TCodePage::Windows1250},   {"CROATIAN", TCodePage::Windows1250},
        {"SLOVENIAN", TCodePage::Windows1250},  {"SLOVENE", TCodePage::Windows1250},
        {"BOSNIAN", TCodePage::Windows1250},    {"ALBANIAN", TCodePage::Windows1250},
        {"SERBIAN_LATIN", TCodePage::Windows1250},
        {"RUSSIAN", TCodePage::Windows1251},    {"UKRAINIAN", TCodePage::Windows1251},
        {"BULGARIAN", TCodePage::Windows1251},  {"SERBIAN", TCodePage::Windows1251},
        {"BELARUSIAN", TCodePage::Windows1251}, {"MACEDONIAN", TCodePage::Windows1251},
        {"GREEK", TCodePage::Windows1253},      {"TURKISH", TCodePage::Windows1254},
        {"AZERI", TCodePage::Windows1254},      {"HEBREW", TCodePage::Windows1255},
        {"ARABIC", TCodePage::Windows1256},     {"FARSI", TCodePage::Windows1256},
        {"PERSIAN", TCodePage::Windows1256},    {"URDU", TCodePage::Windows1256},
        {"LITHUANIAN", TCodePage::Windows1257}, {"LATVIAN", TCodePage::Windows1257},
        {"ESTONIAN", TCodePage::Windows1257},   {"VIETNAMESE", TCodePage::Windows1258},
        {"THAI", TCodePage::Windows874},
    };
    return kLanguages.value(languageName.toUpper(), TCodePage::Windows1252);
}

QString DecodeText(const QByteArray& bytes, TCodePage page) {
    if (page == TCodePage::Utf8) return QString::fromUtf8(bytes);
    const char16_t* high = CodePageHighHalf(page);
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text.append(QChar(byte < 0x80 ? char16_t(byte) : high[byte - 0x80]));
    }
    return text;
}

QByteArray EncodeText(const QString& text, TCodePage page) {
    if (page == TCodePage::Utf8) return text.toUtf8();
    const char16_t* high = CodePageHighHalf(page);
    QHash<char16_t, char> reverse;
    for (int i = 0; i < 128; ++i) reverse.insert(high[i], static_cast<char>(0x80 + i));
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar ch : text) {
        const char16_t unit = ch.unicode();
        if (unit < 0x80)
            bytes.append(static_cast<char>(unit));
        else
            bytes.append(reverse.value(unit, '?'));
    }
    return bytes;
}

}  // namespace kv
