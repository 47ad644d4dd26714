#pragma once

#include "webapp/pageenvironment.h"
#include "webapp/rendering/workbook.h"

#include <functional>
#include <optional>

namespace webapp {

// ?page=export&format=csv|json|xlsx&name=t with a table page's sort and filters, or
// &kind=query&name=q with a query page's parameters: every row as an attachment, written to a
// private file (webapp/data/exportfile.h) as the data server's parts arrive and sent from there. At
// most components::MAX_EXPORT_ROWS rows: a longer result ends there and says so in the header
// "X-Export-Truncated: true" (and, in JSON, "truncated": true). An export the data server refuses
// (or stops at its time limit) is an error page, never a file.
Response ExportPage(const PageEnvironment& env);

// Whether format is one an export is written in: "csv", "json" or "xlsx".
bool IsExportFormat(const QString& format);

// Where an export's rows go, a part at a time.
using RowSink = std::function<void(const RowSet&)>;
// What a workbook tells of its rows, filled by an export's write() before its first part; null
// for the formats that tell nothing beside the rows.
using ExportAbout = WorkbookAbout*;
// The answer of an export named name in format (IsExportFormat): write() hands every part of
// the rows to the sink, or returns the page that refuses the request without handing any. A
// DataFailure it raises is an error page (status 500 unless the failure has its own), never a
// file; the header says when the rows were truncated.
Response
ExportAnswer(const PageEnvironment& env, const QString& format, const QString& name,
             const std::function<std::optional<Response>(const RowSink&, ExportAbout)>& write);

} // namespace webapp
