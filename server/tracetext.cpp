#include "server/tracetext.h"

namespace server {

namespace {
bool needsEscape(char16_t u) {
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029;
}

QString escaped(char16_t u) {
    switch (u) {
    case '\r':
        return QStringLiteral("\\r");
    case '\n':
        return QStringLiteral("\\n");
    case '\t':
        return QStringLiteral("\\t");
    default:
        break;
    }
    if (u < 0x100)
        return QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
    return QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
}
} // namespace

QString EscapeControlCharacters(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && !needsEscape(text.at(i).unicode()))
        ++i;
    if (i == text.size())
        return text;
    QString out = text.left(i);
    for (; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (needsEscape(u))
            out += escaped(u);
        else
            out += QChar(u);
    }
    return out;
}

QString HideKeys(const QString& query) {
    static const QLatin1String KEY("key=");
    QString out = query;
    for (qsizetype at = out.indexOf(KEY); at >= 0; at = out.indexOf(KEY, at + 1)) {
        if (at > 0 && out.at(at - 1) != QLatin1Char('&'))
            continue;
        const qsizetype start = at + KEY.size();
        const qsizetype end = out.indexOf(QLatin1Char('&'), start);
        out.replace(start, (end < 0 ? out.size() : end) - start, QStringLiteral("(hidden)"));
    }
    return out;
}

} // namespace server
