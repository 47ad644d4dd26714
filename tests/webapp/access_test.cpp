// The parts of users and sign-in that need no data server: the rules file, the back-off, the
// session cookie and the password hashes.

#include "webapp/applicationservice.h"
#include "webapp/auth/accessrules.h"
#include "webapp/auth/passwords.h"
#include "webapp/auth/sessioncookie.h"
#include "webapp/auth/signinthrottle.h"

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace webapp {
namespace {

TEST(AccessRules, DefaultsObjectsAndMistakesNeverOpenMore) {
    const AccessRules none;
    EXPECT_TRUE(none.allows(Role::Anonymous, ObjectKind::Table, "orders"));
    EXPECT_FALSE(none.allows(Role::Reader, ObjectKind::Form, "stock"));
    EXPECT_TRUE(none.allows(Role::Editor, ObjectKind::Form, "stock"));
    EXPECT_EQ(none.detectedRole(), Role::Reader);

    QStringList problems;
    const AccessRules rules = AccessRules::parse(R"(<Access>
        <Defaults tables="reader" queries="ANONYMOUS" forms="admin" detected="editor"/>
        <Table name="public" allow="anonymous"/>
        <Table name="secret" allow="nobody"/>
        <Table name="typo" allow="raeder"/>
        <Form name="stock" allow="editor"/>
    </Access>)",
                                                 &problems);
    EXPECT_FALSE(rules.allows(Role::Anonymous, ObjectKind::Table, "orders"));
    EXPECT_TRUE(rules.allows(Role::Reader, ObjectKind::Table, "orders"));
    EXPECT_TRUE(rules.allows(Role::Anonymous, ObjectKind::Table, "public"));
    // Nobody means nobody, administrators included; names are exact.
    EXPECT_FALSE(rules.allows(Role::Admin, ObjectKind::Table, "secret"));
    EXPECT_FALSE(rules.allows(Role::Anonymous, ObjectKind::Table, "Public"));
    // A misspelt role closes the object to all but administrators.
    EXPECT_FALSE(rules.allows(Role::Editor, ObjectKind::Table, "typo"));
    EXPECT_TRUE(rules.allows(Role::Admin, ObjectKind::Table, "typo"));
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].contains("raeder"));
    EXPECT_TRUE(rules.allows(Role::Anonymous, ObjectKind::Query, "any"));
    EXPECT_TRUE(rules.allows(Role::Editor, ObjectKind::Form, "stock"));
    EXPECT_FALSE(rules.allows(Role::Editor, ObjectKind::Form, "other"));
    EXPECT_EQ(rules.detectedRole(), Role::Editor);
    // The menu shows Forms to an editor, who may use one of them.
    EXPECT_TRUE(rules.allowsAny(Role::Editor, ObjectKind::Form));
    EXPECT_FALSE(rules.allowsAny(Role::Reader, ObjectKind::Form));
    EXPECT_TRUE(rules.allowsAny(Role::Anonymous, ObjectKind::Table));

    // A file that cannot be read leaves the objects to administrators.
    problems.clear();
    const AccessRules broken = AccessRules::parse("<Access><Table name=", &problems);
    EXPECT_FALSE(broken.allows(Role::Editor, ObjectKind::Table, "orders"));
    EXPECT_TRUE(broken.allows(Role::Admin, ObjectKind::Table, "orders"));
    EXPECT_EQ(broken.detectedRole(), Role::Anonymous);
    EXPECT_EQ(problems.size(), 1);
}

TEST(AccessRules, EditingIsForEditorsAtLeastAndOnlyOfTablesTheyMaySee) {
    const AccessRules none;
    EXPECT_FALSE(none.allowsEdit(Role::Reader, "orders"));
    EXPECT_TRUE(none.allowsEdit(Role::Editor, "orders"));

    QStringList problems;
    const AccessRules rules = AccessRules::parse(R"(<Access>
        <Defaults tables="anonymous" edit="anonymous"/>
        <Table name="prices" edit="admin"/>
        <Table name="closed" edit="nobody"/>
        <Table name="hidden" allow="admin" edit="editor"/>
        <Table name="typo" edit="editr"/>
    </Access>)",
                                                 &problems);
    // A role below editor in the file still means editor: visitors never edit.
    EXPECT_FALSE(rules.allowsEdit(Role::Anonymous, "orders"));
    EXPECT_FALSE(rules.allowsEdit(Role::Reader, "orders"));
    EXPECT_TRUE(rules.allowsEdit(Role::Editor, "orders"));
    EXPECT_FALSE(rules.allowsEdit(Role::Editor, "prices"));
    EXPECT_TRUE(rules.allowsEdit(Role::Admin, "prices"));
    EXPECT_FALSE(rules.allowsEdit(Role::Admin, "closed"));
    // Who may not see a table may not edit it either.
    EXPECT_FALSE(rules.allowsEdit(Role::Editor, "hidden"));
    EXPECT_FALSE(rules.allowsEdit(Role::Editor, "typo"));
    EXPECT_TRUE(rules.allowsEdit(Role::Admin, "typo"));
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].contains("editr"));

    const AccessRules broken = AccessRules::parse("<Access", &problems);
    EXPECT_FALSE(broken.allowsEdit(Role::Editor, "orders"));
}

TEST(SignInThrottle, BacksOffPerAccountAndAddressAndForgets) {
    SignInThrottle throttle;
    using namespace std::chrono_literals;
    auto t = SignInThrottle::Clock::now();
    for (int i = 0; i < SignInThrottle::FREE_FAILURES; ++i) {
        EXPECT_EQ(throttle.waitSeconds("ann", "10.0.0.1", t), 0) << i;
        throttle.failed("ann", "10.0.0.1", t);
    }
    // The free failures are used up: 1 s, then 2, 4, ... up to the caps.
    EXPECT_EQ(throttle.waitSeconds("ann", "10.0.0.1", t), 1);
    EXPECT_EQ(throttle.waitSeconds("ANN ", "10.0.0.9", t), 1) << "the account, from anywhere";
    EXPECT_EQ(throttle.waitSeconds("bob", "10.0.0.1", t), 1) << "the address, for any account";
    EXPECT_EQ(throttle.waitSeconds("bob", "10.0.0.9", t), 0);
    for (int i = 0; i < 30; ++i) {
        t += 10min;
        throttle.failed("ann", "10.0.0.1", t);
    }
    EXPECT_EQ(throttle.waitSeconds("ann", "10.0.0.9", t), SignInThrottle::ACCOUNT_CAP.count());
    EXPECT_EQ(throttle.waitSeconds("bob", "10.0.0.1", t), SignInThrottle::ADDRESS_CAP.count());
    // The real user gets in once the account's short wait is over, from another address.
    EXPECT_EQ(throttle.waitSeconds("ann", "10.0.0.9", t + SignInThrottle::ACCOUNT_CAP), 0);
    throttle.succeeded("ann", "10.0.0.9");
    EXPECT_EQ(throttle.waitSeconds("ann", "10.0.0.9", t), 0);
    // Failures long past count for nothing.
    t += SignInThrottle::FORGET_AFTER + 1s;
    throttle.failed("bob", "10.0.0.1", t);
    EXPECT_EQ(throttle.waitSeconds("carl", "10.0.0.1", t), 0);
}

TEST(SessionCookie, OnlyIdsOfOurMakingHaveAKey) {
    const QString id = NewSessionId();
    EXPECT_GE(id.size(), 43); // 256 bits in base64
    EXPECT_NE(id, NewSessionId());
    const QString key = SessionKey(id);
    EXPECT_EQ(key.size(), 64);
    EXPECT_NE(key, id);
    EXPECT_EQ(SessionKey(id), key);
    for (const QString& forged : {QString(), QStringLiteral("1"), id.left(42), id + "A",
                                  QString(id).replace(0, 1, "%"), QStringLiteral("' OR 1=1 --")})
        EXPECT_EQ(SessionKey(forged), QString()) << forged.toStdString();

    EXPECT_EQ(SessionIdFromCookies("a=1; qvsession=" + id + "; b=2"), id);
    EXPECT_EQ(SessionIdFromCookies("xqvsession=1; qvsessionx=2"), QString());
    const QString cookie = SessionCookie(id, false);
    for (const char* part : {"HttpOnly", "SameSite=Lax", "Path=/"})
        EXPECT_TRUE(cookie.contains(part)) << part;
    EXPECT_FALSE(cookie.contains("Secure"));
    EXPECT_TRUE(SessionCookie(id, true).endsWith("; Secure"));
    EXPECT_TRUE(SessionCookie({}, false).contains("Max-Age=0"));
}

TEST(Passwords, Argon2idHashesVerifyAndCheckTheirRules) {
    const QString hash = HashPassword(QStringLiteral("correct horse ünïcödé"));
    EXPECT_TRUE(hash.startsWith("$argon2id$"));
    EXPECT_NE(hash, HashPassword(QStringLiteral("correct horse ünïcödé"))) << "salted";
    EXPECT_TRUE(VerifyPassword(hash, QStringLiteral("correct horse ünïcödé")));
    EXPECT_FALSE(VerifyPassword(hash, QStringLiteral("correct horse unicode")));
    EXPECT_FALSE(VerifyPassword({}, {}));
    EXPECT_FALSE(VerifyPassword(QStringLiteral("$argon2id$garbage"), QStringLiteral("x")));
    EXPECT_FALSE(NeedsRehash(hash));
    EXPECT_FALSE(VerifyPassword(DecoyHash(), QString()));

    EXPECT_STREQ(PasswordProblem(QStringLiteral("short")), "webPasswordShort");
    EXPECT_STREQ(PasswordProblem(QString(1025, 'x')), "webPasswordLong");
    EXPECT_STREQ(PasswordProblem(QStringLiteral("long enough\n")), "webPasswordControl");
    EXPECT_STREQ(PasswordProblem(QStringLiteral("\"'<script>")), "");
    EXPECT_STREQ(UserNameProblem(QStringLiteral("  ")), "webUserNameInvalid");
    EXPECT_STREQ(UserNameProblem(QString(10000, 'x')), "webUserNameInvalid");
    EXPECT_STREQ(UserNameProblem(QStringLiteral("a") + QChar(0) + "b"), "webUserNameInvalid");
    EXPECT_STREQ(UserNameProblem(QStringLiteral("Zoë 王")), "");
}

} // namespace
} // namespace webapp

namespace webapp {
namespace {

// The state sign-ins share across the workers that make pages at once: the back-off, the
// hashing gate and the rules file read again when it changes. Run under ThreadSanitizer too.
TEST(SignInState, ManyWorkersAtOnce) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto writeRules = [&folder](const char* role) {
        QFile file(folder.filePath("access.xml"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray("<Access><Defaults tables=\"") + role + "\"/></Access>");
    };
    writeRules("reader");
    ApplicationService service;
    bridge::ApplicationSettings settings;
    settings.applicationFolder = folder.path();
    service.configure(settings);
    std::atomic<int> hashing{0}, most{0}, admitted{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 8; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                const QString address = QStringLiteral("10.0.0.%1").arg(t);
                service.signInThrottle().failed(QStringLiteral("shared"), address);
                service.signInThrottle().waitSeconds(QStringLiteral("user%1").arg(i), address);
                const Role needed = service.accessRules()->rules.least(ObjectKind::Table, "t");
                // A file caught half written reads as closed to all but administrators:
                // never as more open than either version.
                EXPECT_TRUE(needed == Role::Reader || needed == Role::Editor ||
                            needed == Role::Admin);
                if (i % 50 == 0) {
                    const SignInGate::Slot slot(service.signInGate());
                    if (slot) {
                        ++admitted;
                        const int now = ++hashing;
                        int seen = most;
                        while (now > seen && !most.compare_exchange_weak(seen, now)) {
                        }
                        --hashing;
                    }
                }
            }
        });
    writeRules("editor");
    for (std::thread& w : workers)
        w.join();
    EXPECT_LE(most.load(), SignInGate::slots());
    EXPECT_GT(admitted.load(), 0);
    EXPECT_EQ(service.signInThrottle().waitSeconds("shared", "10.0.0.99"),
              SignInThrottle::ACCOUNT_CAP.count());
    EXPECT_EQ(service.accessRules()->rules.least(ObjectKind::Table, "t"), Role::Editor);
}

} // namespace
} // namespace webapp
