#pragma once

#include "webapp/pageenvironment.h"
#include "webapp/rendering/html.h"

namespace webapp {

// ?page=tables: every table and view with its row count.
Response TablesPage(const PageEnvironment& env);
// ?page=table&name=t: a table's rows, paged, sorted and filtered (see TableView).
Response TablePage(const PageEnvironment& env);
// ?page=row&table=t&k.<column>=<value>...: one row by its key (all key columns), with links
// along the foreign keys both ways. Views have no row pages.
Response RowPage(const PageEnvironment& env);

// The address of the row of table whose key columns hold values (on page: row, edit, delete).
Link RowLink(const QString& table, const QList<QPair<QString, QString>>& key,
             const QString& page = QStringLiteral("row"));
// The field that carries a key column's value in a row's address and forms: "k.<column>".
QString RowKeyField(const QString& column);
// The (column, value) pairs of the row key a request's address carries.
QList<QPair<QString, QString>> RowKeyOfRequest(const PageEnvironment& env);

} // namespace webapp
