// Users of the application: sign-in and sessions, the detected users, and what every role
// may open. A real dbsvr keeps the accounts, the sessions and the audit trail.

#include "tests/support/qtprinters.h"
#include "webapp/applicationservice.h"
#include "webapp/auth/identity.h"
#include "webapp/auth/passwords.h"
#include "webapp/data/accountstore.h"
#include "webapp/data/dataclient.h"
#include "webapp/data/remotedatabase.h"
#include "webappfixture.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>

using namespace webapptest;

namespace {

const QString PASSWORD = QStringLiteral("a long enough password");

// Whether what holds comes to hold within 10 s: a change made to the database by another
// program reaches a web server with its next data version, which on PostgreSQL is read
// every tenth of a second.
bool soon(const std::function<bool()>& holds) {
    QDeadlineTimer deadline(10000);
    while (!holds()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

// The status a browser sees: a redirect the web server sends is a 302.
int code(const Page& page) {
    return page.redirect.isEmpty() ? page.status : 302;
}

class SignIn : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(app.ready());
        for (Browser* b : {&browser, &other}) {
            b->userMode = QStringLiteral("APPLICATION");
            b->anonymous();
        }
        for (const char* role : {"reader", "editor", "admin"})
            addUser(role, role);
    }

    void addUser(const QString& name, const QString& role, bool disabled = false) {
        webapp::DataClient client(app.outQueue(), app.inQueue(), browser.service().replies(),
                                  browser.service().sweep());
        const webapp::RemoteDatabase database(std::move(client));
        webapp::AccountStore(database).saveUser(
            {name, webapp::HashPassword(PASSWORD), role, disabled}, std::nullopt);
    }

    static Page signIn(Browser& b, const QString& user, const QString& password = PASSWORD) {
        const Page form = b.get("page=signin");
        return b.post("page=signin&user=" + Enc(user) + "&password=" + Enc(password) +
                      "&token=" + Enc(InputValue(form.body, "token")) +
                      "&next=" + Enc(InputValue(form.body, "next")));
    }

    // The failed sign-ins of user the audit trail holds.
    qint64 failedSignIns(const QString& user) {
        webapp::DataClient client(app.outQueue(), app.inQueue(), browser.service().replies(),
                                  browser.service().sweep());
        const webapp::RemoteDatabase database(std::move(client));
        webapp::TableRead read;
        read.filters = {{"action", "eq", "signin-failed"}, {"user_name", "eq", user}};
        read.limit = 1;
        return webapp::AccountStore(database).readAudit(read).total;
    }

    static QString signOutToken(Browser& b) {
        return InputValue(b.get("page=tables").body, "token");
    }

    ExampleApplication app;
    Browser browser{app};
    Browser other{app};
};

} // namespace

TEST_F(SignIn, AWrongPasswordAndAnUnknownUserAreAnsweredAlikeAndTheRightOneOpensASession) {
    const Page wrong = signIn(browser, "editor", "not the password");
    const Page unknown = signIn(browser, "nobody-here", "not the password");
    for (const Page& p : {wrong, unknown}) {
        EXPECT_EQ(p.status, 200);
        EXPECT_TRUE(p.body.contains("The user name or the password is wrong."));
        EXPECT_TRUE(p.cookies.isEmpty());
    }
    QString masked = unknown.body;
    EXPECT_EQ(masked.replace("nobody-here", "editor"), wrong.body);

    const Page in = signIn(browser, "editor");
    EXPECT_EQ(in.redirect, "/");
    ASSERT_EQ(in.cookies.size(), 1);
    EXPECT_TRUE(support::ContainsInOrder(in.cookies[0],
                                         {"qvsession=", "Path=/", "HttpOnly", "SameSite=Lax"}));
    EXPECT_FALSE(in.cookies[0].contains("Secure"));
    const QString cookie = browser.cookie;
    const Page signedIn = browser.get("page=forms");
    EXPECT_EQ(signedIn.status, 200);
    EXPECT_TRUE(signedIn.body.contains("<li class=\"user\">editor</li>"));

    // The session is shared through the database: another browser with the cookie is in too,
    // as another web server on the same database would be.
    other.cookie = cookie;
    EXPECT_EQ(other.get("page=forms").status, 200);

    const Page out = browser.post("page=signout&token=" + Enc(signOutToken(browser)));
    EXPECT_EQ(out.redirect, "/");
    ASSERT_EQ(out.cookies.size(), 1);
    EXPECT_TRUE(out.cookies[0].contains("Max-Age=0"));
    EXPECT_TRUE(browser.cookie.isEmpty());
    // Ended where it is kept: the cookie kept elsewhere opens nothing, and is removed.
    const Page after = other.get("page=forms");
    EXPECT_EQ(code(after), 302);
    EXPECT_TRUE(after.redirect.startsWith("/?page=signin&next="));
    ASSERT_EQ(after.cookies.size(), 1);
    EXPECT_TRUE(after.cookies[0].contains("Max-Age=0"));
}

TEST_F(SignIn, ForgedFixedIdleExpiredAndDisabledSessionsOpenNothing) {
    // Forged: anything that is not one of our ids, or one nobody signed in with.
    for (const QString& forged :
         {QStringLiteral("qvsession=1"), QStringLiteral("qvsession=' OR 1=1 --"),
          "qvsession=" + QString(43, 'A')}) {
        browser.cookie = forged;
        const Page p = browser.get("page=forms");
        EXPECT_EQ(code(p), 302) << forged.toStdString();
        EXPECT_TRUE(p.cookies.value(0).contains("Max-Age=0"));
    }
    // Fixed: an id planted before the sign-in is not the one after it.
    browser.cookie = "qvsession=" + QString(43, 'B');
    signIn(browser, "reader");
    EXPECT_FALSE(browser.cookie.isEmpty());
    EXPECT_NE(browser.cookie, "qvsession=" + QString(43, 'B'));
    EXPECT_EQ(browser.get("page=tables").status, 200);

    // Idle past SessionTimeout (20 minutes here), or older than the absolute lifetime.
    const auto signedOut = [this] {
        return browser.get("page=tables").body.contains("Sign in</a>");
    };
    ASSERT_TRUE(app.runSql("UPDATE quorvex_sessions SET last_seen = last_seen - 1260"));
    EXPECT_TRUE(soon(signedOut));
    signIn(browser, "reader");
    EXPECT_FALSE(signedOut());
    ASSERT_TRUE(app.runSql("UPDATE quorvex_sessions SET created = created - 13 * 3600"));
    EXPECT_TRUE(soon(signedOut));

    // A disabled user's session ends, and they cannot sign in again.
    signIn(other, "editor");
    EXPECT_EQ(other.get("page=forms").status, 200);
    addUser("editor", "editor", true);
    EXPECT_EQ(code(other.get("page=forms")), 302);
    EXPECT_TRUE(signIn(other, "editor").body.contains("The user name or the password is wrong."));
}

TEST_F(SignIn, AFormOfAnotherOrAnEndedSessionIsShownAgainAndNotWritten) {
    signIn(browser, "editor");
    signIn(other, "editor");
    const Page form = browser.get("page=form&name=newcustomer");
    const QHash<QString, QString> values = {
        {"f.name", "Session Bound"}, {"f.city", "Graz"}, {"f.country", "Austria"}, {"f.email", ""}};
    const QString body = FormBody(form.body, values);
    // The same editor's other session, and a visitor of another site, cannot send it.
    const Page elsewhere = other.post(body);
    EXPECT_EQ(elsewhere.status, 403);
    EXPECT_TRUE(elsewhere.redirect.isEmpty());
    EXPECT_EQ(InputValue(elsewhere.body, "f.name"), "Session Bound");
    // Signed out and in again: the form of the ended session comes back with its values,
    // and sent again from there it is written once.
    browser.post("page=signout&token=" + Enc(signOutToken(browser)));
    signIn(browser, "editor");
    const Page again = browser.post(body);
    EXPECT_EQ(again.status, 403);
    EXPECT_TRUE(again.body.contains("This form was not saved"));
    EXPECT_EQ(InputValue(again.body, "f.name"), "Session Bound");
    const Page saved = browser.post(FormBody(again.body, values));
    EXPECT_TRUE(saved.redirect.startsWith("/?page=saved&form=newcustomer"));
    EXPECT_EQ(browser.post(FormBody(again.body, values)).redirect, saved.redirect);
}

TEST_F(SignIn, HostileNamesArePlainTextAndNeverOpenAnything) {
    for (const QString& name :
         {QStringLiteral("<script>alert(1)</script>"), QStringLiteral("o'brien\"--"),
          QStringLiteral("a") + QChar(0) + "b", QString(10000, 'x'), QStringLiteral("王小明")}) {
        const Page p = signIn(browser, name, name);
        EXPECT_EQ(p.status, 200);
        EXPECT_TRUE(p.cookies.isEmpty());
        EXPECT_FALSE(p.body.contains("<script>alert"));
    }
    addUser(QStringLiteral("王小明"), "reader");
    EXPECT_EQ(signIn(other, QStringLiteral("王小明")).redirect, "/");
    EXPECT_TRUE(other.get("page=tables").body.contains(QStringLiteral(">王小明</li>")));
}

TEST_F(SignIn, GuessingIsSlowedDownAndTheOwnerStillGetsIn) {
    int refused = 0;
    for (int i = 0; i < 100; ++i) {
        const Page p = signIn(browser, "admin", "guess " + QString::number(i));
        EXPECT_TRUE(p.cookies.isEmpty());
        if (p.status == 429) {
            ++refused;
            EXPECT_TRUE(p.raw.contains("Retry-After: "));
        }
    }
    // After five free failures, the guesses are refused without a look at the password.
    EXPECT_GE(refused, 90);
    // Each one is in the audit trail, written together rather than one write per guess: by
    // the requests that come after them.
    EXPECT_TRUE(soon([this] {
        browser.get("page=tables");
        return failedSignIns("admin") == 100;
    })) << failedSignIns("admin");
    // The owner, elsewhere, is kept out for seconds at most: they get in as soon as the
    // account's short back-off has passed, which the page tells them. (Whether it still holds
    // when they come depends on how long the audit wait above took; that it holds for every
    // address is shown with a clock of the test's own in SignInThrottle.*.)
    browser.remoteAddress = QStringLiteral("192.0.2.7");
    Page p = signIn(browser, "admin");
    while (p.status == 429) {
        const int wait = p.body.section("try again in ", 1).section(' ', 0, 0).toInt();
        ASSERT_GT(wait, 0);
        ASSERT_LE(wait, 15);
        QThread::sleep(static_cast<unsigned long>(wait)); // the wait the page names
        p = signIn(browser, "admin");
    }
    EXPECT_EQ(p.redirect, "/");
}

TEST_F(SignIn, EveryPageAndExportAgainstEveryRole) {
    // A table for readers only besides the example's rules (anonymous read, editors' forms).
    QFile rules(app.folder() + "/access.xml");
    ASSERT_TRUE(rules.open(QIODevice::WriteOnly | QIODevice::Truncate));
    rules.write("<Access><Defaults forms=\"editor\"/><Table name=\"customers\" allow=\"reader\"/>"
                "<Query name=\"LowStock\" allow=\"editor\"/></Access>");
    rules.close();
    const struct {
        const char* query;
        int anonymous, reader, editor, admin; // 302: the way to the sign-in page
    } PAGES[] = {
        {"", 200, 200, 200, 200},
        {"page=tables", 200, 200, 200, 200},
        {"page=table&name=products", 200, 200, 200, 200},
        {"page=table&name=customers", 302, 200, 200, 200},
        {"page=row&table=customers&k.id=1", 302, 200, 200, 200},
        {"page=export&name=customers&format=csv", 302, 200, 200, 200},
        {"page=export&name=products&format=json", 200, 200, 200, 200},
        {"page=queries", 200, 200, 200, 200},
        {"page=query&name=LowStock", 302, 403, 200, 200},
        {"page=export&kind=query&name=LowStock&p.threshold=10&run=1&format=csv", 302, 403, 200,
         200},
        {"page=forms", 302, 403, 200, 200},
        {"page=form&name=newcustomer", 302, 403, 200, 200},
        {"page=saved&form=newcustomer&entry=x", 302, 403, 200, 200},
        {"page=admin", 302, 403, 403, 200},
        {"page=password", 302, 200, 200, 200},
    };
    Browser anonymous(app), reader(app), editor(app), admin(app);
    anonymous.userMode = reader.userMode = editor.userMode = admin.userMode = "APPLICATION";
    anonymous.anonymous();
    for (Browser* b : {&reader, &editor, &admin})
        b->anonymous();
    signIn(reader, "reader");
    signIn(editor, "editor");
    signIn(admin, "admin");
    for (const auto& page : PAGES) {
        const int expected[] = {page.anonymous, page.reader, page.editor, page.admin};
        Browser* browsers[] = {&anonymous, &reader, &editor, &admin};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(code(browsers[i]->get(page.query)), expected[i]) << page.query << " as " << i;
    }
    // Menus show only what the user may use.
    EXPECT_FALSE(reader.get("").body.contains(">Forms</a>"));
    EXPECT_TRUE(editor.get("").body.contains(">Forms</a>"));
    EXPECT_FALSE(editor.get("").body.contains(">Administration</a>"));
    EXPECT_TRUE(admin.get("").body.contains(">Administration</a>"));
    EXPECT_FALSE(anonymous.get("page=tables").body.contains(">customers</a>"));
    // The menu's sign-in comes back to the page it was chosen on, never to the sign-in itself.
    EXPECT_TRUE(anonymous.get("page=tables").body.contains(
        "href=\"/?page=signin&amp;next=%2F%3Fpage%3Dtables\">Sign in</a>"));
    EXPECT_TRUE(anonymous.get("page=signin").body.contains("href=\"/?page=signin\">Sign in</a>"));
    EXPECT_FALSE(reader.get("page=queries").body.contains("LowStock"));
}

TEST(DetectedUsers, LocalProxyAndAnonymousUsersGetTheirRoles) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser browser(app);
    // The program's own account on this machine: an administrator.
    EXPECT_EQ(browser.get("page=admin").status, 200);
    // Another detected user: the rules' role for detected users (readers in the example).
    browser.remoteUser = QStringLiteral("alice");
    browser.authType = QStringLiteral("Proxy");
    EXPECT_EQ(browser.get("page=tables").status, 200);
    const Page forms = browser.get("page=forms");
    EXPECT_EQ(forms.status, 403);
    EXPECT_TRUE(forms.body.contains("<li class=\"user\">alice</li>"));
    // An account gives a detected name its role.
    webapp::DataClient client(app.outQueue(), app.inQueue(), browser.service().replies(),
                              browser.service().sweep());
    const webapp::RemoteDatabase database(std::move(client));
    webapp::AccountStore(database).saveUser({"alice", {}, QStringLiteral("editor"), false},
                                            std::nullopt);
    EXPECT_EQ(browser.get("page=forms").status, 200);
    // No detected name: anonymous, and in this mode there is no sign-in to go to.
    browser.anonymous();
    EXPECT_EQ(browser.get("page=forms").status, 403);
    EXPECT_EQ(browser.get("page=signin").status, 404);
    // The same account name, but not detected on this machine, is not the program's account.
    browser.remoteUser = webapp::ProgramAccount();
    browser.authType = QStringLiteral("Proxy");
    EXPECT_EQ(browser.get("page=admin").status, 403);
}
