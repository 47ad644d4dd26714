#pragma once

#include "webapp/pageenvironment.h"

namespace webapp {

// Most rows one export holds; a longer result ends there and says so in the header
// "X-Export-Truncated: true" (and, in JSON, "truncated": true).
inline constexpr int MAX_EXPORT_ROWS = 100000;

// ?page=export&format=csv|json&name=t with a table page's sort and filters, or
// &kind=query&name=q with a query page's parameters: every row as an attachment.
Response ExportPage(const PageEnvironment& env);

} // namespace webapp
