#include "dbsvr/namedparameters.h"

namespace dbsvr {

namespace {

bool isNameStart(QChar c) {
    return c.isLetter() || c == QLatin1Char('_');
}

bool isNamePart(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// The index just after a literal or quoted name that opens at `at` with
// quote; a doubled quote stays inside, and so does a backslashed one in an
// E'...' literal.
qsizetype skipQuoted(const QString& sql, qsizetype at, QChar quote, bool backslashes) {
    for (qsizetype i = at + 1; i < sql.size(); ++i) {
        if (backslashes && sql[i] == QLatin1Char('\\')) {
            ++i;
        } else if (sql[i] == quote) {
            if (i + 1 < sql.size() && sql[i + 1] == quote)
                ++i;
            else
                return i + 1;
        }
    }
    return sql.size();
}

// After a comment that opens at `at` ("--" to the end of the line, or
// "/*" to its "*/", which may nest).
qsizetype skipComment(const QString& sql, qsizetype at) {
    if (sql[at] == QLatin1Char('-')) {
        const qsizetype end = sql.indexOf(QLatin1Char('\n'), at);
        return end < 0 ? sql.size() : end + 1;
    }
    int depth = 0;
    for (qsizetype i = at; i + 1 < sql.size(); ++i) {
        if (sql[i] == QLatin1Char('/') && sql[i + 1] == QLatin1Char('*')) {
            ++depth;
            ++i;
        } else if (sql[i] == QLatin1Char('*') && sql[i + 1] == QLatin1Char('/')) {
            ++i;
            if (--depth == 0)
                return i + 1;
        }
    }
    return sql.size();
}

// The dollar-quote tag ("$body$", "$$") that opens at `at`, or "".
QString dollarTag(const QString& sql, qsizetype at) {
    qsizetype i = at + 1;
    if (i < sql.size() && isNameStart(sql[i]))
        while (i < sql.size() && isNamePart(sql[i]))
            ++i;
    if (i < sql.size() && sql[i] == QLatin1Char('$'))
        return sql.mid(at, i - at + 1);
    return {};
}

bool opensComment(const QString& sql, qsizetype i) {
    if (i + 1 >= sql.size())
        return false;
    return (sql[i] == QLatin1Char('-') && sql[i + 1] == QLatin1Char('-')) ||
           (sql[i] == QLatin1Char('/') && sql[i + 1] == QLatin1Char('*'));
}

} // namespace

PositionalSql ToPositionalParameters(const QString& sql) {
    PositionalSql out;
    qsizetype copied = 0;
    qsizetype i = 0;
    while (i < sql.size()) {
        const QChar c = sql[i];
        if (c == QLatin1Char('\'')) {
            const bool escapes =
                i > 0 && (sql[i - 1] == QLatin1Char('E') || sql[i - 1] == QLatin1Char('e')) &&
                (i < 2 || !isNamePart(sql[i - 2]));
            i = skipQuoted(sql, i, c, escapes);
        } else if (c == QLatin1Char('"')) {
            i = skipQuoted(sql, i, c, false);
        } else if (opensComment(sql, i)) {
            i = skipComment(sql, i);
        } else if (c == QLatin1Char('$') && !(i > 0 && isNamePart(sql[i - 1])) &&
                   !dollarTag(sql, i).isEmpty()) {
            const QString tag = dollarTag(sql, i);
            const qsizetype end = sql.indexOf(tag, i + tag.size());
            i = end < 0 ? sql.size() : end + tag.size();
        } else if (c == QLatin1Char(':') && i + 1 < sql.size() && sql[i + 1] == QLatin1Char(':')) {
            i += 2;
        } else if (c == QLatin1Char(':') && i + 1 < sql.size() && isNameStart(sql[i + 1])) {
            qsizetype end = i + 1;
            while (end < sql.size() && isNamePart(sql[end]))
                ++end;
            const QString name = sql.mid(i, end - i);
            qsizetype number = out.names.indexOf(name);
            if (number < 0) {
                out.names << name;
                number = out.names.size() - 1;
            }
            out.sql += sql.mid(copied, i - copied) + QLatin1Char('$') + QString::number(number + 1);
            copied = i = end;
        } else {
            ++i;
        }
    }
    out.sql += sql.mid(copied);
    return out;
}

} // namespace dbsvr
