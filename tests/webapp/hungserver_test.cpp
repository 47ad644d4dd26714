// A data server that hangs (stopped with SIGSTOP): pages come back with 503 within the bounded
// wait, a write in flight is saved once when the form is sent again, late replies are removed.
#include "tests/support/heldwritelock.h"
#include "tests/support/qtprinters.h"
#include "webappfixture.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>
#include <signal.h>

using namespace webapptest;

namespace {

QStringList replies(const QString& folder) {
    return QDir(folder).entryList({"*.msg"}, QDir::Files);
}

void age(const QString& file, int seconds) {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-seconds),
                              QFileDevice::FileModificationTime));
}

} // namespace

// Once a wait has run out, nothing more waits for the data server until it is heard from.
TEST(HungDataServer, AfterAWaitRanOutPagesSayTryAgainAtOnceUntilItIsAliveAgain) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser browser(app);
    browser.lastAlive = QDateTime::currentDateTime().addSecs(-2); // seen before it stopped
    ASSERT_EQ(::kill(pid_t(app.dataServerPid()), SIGSTOP), 0);
    EXPECT_EQ(browser.get("page=tables").status, 503);
    const QStringList waiting = replies(browser.outQueue);

    const Page fast = browser.get("page=table&name=customers");
    EXPECT_EQ(fast.status, 503);
    EXPECT_EQ(fast.headers.value("retry-after"), "5");
    EXPECT_TRUE(fast.body.contains("The data server has not answered since "));
    EXPECT_EQ(replies(browser.outQueue), waiting); // nothing sent

    // Its alive signal after the wait ran out: asked again.
    ASSERT_EQ(::kill(pid_t(app.dataServerPid()), SIGCONT), 0);
    browser.lastAlive = QDateTime::currentDateTime().addSecs(1);
    const Page again = browser.get("page=table&name=customers");
    EXPECT_EQ(again.status, 200);
    EXPECT_TRUE(again.body.contains("customers"));
}

// A data server whose workers are all held up still answers pings: a page whose wait ran out
// there leaves the next pages to ask it again instead of failing them at once.
TEST(HungDataServer, ABusyDataServerIsNotTakenForASilentOne) {
    if (OnPostgresql())
        GTEST_SKIP() << "held up by an SQLite write lock";
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser browser(app);
    browser.lastAlive = QDateTime::currentDateTime().addSecs(-2); // no alive signal since
    const Page form = browser.get("page=form&name=newcustomer");
    support::HeldWriteLock lock(app.folder() + "/sample.db");
    ASSERT_TRUE(lock.held());

    const Page posted = browser.post(FormBody(
        form.body,
        {{"f.name", "Busy Bea"}, {"f.city", "Graz"}, {"f.country", "Austria"}, {"f.email", ""}}));
    EXPECT_EQ(posted.status, 503);
    EXPECT_TRUE(posted.body.contains("may or may not have been saved"));

    const Page next = browser.get("page=table&name=customers");
    EXPECT_EQ(next.status, 200);
    EXPECT_FALSE(next.body.contains("has not answered since"));
}

TEST(HungDataServer, AnswersTryAgainInTimeAndTheResentFormIsSavedOnce) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser browser(app);
    const Page form = browser.get("page=form&name=newcustomer");
    const QString body = FormBody(form.body, {{"f.name", "Hanging Hugo"},
                                              {"f.city", "Linz"},
                                              {"f.country", "Austria"},
                                              {"f.email", ""}});
    ASSERT_EQ(::kill(pid_t(app.dataServerPid()), SIGSTOP), 0);

    QElapsedTimer timer;
    timer.start();
    const Page tables = browser.get("page=tables");
    const qint64 waited = timer.restart();
    EXPECT_EQ(tables.status, 503);
    EXPECT_TRUE(tables.raw.startsWith("HTTP/1.1 503 Service Unavailable\r\n"));
    EXPECT_EQ(tables.headers.value("retry-after"), "5");
    EXPECT_TRUE(tables.body.contains("Please try again"));
    EXPECT_GE(waited, 4500);
    EXPECT_LT(waited, 6500);

    // The write reaches the data server's queue, but its reply does not come in time.
    const Page posted = browser.post(body);
    EXPECT_LT(timer.elapsed(), 6500);
    EXPECT_EQ(posted.status, 503);
    EXPECT_TRUE(posted.redirect.isEmpty());
    EXPECT_TRUE(posted.body.contains("may or may not have been saved"));
    EXPECT_TRUE(posted.body.contains("value=\"Hanging Hugo\"")); // the form, as entered
    EXPECT_EQ(InputValue(posted.body, "formnonce"), InputValue(form.body, "formnonce"));

    // Running again, it serves what waited: both replies, and the pings each wait sent in its
    // last second, come late and are left unread.
    ASSERT_EQ(::kill(pid_t(app.dataServerPid()), SIGCONT), 0);
    ASSERT_TRUE(support::Eventually([&] { return replies(app.inQueue()).size() == 4; }))
        << replies(app.inQueue()).join(", ").toStdString()
        << " waiting: " << replies(browser.outQueue).join(", ").toStdString();
    const QStringList late = replies(app.inQueue());

    // Sent again, corrected, the same form is not written twice, nor shown as saved with the
    // values that were not written.
    const Page again = browser.post(QString(body).replace("Hanging%20Hugo", "Hanging%20Hugh"));
    ASSERT_FALSE(again.redirect.isEmpty());
    const Page saved = browser.get(QueryOf(again.redirect));
    EXPECT_TRUE(support::ContainsInOrder(
        saved.body, {"this time nothing was written", "<td>Hanging Hugo</td>",
                     "These values you sent last were not written", "<td>Hanging Hugh</td>"}));
    EXPECT_TRUE(browser.get("page=tables")
                    .body.contains(">customers</a></td><td>Table</td>"
                                   "<td class=\"num\">13<"));

    // Late replies go once they are a minute old.
    EXPECT_EQ(replies(app.inQueue()), late);
    age(app.inQueue() + "/" + late[0], 61);
    browser.get("page=tables");
    EXPECT_EQ(replies(app.inQueue()), late.mid(1));
}
