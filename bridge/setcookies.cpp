#include "bridge/setcookies.h"

#include "diagnostics/trace.h"

#include <algorithm>

namespace bridge {

namespace {
const QByteArray SET_COOKIE = QByteArrayLiteral("Set-Cookie");
const QByteArray CACHE_CONTROL = QByteArrayLiteral("Cache-Control");
const QByteArray NO_STORE = QByteArrayLiteral("no-store");
const QByteArray CONNECTION = QByteArrayLiteral("Connection");

bool sendable(QStringView line) {
    return std::all_of(line.begin(), line.end(),
                       [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; });
}

void warn(const QString& text) {
    diagnostics::WriteTrace(text, diagnostics::Severity::Warning);
}

// The cookie lines fit to send, as header values.
QList<QByteArray> cookieLines(const QString& lines) {
    QList<QByteArray> cookies;
    for (const QStringView line : QStringView(lines).split(QLatin1Char('\n'))) {
        if (line.trimmed().isEmpty())
            continue;
        if (sendable(line))
            cookies.append(line.toLatin1());
        else
            warn(QStringLiteral("A cookie the web application set holds a control character or "
                                "a character beyond ASCII: not sent"));
    }
    return cookies;
}

qsizetype indexOf(const common::Response& answer, const QByteArray& name) {
    const auto& headers = answer.headers;
    const auto found = std::find_if(headers.begin(), headers.end(), [&name](const auto& line) {
        return line.first.compare(name, Qt::CaseInsensitive) == 0;
    });
    return found == headers.end() ? -1 : found - headers.begin();
}
} // namespace

void AddCookies(common::Response& answer, const QString& lines) {
    const QList<QByteArray> cookies = cookieLines(lines);
    if (cookies.isEmpty())
        return;
    if (answer.form == common::Response::Form::Verbatim) {
        warn(QStringLiteral("The web application wrote its whole answer: the %1 cookies it set "
                            "are not sent")
                 .arg(cookies.size()));
        return;
    }
    QList<QPair<QByteArray, QByteArray>> added;
    for (const QByteArray& cookie : cookies)
        added.append({SET_COOKIE, cookie});
    if (const qsizetype cache = indexOf(answer, CACHE_CONTROL); cache >= 0)
        answer.headers[cache].second = NO_STORE;
    else
        added.append({CACHE_CONTROL, NO_STORE});
    const qsizetype connection = indexOf(answer, CONNECTION);
    const qsizetype at = connection < 0 ? answer.headers.size() : connection;
    for (qsizetype i = 0; i < added.size(); ++i)
        answer.headers.insert(at + i, added[i]);
}

} // namespace bridge
