#include "dbsvr/pgvolatility.h"

#include "dbsvr/pgstatementcache.h"

#include <QRegularExpression>
#include <QSet>

namespace dbsvr {

namespace {

// The SQL value functions, which a plan shows without parentheses; all of them read the clock.
const QRegularExpression CLOCK_KEYWORDS(
    QStringLiteral("\\b(CURRENT_DATE|CURRENT_TIME|CURRENT_TIMESTAMP|LOCALTIME|LOCALTIMESTAMP)\\b"));
// A function call as a plan shows it: its name (perhaps after a schema) and "(".
const QRegularExpression CALL(QStringLiteral("([A-Za-z_][A-Za-z0-9_$]*)\\("));

// Stable functions may give other results in another statement with the same data; the
// server's own do so when they follow the clock (age() counts though its two-argument form
// does not: a wrong page costs more), the others only with settings this side never changes.
// Of the application's own, any stable one may read the clock.
const QString LOOKUP = QStringLiteral(
    "SELECT EXISTS (SELECT FROM pg_proc WHERE proname = ANY (string_to_array($1, ',')) AND "
    "(provolatile = 'v' OR (provolatile = 's' AND pronamespace <> 'pg_catalog'::regnamespace) "
    "OR proname IN ('now', 'transaction_timestamp', 'statement_timestamp', 'age')))");

} // namespace

bool PlanIsVolatile(PgStatementCache& statements, const QString& planJson) {
    if (planJson.contains(QLatin1String("\"Node Type\": \"Foreign Scan\"")) ||
        CLOCK_KEYWORDS.match(planJson).hasMatch())
        return true;
    QSet<QString> names;
    for (const QRegularExpressionMatch& call : CALL.globalMatch(planJson))
        names.insert(call.captured(1));
    if (names.isEmpty())
        return false;
    const QStringList list(names.begin(), names.end());
    return statements.exec(LOOKUP, {BoundValue(list.join(QLatin1Char(',')))}).text(0, 0) ==
           QLatin1String("t");
}

} // namespace dbsvr
