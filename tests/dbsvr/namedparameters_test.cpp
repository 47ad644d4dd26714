#include "dbsvr/namedparameters.h"
#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

using dbsvr::ToPositionalParameters;

// Only real parameters become $n: names inside literals, quoted names, comments and
// dollar-quoted bodies, and the type of a :: cast, stay as they are.
TEST(PositionalParameters, NumberEachNameOnceAndLeaveTheRestAlone) {
    const struct {
        const char* sql;
        const char* expected;
        QStringList names;
    } cases[] = {
        {"SELECT * FROM t WHERE a = :a AND b > :b OR a < :a",
         "SELECT * FROM t WHERE a = $1 AND b > $2 OR a < $1",
         {":a", ":b"}},
        {"SELECT :x::integer, x::text", "SELECT $1::integer, x::text", {":x"}},
        {"SELECT ':no', 'it''s :no', E'\\' :no', \":no\" FROM t WHERE c = :yes",
         "SELECT ':no', 'it''s :no', E'\\' :no', \":no\" FROM t WHERE c = $1",
         {":yes"}},
        {"SELECT 1 -- :no\n, :yes /* :no /* :no */ :no */",
         "SELECT 1 -- :no\n, $1 /* :no /* :no */ :no */",
         {":yes"}},
        {"SELECT $$ :no $$, $tag$ :no $$ :no $tag$, :yes",
         "SELECT $$ :no $$, $tag$ :no $$ :no $tag$, $1",
         {":yes"}},
        {"SELECT a[1:2], :élan_2 FROM t", "SELECT a[1:2], $1 FROM t", {":élan_2"}},
        {"SELECT 'open :no", "SELECT 'open :no", {}},
    };
    for (const auto& c : cases) {
        const auto out = ToPositionalParameters(QString::fromUtf8(c.sql));
        EXPECT_EQ(out.sql, QString::fromUtf8(c.expected)) << c.sql;
        EXPECT_EQ(out.names, c.names) << c.sql;
    }
}
