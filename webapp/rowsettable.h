#pragma once

#include "webapp/html.h"
#include "webapp/labels.h"
#include "webapp/remotedatabase.h"

#include <functional>

namespace webapp {

// A value as page text: escaped text, a marked NULL, or the size of binary data.
QString CellHtml(const Labels& labels, const Cell& cell);

// How a table of rows is drawn; every hook is optional.
struct RowSetLayout {
    // The inner HTML of a column's header cell (by default its escaped name).
    std::function<QString(const QString& column)> header;
    // HTML of an extra first cell for each row (e.g. a link to the row); "" for none.
    std::function<QString(const QList<Cell>& row)> lead;
    // A link for one cell's value, or nullopt.
    std::function<std::optional<Link>(const QString& column, const QList<Cell>& row,
                                      const Cell& cell)>
        cellLink;
};

QString RowSetTable(const Labels& labels, const RowSet& rows, const QString& root,
                    const RowSetLayout& layout = {});

// "Previous", which rows these are, "Next". at(offset) gives the address of a page.
QString Pager(const Labels& labels, const RowSet& rows, int pageSize, const QString& root,
              const std::function<Link(qint64 offset)>& at);

// "Export: CSV JSON", links to what export shows, with format=csv or format=json added.
QString ExportLinks(const Labels& labels, const Link& exportLink, const QString& root);

} // namespace webapp
