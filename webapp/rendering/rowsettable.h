#pragma once

#include "webapp/data/remotedatabase.h"
#include "webapp/rendering/html.h"
#include "webapp/rendering/labels.h"
#include "webapp/rendering/numberformat.h"

#include <functional>

namespace webapp {

// A value as page text: escaped text, a marked NULL, or the size of binary data; a number in
// the locale's notation when its column's style says so.
Html CellHtml(const Labels& labels, const Cell& cell, const NumberStyle& style = {},
              const QLocale& locale = QLocale::c());

// A value with its label beside it, "Espresso beans (2)", when it has one; else as CellHtml.
Html KeyWithLabel(const Labels& labels, const Cell& cell, const NumberStyle& style = {},
                  const QLocale& locale = QLocale::c());

// A cell's value as a link: its label as the text and value (its CellHtml) as the title when
// it has a label, else value.
Html LinkedCell(const Link& link, const QString& root, const Cell& cell, const Html& value);

// How a table of rows is drawn; every hook is optional.
struct RowSetLayout {
    // The content of a column's header cell (by default its name).
    std::function<Html(const QString& column)> header;
    // Attributes of a column's header cell (e.g. aria-sort), each with a blank before it.
    std::function<Html(const QString& column)> headerAttributes;
    // An extra first cell for each row (e.g. a link to the row); empty for none.
    std::function<Html(const QList<Cell>& row)> lead;
    // A link for one cell's value, or nullopt.
    std::function<std::optional<Link>(const QString& column, const QList<Cell>& row,
                                      const Cell& cell)>
        cellLink;
    // The style of each column by position (declared types); a column past its end, or
    // nullopt, is numeric when all its values are numbers.
    QList<std::optional<NumberStyle>> numbers;
};

Html RowSetTable(const Labels& labels, const RowSet& rows, const QString& root,
                 const RowSetLayout& layout = {});

// "First", "Previous", which rows these are, "Next", and "Last" where the total is known; a
// note after them.
// at(offset) gives the address of a page.
Html Pager(const Labels& labels, const RowSet& rows, int pageSize, const QString& root,
           const std::function<Link(qint64 offset)>& at, const Html& note = {});

// "Export: CSV JSON Workbook (.xlsx)", links to what export shows, with format=csv, json or
// xlsx added.
Html ExportLinks(const Labels& labels, const Link& exportLink, const QString& root);

} // namespace webapp
