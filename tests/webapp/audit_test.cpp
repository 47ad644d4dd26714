// The audit trail page: filters in the address, paging, the CSV export of what it shows.
#include "adminhelpers.h"
#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

using namespace webapptest;

namespace {

// Entries of a known time, after those the test's own actions wrote (which are older: "now").
const char ENTRIES[] = R"sql(
INSERT INTO quorvex_audit (at, user_name, address, action, object, detail, record_key) VALUES
('2030-01-01 08:00:00', 'ann', '10.0.0.1', 'signin', '', '', ''),
('2030-01-01 23:59:59', 'ann', '10.0.0.1', 'form', 'newcustomer', '{"name":"x"}', '7'),
('2030-01-02 00:00:00', 'bob', '10.0.0.2', 'signin', '', '', ''),
('2030-01-02 12:30:15', 'bob', '10.0.0.20', 'user-role', 'ann', 'role=editor (was reader)', ''),
('2030-01-03 09:00:00', 'ann', '10.0.0.1', 'signout', '', '', '');
)sql";

} // namespace

TEST(Audit, FiltersInTheAddressPickTheEntriesNewestFirst) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser admin(app);
    // An entry of the application's own, and with it the trail's table.
    ASSERT_FALSE(UsersAction(admin, "user-add", "ann", {{"role", "reader"}}).redirect.isEmpty());
    ASSERT_TRUE(app.runSql(ENTRIES));

    const struct {
        QString filters;
        QStringList times; // of the entries found, newest first
    } cases[] = {
        {"",
         {"2030-01-03 09:00:00", "2030-01-02 12:30:15", "2030-01-02 00:00:00",
          "2030-01-01 23:59:59", "2030-01-01 08:00:00"}},
        {"&user=ann", {"2030-01-03 09:00:00", "2030-01-01 23:59:59", "2030-01-01 08:00:00"}},
        {"&user=an", {}},
        {"&user=ANN", {}},
        {"&action=signin", {"2030-01-02 00:00:00", "2030-01-01 08:00:00"}},
        {"&object=ann", {"2030-01-02 12:30:15"}},
        {"&address=10.0.0.2", {"2030-01-02 00:00:00"}},
        {"&user=ann&action=signin", {"2030-01-01 08:00:00"}},
        {"&from=2030-01-02", {"2030-01-03 09:00:00", "2030-01-02 12:30:15", "2030-01-02 00:00:00"}},
        {"&from=2030-01-01&to=2030-01-01", {"2030-01-01 23:59:59", "2030-01-01 08:00:00"}},
        {"&from=2030-01-02%2012:30&to=2030-01-02%2012:30", {"2030-01-02 12:30:15"}},
        {"&from=2030-01-02T12:30:16", {"2030-01-03 09:00:00"}},
        {"&from=2030-01-01%2008:00:01&to=2030-01-02T00:00:00",
         {"2030-01-02 00:00:00", "2030-01-01 23:59:59"}},
    };
    for (const auto& c : cases) {
        QStringList times = Column(AuditEntries(admin, c.filters), "at");
        // The test's own entries are of now, before every entry of 2030.
        if (c.filters.isEmpty() || c.filters == "&object=ann") {
            ASSERT_FALSE(times.isEmpty());
            EXPECT_LT(times.last(), QString("2030")) << c.filters.toStdString();
            times.removeLast();
        }
        EXPECT_EQ(times, c.times) << c.filters.toStdString();
    }
    // The page shows the same entries, and keeps the filters in its form.
    const Page page = admin.get("page=audit&user=bob&from=2030-01-02");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(
        support::ContainsInOrder(page.body, {"2030-01-02 12:30:15", "2030-01-02 00:00:00"}));
    EXPECT_FALSE(page.body.contains("2030-01-01"));
    EXPECT_EQ(InputValue(page.body, "user"), "bob");
    EXPECT_EQ(InputValue(page.body, "from"), "2030-01-02");
    EXPECT_EQ(LinkTo(page.body, "CSV"), "/?page=audit&user=bob&from=2030-01-02&format=csv");
    // An address in the list leads to its entries.
    EXPECT_EQ(LinkTo(page.body, "10.0.0.20"),
              "/?page=audit&user=bob&address=10.0.0.20&from=2030-01-02");

    // A time that is no time filters nothing: the page says so, and shows (or exports) nothing.
    for (const char* filters : {"&from=yesterday", "&to=2030-13-01", "&from=2030-01-02%2025:00"}) {
        for (const char* format : {"", "&format=csv"}) {
            const Page bad = admin.get(QString("page=audit") + filters + format);
            EXPECT_EQ(bad.status, 400) << filters << format;
            EXPECT_FALSE(bad.headers.contains("content-disposition")) << filters;
            EXPECT_TRUE(bad.body.contains("Write a time as YYYY-MM-DD")) << filters;
            EXPECT_FALSE(bad.body.contains(">ann<")) << filters;
        }
    }
}

TEST(Audit, PagesAndTheCsvExportHoldTheFilteredEntries) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser admin(app);
    ASSERT_FALSE(UsersAction(admin, "user-add", "ann", {{"role", "reader"}}).redirect.isEmpty());
    ASSERT_TRUE(app.runSql(ENTRIES));

    const Page first = admin.get("page=audit&user=ann&size=2");
    EXPECT_TRUE(
        support::ContainsInOrder(first.body, {"2030-01-03 09:00:00", "2030-01-01 23:59:59"}));
    EXPECT_FALSE(first.body.contains("2030-01-01 08:00:00"));
    const QString next = LinkTo(first.body, "Next »");
    EXPECT_EQ(next, "/?page=audit&user=ann&size=2&offset=2");
    const Page second = admin.get(QueryOf(next));
    EXPECT_TRUE(second.body.contains("2030-01-01 08:00:00"));
    EXPECT_FALSE(second.body.contains("2030-01-03"));
    EXPECT_TRUE(LinkTo(second.body, "Next »").isEmpty());
    EXPECT_EQ(LinkTo(second.body, "« Previous"), "/?page=audit&user=ann&size=2");

    // The export holds every entry of the filters, whatever page was shown.
    const Page csv = admin.get("page=audit&user=ann&size=2&offset=2&format=csv");
    EXPECT_EQ(csv.status, 200);
    EXPECT_EQ(csv.headers.value("content-type"), "text/csv; charset=utf-8");
    EXPECT_TRUE(
        csv.headers.value("content-disposition").startsWith("attachment; filename=\"audit.csv\""));
    EXPECT_FALSE(csv.headers.contains("x-export-truncated"));
    EXPECT_TRUE(csv.content.startsWith("\xEF\xBB\xBFid,at,user_name,address,action,object,detail,"
                                       "record_key\r\n"));
    const QStringList lines = QString::fromUtf8(csv.content).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[1].endsWith(",2030-01-03 09:00:00,ann,10.0.0.1,signout,,,"));
    EXPECT_TRUE(lines[2].endsWith(",2030-01-01 23:59:59,ann,10.0.0.1,form,newcustomer,"
                                  "\"{\"\"name\"\":\"\"x\"\"}\",7"));
    EXPECT_TRUE(lines[3].endsWith(",2030-01-01 08:00:00,ann,10.0.0.1,signin,,,"));
}
