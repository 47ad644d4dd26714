#include "server/tracetext.h"

#include "common/urldecode.h"

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

namespace {
// The fields whose values are secrets: the administration key, the set-up code, passwords,
// and the tokens of forms.
bool isSecretField(const QString& name) {
    static const char* const SECRET[] = {"key",    "code",  "password", "newpassword",
                                         "repeat", "token", "formtoken"};
    for (const char* secret : SECRET)
        if (name.compare(QLatin1String(secret), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}
} // namespace

QString HideKeys(const QString& query) {
    static const QString HIDDEN = QStringLiteral("(hidden)");
    QString out;
    out.reserve(query.size());
    qsizetype at = 0;
    while (at <= query.size()) {
        qsizetype end = query.indexOf(QLatin1Char('&'), at);
        if (end < 0)
            end = query.size();
        const QStringView field = QStringView(query).mid(at, end - at);
        const qsizetype equals = field.indexOf(QLatin1Char('='));
        const bool isKey =
            equals >= 0 && isSecretField(common::UrlDecode(field.left(equals).toString()));
        if (isKey) {
            const qsizetype blank = field.indexOf(QLatin1Char(' '), equals);
            out += field.left(equals + 1);
            out += HIDDEN;
            if (blank >= 0)
                out += field.mid(blank);
        } else {
            out += field;
        }
        if (end < query.size())
            out += QLatin1Char('&');
        at = end + 1;
    }
    return out;
}

QString RequestTraceText(const QString& path, const QString& query) {
    const qsizetype question = path.indexOf(QLatin1Char('?'));
    const QString shownPath =
        question < 0 ? path : path.left(question + 1) + HideKeys(path.mid(question + 1));
    return EscapeControlCharacters(shownPath + HideKeys(query));
}

} // namespace server
