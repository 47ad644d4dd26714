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

// The value runs to the next double quote that is not doubled (a doubled one stands for
// one), or to the end; returns the position after its closing quote.
qsizetype CommandLine::readQuoted(const QString& argument, qsizetype i, const QString& key) {
    QString value;
    const qsizetype n = argument.size();
    for (; i < n; ++i) {
        if (argument[i] != QLatin1Char('"')) {
            value += argument[i];
        } else if (i + 1 < n && argument[i + 1] == QLatin1Char('"')) {
            value += QLatin1Char('"');
            ++i;
        } else {
            break;
        }
    }
    m_values.insert(key, value);
    return i + 1;
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
            i = readQuoted(argument, i + 1, key);
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
