#include "dbsvr/readsource.h"

#include "dbsvr/labelsql.h"
#include "dbsvr/requesterror.h"

#include <QRegularExpression>

namespace dbsvr {

QStringList SearchWords(const QString& search) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList words = search.split(blanks, Qt::SkipEmptyParts);
    if (words.size() > MAX_SEARCH_WORDS)
        Fail(ERROR_INVALID_ARGUMENT,
             QStringLiteral("A search has at most %1 words.").arg(MAX_SEARCH_WORDS));
    return words;
}

bool IndexCanFind(const QStringList& words) {
    return !words.isEmpty() && std::all_of(words.begin(), words.end(), [](const QString& word) {
        return std::any_of(word.begin(), word.end(), [](QChar c) { return c.isLetterOrNumber(); });
    });
}

QString Fts5Query(const QStringList& words) {
    if (!IndexCanFind(words))
        return {};
    QStringList phrases;
    for (QString word : words) {
        word.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        phrases << QLatin1Char('"') + word + QStringLiteral("\"*");
    }
    return phrases.join(QLatin1Char(' '));
}

namespace {

// Every word in one of the text columns at least; a table without text columns has no row
// that holds a word. Each word is bound once, after the values already there.
QString scanCondition(const QStringList& words, const QList<ColumnDescription>& columns,
                      const SqlDialect& dialect, QList<BoundValue>& values) {
    QStringList searched;
    for (const ColumnDescription& c : columns) {
        const ColumnKind kind = dialect.kind(c);
        if (kind == ColumnKind::Text || kind == ColumnKind::Untyped)
            searched << QuoteIdentifier(c.name);
    }
    if (searched.isEmpty())
        return QStringLiteral("1 = 0");
    QStringList all;
    for (const QString& word : words) {
        const QString placeholder = dialect.placeholder(int(values.size()) + 1);
        values << BoundValue(word);
        QStringList any;
        for (const QString& column : searched)
            any << dialect.contains(column, placeholder);
        all << QLatin1Char('(') + any.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    }
    return all.join(QStringLiteral(" AND "));
}

QString joined(const QString& where, const QString& condition) {
    return where.isEmpty() ? QStringLiteral(" WHERE ") + condition
                           : where + QStringLiteral(" AND ") + condition;
}

} // namespace

ReadSource BuildSource(const TableRead& read, const QList<ColumnDescription>& columns,
                       const SqlDialect& dialect, const std::optional<IndexSearch>& index,
                       bool byRowid) {
    const WhereClause where = BuildWhere(read.table, read.filters, columns, dialect);
    const QString table = QuoteIdentifier(read.table);
    // The rows as the rest of the statement names them: the table itself, or ROW_ALIAS when
    // labels are read with them.
    const QString named = table + RowAlias(read);
    const QString subqueryName = read.labels.isEmpty() ? table : QLatin1String(ROW_ALIAS);
    ReadSource source{QStringLiteral(" FROM ") + named + where.sql, where.values, {}, {}};
    const QStringList words = SearchWords(read.search);
    if (words.isEmpty())
        return source;
    if (index) {
        source.values << BoundValue(index->text);
        source.from =
            QStringLiteral(" FROM ") + named +
            joined(where.sql, index->condition.arg(dialect.placeholder(int(source.values.size()))));
        return source;
    }
    const QString limit = QStringLiteral(" LIMIT %1").arg(SCAN_ROWS);
    source.scanCount = QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM ") + table + where.sql +
                       QStringLiteral(" LIMIT %1) AS qv_scan").arg(SCAN_ROWS + 1);
    source.scanValues = where.values;
    const QString search = scanCondition(words, columns, dialect, source.values);
    source.from = byRowid ? QStringLiteral(" FROM ") + named +
                                QStringLiteral(" WHERE rowid IN (SELECT rowid FROM ") + table +
                                where.sql + limit + QStringLiteral(") AND ") + search
                          : QStringLiteral(" FROM (SELECT * FROM ") + table + where.sql + limit +
                                QStringLiteral(") AS ") + subqueryName + QStringLiteral(" WHERE ") +
                                search;
    return source;
}

} // namespace dbsvr
