#pragma once

#include "webapp/pageenvironment.h"

namespace webapp {

// ?page=export&format=csv|json&name=t with a table page's sort and filters, or
// &kind=query&name=q with a query page's parameters: every row as an attachment, written to a
// private file (webapp/data/exportfile.h) as the data server's parts arrive and sent from there. At
// most components::MAX_EXPORT_ROWS rows: a longer result ends there and says so in the header
// "X-Export-Truncated: true" (and, in JSON, "truncated": true). An export the data server refuses
// (or stops at its time limit) is an error page, never a file.
Response ExportPage(const PageEnvironment& env);

} // namespace webapp
