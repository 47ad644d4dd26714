// The users page: administrators add and change accounts, every change lands in the audit
// trail, the last administrator stays, and nobody else can see or change anything.
#include "adminhelpers.h"
#include "tests/support/qtprinters.h"
#include "webapp/auth/identity.h"
#include "webapp/forms/formtoken.h"
#include "webappapi/adminkey.h"

#include <gtest/gtest.h>
#include <list>

using namespace webapptest;

namespace {

const QString PASSWORD = QStringLiteral("correct horse");

// The row of the users table that shows name, its role, disabled and password.
QString userRow(const QString& name, const QString& role, bool disabled, bool password) {
    return "<tr><td>" + name + "</td><td>" + role + "</td><td>" + (disabled ? "yes" : "no") +
           "</td><td>" + (password ? "yes" : "no") + "</td>";
}

QHash<QString, QString> newPassword(const QString& password) {
    return {{"newpassword", password}, {"repeat", password}};
}

// The program's own account, the administrator every Browser is by default, as the pages
// bind its buttons' token.
QString adminBinding() {
    return "user:" + webapp::ProgramAccount();
}

} // namespace

TEST(Users, AnAdministratorAddsChangesAndDisablesAUserAndTheAuditTrailSaysSo) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser admin(app);
    admin.userMode = "APPLICATION";
    const Page empty = admin.get("page=users");
    ASSERT_EQ(empty.status, 200);
    EXPECT_TRUE(empty.body.contains("User mode: application."));
    EXPECT_TRUE(empty.body.contains("There are no accounts yet."));

    const Page added =
        UsersAction(admin, "user-add", " ann ",
                    {{"role", "editor"}, {"newpassword", PASSWORD}, {"repeat", PASSWORD}});
    EXPECT_EQ(added.redirect, "/?page=users&done=user-add&user=ann");
    const Page listed = Follow(admin, added);
    EXPECT_TRUE(listed.body.contains("The user ann has been added.")) << listed.body.toStdString();
    EXPECT_TRUE(listed.body.contains(userRow("ann", "editor", false, true)));
    EXPECT_FALSE(listed.body.contains("$argon2"));

    // Ann signs in with the password given, as an editor, until she is made a reader.
    Browser ann(app);
    ann.anonymous();
    ann.userMode = "APPLICATION";
    EXPECT_FALSE(SignIn(ann, "ann", PASSWORD).redirect.isEmpty());
    EXPECT_EQ(ann.get("page=forms").status, 200);
    const Page demoted = UsersAction(admin, "user-role", "ann", {{"role", "reader"}});
    EXPECT_EQ(demoted.redirect, "/?page=users&done=user-role&user=ann");
    EXPECT_TRUE(Follow(admin, demoted).body.contains(userRow("ann", "reader", false, true)));
    EXPECT_EQ(ann.get("page=forms").status, 403);

    // Disabled, she is signed out and cannot sign in again; enabled with a new password, she can.
    const Page disabled = UsersAction(admin, "user-disable", "ann");
    EXPECT_TRUE(Follow(admin, disabled).body.contains(userRow("ann", "reader", true, true)));
    EXPECT_FALSE(ann.get("page=tables").body.contains("<li class=\"user\">ann</li>"));
    EXPECT_TRUE(SignIn(ann, "ann", PASSWORD).redirect.isEmpty());
    EXPECT_FALSE(UsersAction(admin, "user-enable", "ann").redirect.isEmpty());
    const Page reset = UsersAction(admin, "user-password", "ann", newPassword("another secret"));
    EXPECT_TRUE(Follow(admin, reset).body.contains("ann has a new password"));
    EXPECT_TRUE(SignIn(ann, "ann", PASSWORD).redirect.isEmpty());
    EXPECT_FALSE(SignIn(ann, "ann", "another secret").redirect.isEmpty());
    EXPECT_TRUE(ann.get("page=tables").body.contains("<li class=\"user\">ann</li>"));
    const Page ended = UsersAction(admin, "user-signout", "ann");
    EXPECT_EQ(ended.redirect, "/?page=users&done=user-signout&user=ann&count=1");
    EXPECT_TRUE(Follow(admin, ended).body.contains("Sessions of ann ended: 1."));
    EXPECT_FALSE(ann.get("page=tables").body.contains("<li class=\"user\">ann</li>"));

    // Every change, newest first, by the administrator, from where they asked; no password.
    const auto entries = AuditEntries(admin, "&object=ann");
    EXPECT_EQ(Column(entries, "action"),
              QStringList({"user-signout", "user-password", "user-enable", "user-disable",
                           "user-role", "user-add"}));
    EXPECT_EQ(Column(entries, "detail"),
              QStringList({"", "", "", "", "role=reader (was editor)", "role=editor"}));
    for (const auto& entry : entries) {
        EXPECT_EQ(entry.value("user_name"), webapp::ProgramAccount());
        EXPECT_EQ(entry.value("address"), "127.0.0.1");
    }
    const QByteArray csv = admin.get("page=audit&format=csv").content;
    EXPECT_FALSE(csv.contains(PASSWORD.toUtf8()) || csv.contains("another secret") ||
                 csv.contains("$argon2"));
}

TEST(Users, WhatWillNotDoIsRefusedWithItsReasonAndNothingIsWritten) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser admin(app);
    admin.userMode = "APPLICATION";
    ASSERT_FALSE(UsersAction(admin, "user-add", "ann",
                             {{"role", "reader"}, {"newpassword", PASSWORD}, {"repeat", PASSWORD}})
                     .redirect.isEmpty());
    const QHash<QString, QString> password = newPassword(PASSWORD);
    const struct {
        const char* action;
        QString user;
        QHash<QString, QString> fields;
        int status;
        const char* says;
    } cases[] = {
        {"user-add",
         "ann",
         {{"role", "reader"}, {"newpassword", PASSWORD}, {"repeat", PASSWORD}},
         409,
         "there is a user named ann already"},
        {"user-add", "a\x01", password, 400, "A user name has 1 to 64 characters"},
        {"user-add", "bob", password, 400, "choose the role"}, // none given
        {"user-add",
         "bob",
         {{"role", "reader"}, {"newpassword", PASSWORD}},
         400,
         "The two new passwords differ."},
        {"user-role", "ann", {{"role", "anonymous"}}, 400, "choose the role"},
        {"user-disable", "Ann", {}, 404, "no user named Ann"},
        {"user-password", "ann", newPassword("short"), 400, "at least 8 characters"},
        {"user-delete", "ann", {}, 400, "the page did not say what to do"},
    };
    for (const auto& c : cases) {
        const Page page = UsersAction(admin, c.action, c.user, c.fields);
        EXPECT_EQ(page.status, c.status) << c.action << " " << c.user.toStdString();
        EXPECT_TRUE(page.redirect.isEmpty()) << c.action;
        EXPECT_TRUE(page.body.contains(c.says)) << c.action << " " << c.says;
        EXPECT_FALSE(page.body.contains(PASSWORD)) << c.action;
    }
    // A refused add keeps the name and role typed.
    const Page again =
        UsersAction(admin, "user-add", "bob", {{"role", "editor"}, {"newpassword", "short"}});
    EXPECT_TRUE(again.body.contains(
        "name=\"user\" type=\"text\" autocomplete=\"off\" required value=\"bob\""));
    EXPECT_TRUE(again.body.contains("<option value=\"editor\" selected>"));
    EXPECT_TRUE(admin.get("page=users").body.contains(userRow("ann", "reader", false, true)));
    EXPECT_EQ(Column(AuditEntries(admin), "action"), QStringList({"user-add"}));

    // Without passwords (the detect user mode) there is no password to set.
    admin.userMode = "DETECT";
    const Page detect = UsersAction(admin, "user-password", "ann", newPassword("another secret"));
    EXPECT_EQ(detect.status, 400);
    EXPECT_TRUE(detect.body.contains("accounts have no passwords"));
    EXPECT_FALSE(detect.body.contains("Set password"));
}

TEST(Users, TheLastEnabledAdministratorCanBeNeitherDisabledNorDemoted) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser admin(app);
    admin.userMode = "APPLICATION";
    const auto addAdmin = [&](const QString& name) {
        QHash<QString, QString> fields = newPassword(PASSWORD);
        fields.insert("role", "admin");
        return UsersAction(admin, "user-add", name, fields);
    };
    ASSERT_FALSE(addAdmin("chief").redirect.isEmpty());
    // Signed in, an administrator sees who they are and the way to the users and the trail.
    Browser chief(app);
    chief.anonymous();
    chief.userMode = "APPLICATION";
    ASSERT_FALSE(SignIn(chief, "chief", PASSWORD).redirect.isEmpty());
    const Page adminPage = chief.get("page=admin");
    EXPECT_EQ(adminPage.status, 200);
    EXPECT_TRUE(support::ContainsInOrder(
        adminPage.body,
        {"Signed in as chief (administrator). User mode: application.",
         "<a href=\"/?page=users\">Users</a>", "<a href=\"/?page=audit\">Audit trail</a>"}));
    EXPECT_EQ(chief.get("page=users").status, 200);
    for (const auto& [action, role] :
         {std::pair{"user-disable", ""}, {"user-role", "editor"}, {"user-role", "reader"}}) {
        const Page refused = UsersAction(admin, action, "chief", {{"role", role}});
        EXPECT_EQ(refused.status, 409) << action << role;
        EXPECT_TRUE(refused.body.contains("chief is the last enabled administrator")) << action;
    }
    EXPECT_TRUE(
        admin.get("page=users").body.contains(userRow("chief", "administrator", false, true)));
    // Keeping the role is no demotion.
    EXPECT_FALSE(UsersAction(admin, "user-role", "chief", {{"role", "admin"}}).redirect.isEmpty());

    // With a second administrator either may go, but not both.
    ASSERT_FALSE(addAdmin("second").redirect.isEmpty());
    EXPECT_FALSE(UsersAction(admin, "user-role", "chief", {{"role", "editor"}}).redirect.isEmpty());
    EXPECT_EQ(UsersAction(admin, "user-disable", "second").status, 409);
    // A disabled administrator does not count.
    ASSERT_FALSE(addAdmin("third").redirect.isEmpty());
    EXPECT_FALSE(UsersAction(admin, "user-disable", "third").redirect.isEmpty());
    EXPECT_EQ(UsersAction(admin, "user-role", "second", {{"role", "reader"}}).status, 409);
    // Nor, where the users sign in, one without a password; without passwords one does.
    admin.userMode = "DETECT";
    ASSERT_FALSE(
        UsersAction(admin, "user-add", "detected", {{"role", "admin"}}).redirect.isEmpty());
    admin.userMode = "APPLICATION";
    EXPECT_EQ(UsersAction(admin, "user-disable", "second").status, 409);
    admin.userMode = "DETECT";
    EXPECT_FALSE(UsersAction(admin, "user-disable", "second").redirect.isEmpty());
    EXPECT_EQ(UsersAction(admin, "user-disable", "detected").status, 409);

    EXPECT_EQ(Column(AuditEntries(admin, "&action=user-disable"), "object"),
              QStringList({"second", "third"}));
    EXPECT_EQ(Column(AuditEntries(admin, "&action=user-role"), "object"), QStringList({"chief"}));
}

TEST(Users, NobodyButAnAdministratorSeesTheUsersOrTheAuditTrail) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser admin(app);
    for (const auto& [name, role] : {std::pair{"boss", "admin"}, {"writer", "editor"}})
        ASSERT_FALSE(UsersAction(admin, "user-add", name, {{"role", role}}).redirect.isEmpty());
    admin.userMode = "APPLICATION";
    ASSERT_FALSE(
        UsersAction(admin, "user-password", "writer", newPassword(PASSWORD)).redirect.isEmpty());
    const struct {
        const char* what;
        const char* mode;
        QString user, authType;
        bool signIn; // signs in as writer first
        int status;  // 302: to the sign-in page
    } cases[] = {
        {"anonymous", "DETECT", "", "", false, 403},
        {"anonymous where users sign in", "APPLICATION", "", "", false, 302},
        {"a detected user without an account", "DETECT", "visitor", "Local", false, 403},
        {"a detected editor", "DETECT", "writer", "Proxy", false, 403},
        {"a signed-in editor", "APPLICATION", "", "", true, 403},
        {"the program's account elsewhere", "DETECT", webapp::ProgramAccount(), "Proxy", false,
         403},
        {"a detected administrator", "DETECT", "boss", "Proxy", false, 200},
    };
    // Kept to the end: the component is made with the service of the last browser made.
    std::list<Browser> browsers;
    for (const auto& c : cases) {
        Browser& browser = browsers.emplace_back(app);
        browser.userMode = c.mode;
        browser.remoteUser = c.user;
        browser.authType = c.authType;
        if (c.signIn) {
            ASSERT_FALSE(SignIn(browser, "writer", PASSWORD).redirect.isEmpty()) << c.what;
        }
        for (const char* page : {"page=users", "page=audit", "page=audit&format=csv"}) {
            const Page seen = browser.get(page);
            EXPECT_EQ(seen.redirect.isEmpty() ? seen.status : 302, c.status) << c.what << page;
            if (c.status == 302) {
                EXPECT_TRUE(seen.redirect.startsWith("/?page=signin&next=")) << c.what;
            }
            EXPECT_EQ(seen.body.contains("user-add"), c.status == 200) << c.what << page;
        }
        // A post with the token its own pages would carry changes nothing either.
        const QString binding = c.user.isEmpty() ? QString() : "user:" + c.user;
        const Page post = browser.post("page=users&action=user-role&user=writer&role=admin&token=" +
                                       webapp::ActionToken(Browser::SECRET, "users", binding));
        EXPECT_EQ(post.redirect.isEmpty() ? post.status : 302, c.status == 200 ? 302 : c.status)
            << c.what;
        // The administration page links both pages for administrators only.
        const Page adminPage = browser.get("page=admin&key=" + bridge::AdminKey(Browser::SECRET));
        EXPECT_EQ(adminPage.body.contains("<a href=\"/?page=users\">Users</a>"), c.status == 200)
            << c.what;
        EXPECT_EQ(adminPage.body.contains("<a href=\"/?page=audit\">Audit trail</a>"),
                  c.status == 200)
            << c.what;
    }
    // Only the detected administrator's post was written.
    const auto changes = AuditEntries(admin, "&action=user-role");
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes.first().value("user_name"), "boss");
    EXPECT_EQ(changes.first().value("detail"), "role=admin (was editor)");
}

TEST(Users, AnActionWithoutItsTokenWritesNothing) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser admin(app);
    const QString valid = InputValue(admin.get("page=users").body, "token");
    EXPECT_EQ(valid, webapp::ActionToken(Browser::SECRET, "users", adminBinding()));
    const QString add = "page=users&action=user-add&user=mallory&role=admin";
    const struct {
        const char* what;
        QString token;
    } cases[] = {
        {"no token", {}},
        {"a token of nothing", "0123456789abcdef"},
        {"another action's token", webapp::ActionToken(Browser::SECRET, "signout", adminBinding())},
        {"another user's token", webapp::ActionToken(Browser::SECRET, "users", "user:someone")},
        {"an earlier run's token", webapp::ActionToken("an earlier run", "users", adminBinding())},
    };
    for (const auto& c : cases) {
        const Page page = admin.post(add + (c.token.isNull() ? QString() : "&token=" + c.token));
        EXPECT_EQ(page.status, 403) << c.what;
        EXPECT_TRUE(page.redirect.isEmpty()) << c.what;
        EXPECT_TRUE(page.body.contains("Please send it again.")) << c.what;
    }
    // The right fields in an address only show the page.
    const Page get = admin.get(add + "&token=" + valid);
    EXPECT_EQ(get.status, 200);
    EXPECT_TRUE(get.redirect.isEmpty());
    EXPECT_FALSE(admin.get("page=users").body.contains("mallory"));
    EXPECT_TRUE(AuditEntries(admin).isEmpty());
    // The page's own token is taken.
    EXPECT_FALSE(admin.post(add + "&token=" + valid).redirect.isEmpty());
    EXPECT_TRUE(admin.get("page=users").body.contains("mallory"));
}

TEST(Users, HostileNamesAreShownAsTextEverywhere) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser admin(app);
    const struct {
        QString name, shown;
    } names[] = {
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"\"quoted\" & 'single'", "&quot;quoted&quot; &amp; &#39;single&#39;"},
        {"Zoë 名前 Ωμέγα", "Zoë 名前 Ωμέγα"},
    };
    for (const auto& n : names) {
        const Page added = UsersAction(admin, "user-add", n.name, {{"role", "reader"}});
        EXPECT_TRUE(Follow(admin, added).body.contains("The user " + n.shown + " has been added."))
            << n.name.toStdString();
        // Its buttons carry the name as it is: they act on that user.
        const Page disabled = UsersAction(admin, "user-disable", n.name);
        EXPECT_FALSE(disabled.redirect.isEmpty()) << n.name.toStdString();
        EXPECT_TRUE(Follow(admin, disabled).body.contains(n.shown + " has been disabled"));
    }
    const QString users = admin.get("page=users").body;
    const QString audit = admin.get("page=audit").body;
    for (const QString& body : {users, audit}) {
        EXPECT_FALSE(body.contains("<script>alert"));
        EXPECT_FALSE(body.contains("\"quoted\""));
        for (const auto& n : names)
            EXPECT_TRUE(body.contains(">" + n.shown + "<")) << n.name.toStdString();
    }
    EXPECT_TRUE(users.contains(userRow(names[0].shown, "reader", true, false)));
    // A name in the trail leads to its entries: URL-encoded in the address.
    EXPECT_TRUE(audit.contains(
        "<a href=\"/?page=audit&amp;object=%3Cscript%3Ealert%281%29%3C%2Fscript%3E\">"));
    EXPECT_EQ(Column(AuditEntries(admin, "&object=" + Enc(names[2].name)), "action"),
              QStringList({"user-disable", "user-add"}));
}
