#include "dbsvr/commandline.h"

#include <QRegularExpression>

namespace dbsvr {

namespace {
bool isSeparator(QChar c) {
    return c.isSpace() || c == QLatin1Char(',');
}
} // namespace

CommandLine::CommandLine(const QStringList& arguments) {
    for (const QString& argument : arguments)
        parseArgument(argument);
}

void CommandLine::parseArgument(const QString& argument) {
    const qsizetype n = argument.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && isSeparator(argument[i]))
            ++i;
        if (i >= n)
            return;
        const qsizetype keyStart = i;
        while (i < n && argument[i] != QLatin1Char('=') && !isSeparator(argument[i]))
            ++i;
        const QString key = argument.mid(keyStart, i - keyStart).toLower();
        if (i >= n || argument[i] != QLatin1Char('=')) {
            m_values.insert(key, QString());
            continue;
        }
        ++i; // '='
        if (i < n && argument[i] == QLatin1Char('"')) {
            const qsizetype close = argument.indexOf(QLatin1Char('"'), i + 1);
            const qsizetype end = close < 0 ? n : close;
            m_values.insert(key, argument.mid(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        // An unquoted value runs to the end of the argument (one argv element
        // may be a path with spaces) or to a comma that starts the next pair or
        // flag, as in "mode=config, parentmutex=X"; a trailing comma is dropped.
        static const QRegularExpression next(QStringLiteral(",\\s*[A-Za-z]+\\s*(=|$)"));
        const QRegularExpressionMatch match = next.match(argument, i);
        const qsizetype end = match.hasMatch() ? match.capturedStart() : n;
        QString value = argument.mid(i, end - i);
        while (value.endsWith(QLatin1Char(',')))
            value.chop(1);
        m_values.insert(key, value);
        i = end;
    }
}

} // namespace dbsvr
