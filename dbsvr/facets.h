#pragma once

#include "dbsvr/readsource.h"

#include <functional>

namespace dbsvr {

// Runs a statement of two columns, a value and its count (and a third, its label, when the
// column has a label source), and gives its rows; nullopt when
// the database refused it (a column of a type it cannot group). Raises common::Error for the
// other failures (the time limit, a lost connection).
using GroupedRows =
    std::function<std::optional<QList<FacetValue>>(const QString& sql, const QList<BoundValue>&)>;
// Runs "SELECT count(*) ..." and gives the count.
using CountRows = std::function<int64_t(const QString& sql, const QList<BoundValue>&)>;

// The facets of the rows source gives (see Database::facets): one statement per candidate
// column (neither a BLOB nor a key column), over the first SCAN_ROWS rows, grouped, at most
// one value more than a facet may have. A column among labels gets each value's label too.
FacetList CollectFacets(const QList<ColumnDescription>& columns, const ReadSource& source,
                        const QList<LabelSource>& labels, const SqlDialect& dialect,
                        const GroupedRows& group, const CountRows& count);

} // namespace dbsvr
