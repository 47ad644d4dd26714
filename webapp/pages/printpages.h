#pragma once

#include "webapp/data/queryview.h"
#include "webapp/data/tableview.h"
#include "webapp/pageenvironment.h"

namespace webapp {

// The most rows a print view shows; a longer table or result ends there and says so.
inline constexpr int PRINT_ROWS = RemoteDatabase::MAX_LIMIT;

// ?page=print&name=t with a table page's sort and filters, or ?page=print&query=q with a query
// page's parameters: the rows from the first on, at most PRINT_ROWS, with what they are in
// words (the date and time, the filters or parameters, the order), laid out for paper.
Response PrintPage(const PageEnvironment& env);

// What a printed table page says of itself: when it was printed, its filters and order in
// words. Shown on paper only (class "print-only") on a table page.
Html TablePrintNote(const PageEnvironment& env, const TableView& view);

// The "Print view" link for a table page's view or a query page's view.
Html TablePrintLink(const PageEnvironment& env, const TableView& view);
Html QueryPrintLink(const PageEnvironment& env, const QueryView& view);

} // namespace webapp
