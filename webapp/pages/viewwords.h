#pragma once

#include "webapp/data/queryview.h"
#include "webapp/data/tableview.h"
#include "webapp/pageenvironment.h"

namespace webapp {

// What a view of a table's rows is, in sentences of the request's language: its search words,
// its filters (or that it has none) and its order, as a print view or an export shows them.
QStringList TableViewWords(const PageEnvironment& env, const TableView& view);

// The parameters a query's view was run with, in a sentence; none when it has no parameters.
QStringList QueryViewWords(const PageEnvironment& env, const QueryView& view);

} // namespace webapp
