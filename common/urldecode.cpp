#include "common/urldecode.h"

#include "common/codepage.h"

#include <algorithm>
#include <vector>

namespace common {

namespace {
int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}
} // namespace

QString UrlDecode(const QString& text) {
    if (!text.contains(QLatin1Char('%')) && !text.contains(QLatin1Char('+')))
        return text;

    // The already scanned tail of the text, last character first, so that the
    // two characters following a "%" sit at the back.
    std::vector<QChar> tail;
    tail.reserve(text.size());
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('+')) {
            tail.push_back(QLatin1Char(' '));
            continue;
        }
        if (c != QLatin1Char('%')) {
            tail.push_back(c);
            continue;
        }
        int value = 0;
        bool inDigits = true;
        for (int k = 0; k < 2 && !tail.empty(); ++k) {
            const int digit = hexValue(tail.back());
            tail.pop_back();
            if (inDigits && digit >= 0)
                value = value * 16 + digit;
            else
                inDigits = false;
        }
        tail.push_back(common::CodePageChar(static_cast<unsigned char>(value)));
    }
    std::reverse(tail.begin(), tail.end());
    return QString(tail.data(), static_cast<qsizetype>(tail.size()));
}

} // namespace common
