#pragma once

#include "dbsvr/database.h"

#include <QString>
#include <QStringList>

namespace dbsvr {

// A named query's statement as it stands inside another: without the semicolons at its end,
// on lines of its own, so that a comment at its end ends there.
QString InnerSql(const QString& sql);

// SELECT * FROM (sql) AS q ORDER BY "c" [DESC], ...: the query's rows in another order. Every
// name must be one of columns (the query's result) exactly once; raises RequestError
// UnknownColumn for one that is not there, InvalidArgument for one the result holds twice
// (it would name either) and for an order of no columns. Only names checked so are quoted in.
QString OrderedSql(const QString& sql, const QStringList& columns, const QList<SortKey>& order);

// SELECT count(*) FROM (sql) AS q: how many rows the query gives.
QString CountSql(const QString& sql);

} // namespace dbsvr
