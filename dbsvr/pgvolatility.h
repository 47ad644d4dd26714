#pragma once

#include <QString>

namespace dbsvr {

class PgStatementCache;

// True when what a plan reads may come out otherwise without any change to the data: the plan
// (EXPLAIN (VERBOSE, FORMAT JSON), views expanded) scans a foreign table, or calls a function
// the server knows as volatile (random(), clock_timestamp(), nextval()...), one that reads
// the transaction's clock (now(), CURRENT_TIMESTAMP and friends), or a stable function that is
// not the server's own. Raises common::Error when the
// functions cannot be looked up.
bool PlanIsVolatile(PgStatementCache& statements, const QString& planJson);

} // namespace dbsvr
