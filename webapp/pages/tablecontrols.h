#pragma once

#include "webapp/data/tableview.h"
#include "webapp/pageenvironment.h"

#include <optional>

// The controls of a table page, each a plain GET form or link that carries the whole view in
// the address, so that every state can be bookmarked and works without JavaScript.

namespace webapp {

// The search box (q).
Html SearchForm(const PageEnvironment& env, const TableView& view);
// Per facet column, its values with their counts, each a link that adds the filter; a value
// filtered on already is marked and links to the view without that filter.
Html FacetLists(const PageEnvironment& env, const TableView& view, const QList<Facet>& facets);
// Each active filter as a small form that replaces it, with a link that removes it; refused is
// the data server's refusal of one filter, shown next to it.
Html ActiveFilters(const PageEnvironment& env, const TableView& view, const TableSchema& schema,
                   const std::optional<DataFailure>& refused);
// The form that adds a filter.
Html FilterForm(const PageEnvironment& env, const TableView& view, const TableSchema& schema);
// A column's heading: a link that sorts by it first (the previous first key second), with its
// direction when it is a sort key and a cue when it is not; and the attribute the heading cell
// carries (aria-sort for the first key).
Html SortHeading(const PageEnvironment& env, const TableView& view, const QString& column);
Html SortAttribute(const TableView& view, const QString& column);
// First, Previous, which rows these are, Next, Last (from the total).
Html TablePager(const PageEnvironment& env, const TableView& view, const RowSet& rows);
// The choice of rows per page.
Html PageSizeForm(const PageEnvironment& env, const TableView& view);
// Checkboxes of the columns shown; the key columns are always kept.
Html ColumnPicker(const PageEnvironment& env, const TableView& view, const TableSchema& schema);
// The columns the page shows: those picked that the table has, with its key columns; all when
// none is picked.
QStringList ShownColumns(const TableView& view, const TableSchema& schema);
// A filter's comparison in the page's language ("is empty"); an unknown one as it stands.
QString OperatorLabel(const PageEnvironment& env, const QString& op);
// rows with only the columns the page shows, in the table's order.
RowSet ShownRows(const RowSet& rows, const TableView& view, const TableSchema& schema);

} // namespace webapp
