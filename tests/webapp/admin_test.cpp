// The administration page: loopback and key only; what it shows.
#include "tests/support/qtprinters.h"
#include "webappapi/adminkey.h"
#include "webappfixture.h"

#include <gtest/gtest.h>

using namespace webapptest;

TEST(Admin, AnswersOnlyLoopbackRequestsThatCarryTheKey) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser browser(app);
    // The desktop window's way in: an anonymous request with the run's key.
    browser.anonymous();
    const QString key = bridge::AdminKey(Browser::SECRET);
    EXPECT_EQ(key.size(), 32);
    const struct {
        const char* remote;
        QString key;
        bool allowed;
    } cases[] = {
        {"127.0.0.1", key, true},
        {"127.45.6.7", key, true},
        {"::1", key, true},
        {"::ffff:127.0.0.1", key, true},
        {"192.168.1.20", key, false},
        {"10.0.0.1", key, false},
        {"::ffff:10.0.0.1", key, false},
        {"fe80::1", key, false},
        {"", key, false},
        {"localhost", key, false},
        {"127.0.0.1", "", false},
        {"127.0.0.1", key.toUpper(), false},
        {"127.0.0.1", key.left(31), false},
        {"127.0.0.1", bridge::AdminKey("another run"), false},
    };
    for (const auto& c : cases) {
        const Page page = browser.get("page=admin&key=" + Enc(c.key), c.remote);
        EXPECT_EQ(page.status, c.allowed ? 200 : 403) << c.remote << " " << c.key.toStdString();
        EXPECT_EQ(page.body.contains("Recent trace entries"), c.allowed) << c.remote;
        if (!c.allowed) {
            EXPECT_TRUE(page.raw.startsWith("HTTP/1.1 403 Forbidden\r\n")) << c.remote;
        }
    }
    // Without a secret there is no key that opens it.
    browser.secret.clear();
    EXPECT_EQ(browser.get("page=admin&key=").status, 403);
    EXPECT_EQ(browser.get("page=admin&key=" + bridge::AdminKey("")).status, 403);
}

TEST(Admin, ShowsTheServerTheDataServerTheApplicationAndTheTrace) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser browser(app);
    browser.application()->setItem("MyEntry", "<b>kept</b>");
    const Page page = browser.get("page=admin&key=" + bridge::AdminKey(Browser::SECRET));
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.headers.value("referrer-policy"), "no-referrer");
    EXPECT_TRUE(support::ContainsInOrder(
        page.body,
        {"<th>Version</th><td>1.0.202</td>", "<th>Port</th><td>8080</td>",
         "<th>Requests</th><td>17</td>", "<th>Instance</th><td>test-instance</td>",
         "<th>Application folder</th><td>" + app.folder(), "<th>Debug mode</th><td>no</td>",
         "<th>User mode</th><td>DETECT</td>", "<th>Running</th><td>yes</td>",
         "<th>Process id</th><td>4711</td>", "<th>Restarts</th><td>0</td>",
         "<th>Ping</th><td>answered in ", "Quorvex data server",
         "<th>MyEntry</th><td>&lt;b&gt;kept&lt;/b&gt;", "<th>ExcelInstalled</th><td>False</td>",
         "<li>first &lt;entry&gt;</li>", "<li>second entry</li>"}));
}
