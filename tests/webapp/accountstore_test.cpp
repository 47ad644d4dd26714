// The typed client of the account messages against a real data server on the example
// application, through the queue folders, with the reply cache of the pages.
#include "tests/support/qtprinters.h"
#include "webapp/data/accountstore.h"
#include "webapp/data/replycache.h"
#include "webapp/data/replysweep.h"
#include "webappfixture.h"

#include <gtest/gtest.h>

using webapp::AccountStore;
using webapp::AuditEntry;
using webapp::DataFailure;
using webapp::RowSet;
using webapp::SessionRecord;
using webapp::UserChange;
using webapp::UserRecord;

namespace {

class AccountStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_app.ready()); }

    // One column of every row of a page of the audit trail.
    static QStringList column(const RowSet& rows, const QString& name) {
        QStringList values;
        for (const auto& row : rows.rows)
            values << row.value(rows.column(name)).text;
        return values;
    }

    webapptest::ExampleApplication m_app;
    webapp::ReplyCache m_cache;
    webapp::ReplySweep m_sweep;
    webapp::RemoteDatabase m_database{
        webapp::DataClient(m_app.outQueue(), m_app.inQueue(), m_cache, m_sweep)};
    AccountStore m_store{m_database};
};

TEST_F(AccountStoreTest, UsersAreAddedChangedAndListedWithoutTheirHashes) {
    EXPECT_FALSE(m_store.findUser("alice"));
    const AuditEntry added{"root", "127.0.0.1", "add-user", "alice", "", ""};
    EXPECT_TRUE(m_store.saveUser({" alice", "argon-hash", "admin", std::nullopt}, added));
    EXPECT_FALSE(m_store.findUser("alice")) << "names are exact";
    const std::optional<UserRecord> alice = m_store.findUser(" alice");
    ASSERT_TRUE(alice);
    EXPECT_EQ(alice->hash, "argon-hash");
    EXPECT_EQ(alice->role, "admin");
    EXPECT_TRUE(alice->hasPassword);
    EXPECT_FALSE(alice->disabled);
    EXPECT_EQ(alice->created.size(), 19);

    EXPECT_FALSE(m_store.saveUser({" alice", std::nullopt, "editor", true}, std::nullopt));
    EXPECT_TRUE(m_store.saveUser({"bob", QString(), "reader", std::nullopt}, std::nullopt));
    const QList<UserRecord> users = m_store.listUsers();
    ASSERT_EQ(users.size(), 2);
    EXPECT_EQ(users[0].name, " alice");
    EXPECT_EQ(users[0].hash, "");
    EXPECT_TRUE(users[0].hasPassword);
    EXPECT_TRUE(users[0].disabled);
    EXPECT_EQ(users[0].role, "editor");
    EXPECT_EQ(users[1].name, "bob");
    EXPECT_FALSE(users[1].hasPassword);

    try {
        m_store.saveUser({"carol", "h", std::nullopt, std::nullopt}, std::nullopt);
        ADD_FAILURE() << "a new user without a role was saved";
    } catch (const DataFailure& failure) {
        EXPECT_EQ(failure.code, "InvalidArgument");
    }
    EXPECT_EQ(column(m_store.readAudit({}), "action"), QStringList{"add-user"});
}

// A session found once is found from the reply cache until the data changes: a user disabled
// meanwhile is never let in on the strength of the earlier reply.
TEST_F(AccountStoreTest, SessionsFollowTheirUserThroughTheReplyCache) {
    m_store.saveUser({"alice", "h1", "admin", std::nullopt}, std::nullopt);
    const SessionRecord opened = m_store.openSession("key-1", "alice", 1200, 86400, std::nullopt);
    EXPECT_TRUE(opened.found);
    EXPECT_EQ(opened.user, "alice");
    EXPECT_EQ(opened.role, "admin");
    EXPECT_GT(opened.created, 0);
    EXPECT_EQ(opened.lastSeen, opened.created);
    for (int i = 0; i < 2; ++i) {
        const SessionRecord found = m_store.findSession("key-1");
        EXPECT_TRUE(found.found);
        EXPECT_EQ(found.created, opened.created);
    }
    EXPECT_TRUE(m_store.touchSession("key-1").found);
    EXPECT_FALSE(m_store.findSession("key-2").found);

    m_store.saveUser({"alice", std::nullopt, std::nullopt, true}, std::nullopt);
    EXPECT_FALSE(m_store.findSession("key-1").found);

    m_store.saveUser({"alice", std::nullopt, std::nullopt, false}, std::nullopt);
    m_store.openSession("key-2", "alice", 0, 0, std::nullopt);
    m_store.openSession("key-3", "alice", 0, 0, std::nullopt);
    const AuditEntry out{"alice", "127.0.0.1", "sign-out", "", "", ""};
    EXPECT_EQ(m_store.closeSession("key-2", out), 1);
    EXPECT_EQ(m_store.closeSession("key-2", std::nullopt), 0);
    EXPECT_EQ(m_store.closeSessionsOf("alice", std::nullopt), 1);
    EXPECT_FALSE(m_store.findSession("key-3").found);
}

TEST_F(AccountStoreTest, WritesAndEventsEnterTheAuditTrail) {
    webapp::QueryRun add;
    add.name = "AddCustomer";
    add.arguments = {{"name", QString("Audited")},
                     {"city", QString("Bern")},
                     {"country", QString("CH")},
                     {"email", QString()}};
    add.requestId = "form-7";
    add.audit = AuditEntry{"alice", "10.1.2.3", "insert", "customers", "from a form", ""};
    const webapp::WriteResult first = m_database.write(add);
    EXPECT_TRUE(m_database.write(add).duplicate) << "the same id is applied once";
    for (const QString action : {"sign-in", "sign-out"})
        m_store.addAudit({"bob", "10.1.2.4", action, "", "", ""});

    const RowSet latest = m_store.readAudit({});
    EXPECT_EQ(column(latest, "action"), QStringList({"sign-out", "sign-in", "insert"}));
    EXPECT_EQ(column(latest, "record_key").last(), QString::number(first.lastInsertId));
    EXPECT_EQ(column(latest, "address").last(), "10.1.2.3");
    EXPECT_EQ(latest.total, 3);

    webapp::TableRead bobs;
    bobs.table = "customers"; // ignored: the trail is read
    bobs.filters = {{"user_name", "eq", "bob"}};
    bobs.orderBy = {{"id"}};
    bobs.limit = 1;
    const RowSet firstOfBob = m_store.readAudit(bobs);
    EXPECT_EQ(column(firstOfBob, "action"), QStringList{"sign-in"});
    EXPECT_TRUE(firstOfBob.more);

    QStringList exported;
    m_store.exportAudit({}, [&](const RowSet& part) { exported += column(part, "action"); });
    EXPECT_EQ(exported, QStringList({"sign-out", "sign-in", "insert"}));
}

} // namespace
