#include "common/codepage.h"

#include <QHash>
#include <array>

namespace common {

namespace {
// 0x80..0x9F; 0 marks the five bytes Windows-1252 leaves undefined, which map
// to the C1 control of the same value so that every byte survives a round trip.
constexpr std::array<char16_t, 32> HIGH = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

const QHash<char16_t, unsigned char>& reverseHigh() {
    static const QHash<char16_t, unsigned char> table = [] {
        QHash<char16_t, unsigned char> t;
        for (int i = 0; i < 32; ++i)
            t.insert(HIGH[i] ? HIGH[i] : char16_t(0x80 + i), static_cast<unsigned char>(0x80 + i));
        return t;
    }();
    return table;
}
} // namespace

QChar CodePageChar(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0 && HIGH[byte - 0x80])
        return QChar(HIGH[byte - 0x80]);
    return QChar(byte);
}

QString FromCodePage(QByteArrayView bytes) {
    // Every page the web application answers passes through here: one table lookup a byte.
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (int b = 0; b < 256; ++b)
            t[b] = CodePageChar(static_cast<unsigned char>(b)).unicode();
        return t;
    }();
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t* p = reinterpret_cast<char16_t*>(out.data());
    for (char c : bytes)
        *p++ = table[static_cast<unsigned char>(c)];
    return out;
}

QByteArray ToCodePage(const QString& text) {
    QByteArray out(text.size(), Qt::Uninitialized);
    char* p = out.data();
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            *p++ = static_cast<char>(u);
            continue;
        }
        const auto it = reverseHigh().constFind(u);
        *p++ = it == reverseHigh().constEnd() ? '?' : static_cast<char>(*it);
    }
    return out;
}

} // namespace common
