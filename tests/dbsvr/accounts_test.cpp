// The web application's users, sessions and audit trail as the data server keeps them, on
// both kinds of database: the account messages, and the server's own tables they live in.
#include "dbsvr/config.h"
#include "dbsvr/database.h"
#include "dbsvr/messagehandler.h"
#include "dbsvrfixture.h"
#include "testdatabase.h"
#include "tests/support/qtprinters.h"

#include <QDateTime>
#include <QRegularExpression>
#include <gtest/gtest.h>

using dbsvr::Database;
using dbsvr::MessageHandler;

namespace {

QString Element(const char* name, const QString& value) {
    return QStringLiteral("<%1>%2</%1>").arg(QLatin1String(name), value.toHtmlEscaped());
}

QString Message(const char* type, const QString& body = {}) {
    return QStringLiteral("<XML><Type>%1</Type>%2</XML>").arg(QLatin1String(type), body);
}

QString Audit(const QString& user, const QString& action, const QString& recordKey = {}) {
    return "<Audit>" + Element("User", user) + Element("Address", "10.0.0.7") +
           Element("Action", action) + Element("Object", "orders") + Element("Detail", "by test") +
           Element("RecordKey", recordKey) + "</Audit>";
}

QString SaveUser(const QString& name, const QString& extra) {
    return Message("SaveUser", Element("Name", name) + extra);
}

QString OpenSession(const QString& key, const QString& user, qint64 idle = 0, qint64 max = 0) {
    return Message("OpenSession", Element("Key", key) + Element("User", user) +
                                      Element("IdleSeconds", QString::number(idle)) +
                                      Element("MaxSeconds", QString::number(max)));
}

QString SessionMessage(const char* type, const QString& key) {
    return Message(type, Element("Key", key));
}

const QRegularExpression UTC_TIME(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));

class AccountsTest : public TestSchemaTest {
protected:
    // The error code of a request that should have succeeded ("" when it did).
    QString error(const QString& request) const {
        const Reply r = ask(request);
        EXPECT_EQ(r.text("/XML/Error"), "") << r.raw.constData();
        return r.text("/XML/Error");
    }
    void addUser(const QString& name, const QString& role = "editor") const {
        error(SaveUser(name, Element("Hash", "h-" + name) + Element("Role", role)));
    }
    QString sessionsLeft() const { return m_data.value("SELECT count(*) FROM quorvex_sessions"); }
    QString auditRows() const { return m_data.value("SELECT count(*) FROM quorvex_audit"); }
    // key:user of every session, in key order.
    QString sessions() const {
        return m_data.value(m_data.pick(
            "SELECT group_concat(key || ':' || user_name, ' ') FROM "
            "(SELECT * FROM quorvex_sessions ORDER BY key)",
            "SELECT string_agg(key || ':' || user_name, ' ' ORDER BY key COLLATE \"C\") FROM "
            "quorvex_sessions"));
    }
    void addSession(const QString& key, const QString& user, qint64 created, qint64 lastSeen) {
        m_data.exec(QStringLiteral("INSERT INTO quorvex_sessions VALUES ('%1', '%2', %3, %4);")
                        .arg(key, user)
                        .arg(created)
                        .arg(lastSeen));
    }
};

INSTANTIATE_TEST_SUITE_P(Databases, AccountsTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgresql), BackendName);

// Nobody reads a password hash, a session key or the audit trail as a table: every table of the
// server's own is as absent as one that does not exist.
TEST_P(AccountsTest, OwnTablesAreNeitherListedNorDescribedNorRead) {
    addUser("alice");
    error(Message("AddAudit", Audit("alice", "sign-in")));
    error(Message("Query", Element("Name", "AddOrder") +
                               "<Parameters><Parameter name=\"customer\">1</Parameter>"
                               "<Parameter name=\"amount\">2</Parameter></Parameters>" +
                               Element("RequestId", "r1")));
    m_data.exec("CREATE TABLE quorvex_later (secret TEXT); INSERT INTO quorvex_later "
                "VALUES ('s');");
    const Reply list = ask(Message("ListTables"));
    EXPECT_EQ(list.count("//Table"), 4u) << list.raw.constData();
    EXPECT_EQ(list.count("//Table[starts-with(., 'quorvex_')]"), 0u) << list.raw.constData();
    for (const QString table : {"quorvex_users", "quorvex_sessions", "quorvex_audit",
                                "quorvex_requests", "quorvex_later"}) {
        const QString named = Element("Table", table);
        for (const QString& request : {Message("DescribeTable", named), Message("ReadTable", named),
                                       Message("ReadTable", named + Element("Export", "true"))}) {
            const Reply r = ask(request);
            EXPECT_EQ(r.text("/XML/Error"), "UnknownTable") << r.raw.constData();
            EXPECT_EQ(r.count("//Row"), 0u) << r.raw.constData();
        }
    }
}

TEST_P(AccountsTest, SaveUserAddsChangesAndKeepsWhatIsNotGiven) {
    const Reply added = ask(SaveUser("alice", Element("Hash", "h1") + Element("Role", "admin")));
    EXPECT_EQ(added.text("/XML/Type"), "UserSaved") << added.raw.constData();
    EXPECT_EQ(added.text("/XML/Created"), "true");
    const Reply found = ask(Message("FindUser", Element("Name", "alice")));
    EXPECT_EQ(found.text("/XML/Type"), "User");
    EXPECT_EQ(found.text("/XML/Found"), "true");
    EXPECT_EQ(found.text("/XML/Name"), "alice");
    EXPECT_EQ(found.text("/XML/Hash"), "h1");
    EXPECT_EQ(found.text("/XML/Role"), "admin");
    EXPECT_EQ(found.text("/XML/Disabled"), "false");
    EXPECT_TRUE(UTC_TIME.match(found.text("/XML/Created")).hasMatch()) << found.raw.constData();
    EXPECT_EQ(found.text("/XML/Changed"), found.text("/XML/Created"));

    // Only what is given changes; the name is exact.
    EXPECT_EQ(ask(SaveUser("alice", Element("Role", "editor"))).text("/XML/Created"), "false");
    const Reply changed = ask(Message("FindUser", Element("Name", "alice")));
    EXPECT_EQ(changed.text("/XML/Hash"), "h1");
    EXPECT_EQ(changed.text("/XML/Role"), "editor");
    EXPECT_EQ(changed.text("/XML/Created"), found.text("/XML/Created"));
    EXPECT_EQ(ask(Message("FindUser", Element("Name", "Alice"))).text("/XML/Found"), "false");

    addUser("bob");
    error(SaveUser("bob", Element("Hash", ""))); // a password taken away
    error(SaveUser("zoë", Element("Role", "reader") + Element("Disabled", "true")));
    const Reply list = ask(Message("ListUsers"));
    EXPECT_EQ(list.text("/XML/Type"), "Users");
    EXPECT_EQ(list.count("/XML/Users/User"), 3u);
    QStringList users;
    for (const auto& user : list.doc.select_nodes("/XML/Users/User")) {
        const pugi::xml_node u = user.node();
        users << QString("%1 %2 %3 %4")
                     .arg(u.child_value("Name"), u.child_value("Role"), u.child_value("Disabled"),
                          u.child_value("HasPassword"));
    }
    EXPECT_EQ(users, QStringList({"alice editor false true", "bob editor false false",
                                  QString::fromUtf8("zoë reader true false")}));
    EXPECT_EQ(list.count("//Hash"), 0u) << "no hash leaves in a list";
}

TEST_P(AccountsTest, SaveUserRefusesWhatCannotBeSavedAndChangesNothing) {
    addUser("alice");
    const struct {
        QString request;
        const char* why;
    } cases[] = {
        {SaveUser("bob", Element("Hash", "h")), "a new user without a role"},
        {SaveUser("", Element("Role", "admin")), "no name"},
        {SaveUser("alice", Element("Role", "")), "an empty role"},
        {SaveUser("alice", Element("Disabled", "perhaps")), "a flag that is no flag"},
        {SaveUser("bob", Element("Hash", "h") + Audit("admin", "add-user")), "with its audit"},
    };
    for (const auto& c : cases) {
        const Reply r = ask(c.request);
        EXPECT_EQ(r.text("/XML/Error"), "InvalidArgument") << c.why << ": " << r.raw.constData();
    }
    EXPECT_EQ(m_data.value("SELECT count(*) FROM quorvex_users"), "1");
    EXPECT_EQ(m_data.value("SELECT role || disabled FROM quorvex_users"), "editor0");
    EXPECT_EQ(auditRows(), "0");
}

// A new password, or a user disabled, ends that user's sessions at once, with the change.
TEST_P(AccountsTest, NewPasswordOrDisabledUserEndsTheirSessions) {
    addUser("alice");
    addUser("carol");
    for (const QString key : {"a1", "a2"})
        error(OpenSession(key, "alice"));
    error(OpenSession("c1", "carol"));

    error(SaveUser("alice", Element("Hash", "h-alice") + Element("Role", "admin")));
    EXPECT_EQ(sessions(), "a1:alice a2:alice c1:carol") << "the same hash changes nothing";
    error(SaveUser("alice", Element("Hash", "h2") + Audit("alice", "password")));
    EXPECT_EQ(sessions(), "c1:carol");
    EXPECT_EQ(auditRows(), "1");

    error(OpenSession("a3", "alice"));
    error(SaveUser("alice", Element("Disabled", "true")));
    EXPECT_EQ(sessions(), "c1:carol");
    const Reply disabled = ask(Message("FindUser", Element("Name", "alice")));
    EXPECT_EQ(disabled.text("/XML/Disabled"), "true");
    EXPECT_EQ(disabled.text("/XML/Role"), "admin");
    EXPECT_EQ(disabled.text("/XML/Hash"), "h2");

    // A session whose user has gone is found by nobody, and a user made anew under that name
    // does not get it back.
    addSession("left", "dave", QDateTime::currentSecsSinceEpoch(),
               QDateTime::currentSecsSinceEpoch());
    EXPECT_EQ(ask(SessionMessage("FindSession", "left")).text("/XML/Found"), "false");
    addUser("dave");
    EXPECT_EQ(ask(SessionMessage("FindSession", "left")).text("/XML/Found"), "false");
}

TEST_P(AccountsTest, SessionsOpenAreFoundTouchedAndClosed) {
    addUser("alice", "admin");
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    const Reply opened = ask(OpenSession("k1", "alice", 600, 3600));
    EXPECT_EQ(opened.text("/XML/Type"), "Session") << opened.raw.constData();
    EXPECT_EQ(opened.text("/XML/Found"), "true");
    EXPECT_EQ(opened.text("/XML/User"), "alice");
    EXPECT_EQ(opened.text("/XML/Role"), "admin");
    EXPECT_EQ(opened.text("/XML/Disabled"), "false");
    const qint64 created = opened.text("/XML/Created").toLongLong();
    EXPECT_GE(created, before);
    EXPECT_LE(created, QDateTime::currentSecsSinceEpoch());
    EXPECT_EQ(opened.text("/XML/LastSeen"), opened.text("/XML/Created"));

    const Reply found = ask(SessionMessage("FindSession", "k1"));
    EXPECT_EQ(found.text("/XML/Found"), "true");
    EXPECT_EQ(found.text("/XML/User"), "alice");
    EXPECT_EQ(found.text("/XML/Created"), opened.text("/XML/Created"));
    EXPECT_EQ(ask(SessionMessage("FindSession", "K1")).text("/XML/Found"), "false");

    m_data.exec("UPDATE quorvex_sessions SET last_seen = 1000, created = 900;");
    const Reply touched = ask(SessionMessage("TouchSession", "k1"));
    EXPECT_EQ(touched.text("/XML/Found"), "true");
    EXPECT_EQ(touched.text("/XML/Created"), "900");
    EXPECT_GE(touched.text("/XML/LastSeen").toLongLong(), before);
    EXPECT_EQ(ask(SessionMessage("TouchSession", "none")).text("/XML/Found"), "false");
    // A look-up changes nothing, so the data version it was answered under still holds; a touch
    // is a change like any other.
    m_db->takeChanged();
    ask(SessionMessage("FindSession", "k1"));
    if (GetParam() == Backend::Postgresql) {
        EXPECT_FALSE(m_db->takeChanged());
    }
    ask(SessionMessage("TouchSession", "k1"));
    EXPECT_TRUE(m_db->takeChanged());

    error(OpenSession("k2", "alice"));
    error(OpenSession("k3", "alice"));
    const Reply closed = ask(SessionMessage("CloseSession", "k1"));
    EXPECT_EQ(closed.text("/XML/Type"), "SessionClosed");
    EXPECT_EQ(closed.text("/XML/Count"), "1");
    EXPECT_EQ(ask(SessionMessage("CloseSession", "k1")).text("/XML/Count"), "0");
    const Reply all =
        ask(Message("CloseSession", Element("User", "alice") + Audit("alice", "sign-out")));
    EXPECT_EQ(all.text("/XML/Count"), "2");
    EXPECT_EQ(sessionsLeft(), "0");
    EXPECT_EQ(auditRows(), "1");

    for (const QString& refused :
         {Message("CloseSession"),
          Message("CloseSession", Element("Key", "k2") + Element("User", "alice")),
          OpenSession("", "alice"), OpenSession("k4", ""),
          Message("OpenSession",
                  Element("Key", "k4") + Element("User", "alice") + Element("IdleSeconds", "-5"))})
        EXPECT_EQ(ask(refused).text("/XML/Error"), "InvalidArgument") << refused.toStdString();
    EXPECT_EQ(sessionsLeft(), "0");
}

// Opening a session ends those past their idle time or their whole time; a limit of 0 is none.
TEST_P(AccountsTest, OpeningASessionEndsThoseThatHaveExpired) {
    addUser("alice");
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    addSession("idle", "alice", now - 500, now - 400);   // idle past 300 s
    addSession("old", "alice", now - 4000, now - 10);    // opened past 3600 s
    addSession("fresh", "alice", now - 3000, now - 200); // within both
    addSession("ancient", "bob", 0, 0);

    error(OpenSession("n1", "alice"));
    EXPECT_EQ(sessions(), "ancient:bob fresh:alice idle:alice n1:alice old:alice")
        << "without limits nothing ends";
    error(OpenSession("n2", "alice", 300, 0));
    EXPECT_EQ(sessions(), "fresh:alice n1:alice n2:alice old:alice");
    error(OpenSession("n3", "alice", 0, 3600));
    EXPECT_EQ(sessions(), "fresh:alice n1:alice n2:alice n3:alice");
    error(OpenSession("n4", "alice", 100, 3600));
    EXPECT_EQ(sessions(), "n1:alice n2:alice n3:alice n4:alice");
}

// The audit entry of a write is written in the write's transaction: once per request id, never
// for a write that failed or a read, with the new row's id as its record key when it names none.
TEST_P(AccountsTest, WriteQueriesAreAuditedOnceWithTheirRecord) {
    const QString order = "<Parameters><Parameter name=\"customer\">2</Parameter>"
                          "<Parameter name=\"amount\">1.5</Parameter></Parameters>";
    const QString add =
        Message("Query", Element("Name", "AddOrder") + order + Element("RequestId", "form-1") +
                             Audit("alice", "insert"));
    EXPECT_EQ(ask(add).text("/XML/LastInsertId"), "5");
    const Reply again = ask(add);
    EXPECT_EQ(again.text("/XML/Duplicate"), "true") << again.raw.constData();
    EXPECT_EQ(auditRows(), "1");
    const std::unique_ptr<Database> other = m_data.open(); // another web server's data server
    EXPECT_EQ(Reply(MessageHandler(&m_data.config(), other.get()).handle(add.toUtf8()))
                  .text("/XML/Duplicate"),
              "true");
    EXPECT_EQ(auditRows(), "1");

    const QString rename = "<Parameters><Parameter name=\"id\">2</Parameter>"
                           "<Parameter name=\"name\">B</Parameter></Parameters>";
    error(
        Message("Query", Element("Name", "RenameCustomer") + rename + Audit("bob", "update", "2")));
    error(Message("Query", Element("Name", "RenameCustomer") + rename + Audit("bob", "update")));
    // Neither a failed write nor a read leaves an entry.
    EXPECT_EQ(ask(Message("Query", Element("Name", "AddCustomer") +
                                       "<Parameters><Parameter name=\"name\" null=\"true\"/>"
                                       "</Parameters>" +
                                       Audit("carol", "insert")))
                  .text("/XML/Error"),
              "DatabaseError");
    error(Message("Query", Element("Name", "AllCustomers") + Audit("carol", "read")));
    EXPECT_EQ(auditRows(), "3");
    EXPECT_EQ(m_data.value("SELECT count(*) FROM orders"), "5");

    const Reply trail = ask(Message("ReadAudit", Element("OrderBy", "id")));
    EXPECT_EQ(trail.text("/XML/Type"), "Rows") << trail.raw.constData();
    QStringList entries;
    for (const auto& row : trail.doc.select_nodes("/XML/Rows/Row")) {
        const pugi::xml_node r = row.node();
        entries << QString("%1|%2|%3|%4|%5|%6")
                       .arg(r.select_node("Field[@name='user_name']").node().child_value(),
                            r.select_node("Field[@name='address']").node().child_value(),
                            r.select_node("Field[@name='action']").node().child_value(),
                            r.select_node("Field[@name='object']").node().child_value(),
                            r.select_node("Field[@name='detail']").node().child_value(),
                            r.select_node("Field[@name='record_key']").node().child_value());
        EXPECT_TRUE(
            UTC_TIME.match(r.select_node("Field[@name='at']").node().child_value()).hasMatch());
    }
    EXPECT_EQ(entries, QStringList({"alice|10.0.0.7|insert|orders|by test|5",
                                    "bob|10.0.0.7|update|orders|by test|2",
                                    "bob|10.0.0.7|update|orders|by test|"}));
}

TEST_P(AccountsTest, ReadAuditFiltersPagesAndExportsTheLatestFirst) {
    // No trail yet: no rows, and no table made for a read.
    const Reply none = ask(Message("ReadAudit"));
    EXPECT_EQ(none.text("/XML/Error"), "") << none.raw.constData();
    EXPECT_EQ(none.count("/XML/Columns/Column"), 8u);
    EXPECT_EQ(none.text("/XML/Total"), "0");
    const QList<QByteArray> noParts =
        MessageHandler(&m_data.config(), m_db.get())
            .replies(Message("ReadAudit", Element("Export", "true")).toUtf8());
    ASSERT_EQ(noParts.size(), 1);
    EXPECT_EQ(Reply(noParts[0]).text("/XML/Count"), "0") << noParts[0].constData();
    EXPECT_EQ(Reply(noParts[0]).count("/XML/Columns/Column"), 8u);
    EXPECT_FALSE(ask(Message("FindUser", Element("Name", "x"))).text("/XML/Found").isEmpty());
    EXPECT_EQ(
        m_data.value(m_data.pick("SELECT count(*) FROM sqlite_master WHERE name LIKE 'quorvex%'",
                                 "SELECT count(*) FROM pg_class WHERE relname LIKE 'quorvex%'")),
        "0");

    for (const QString action : {"sign-in", "insert", "update", "sign-in", "delete"}) {
        const Reply added =
            ask(Message("AddAudit", Audit(action == "update" ? "bob" : "alice", action)));
        EXPECT_EQ(added.text("/XML/Type"), "AuditAdded") << added.raw.constData();
    }
    EXPECT_EQ(ask(Message("AddAudit")).text("/XML/Error"), "InvalidArgument");
    // Several at once, each with the time it happened: one transaction, all or none.
    const QString at = "<At>2026-01-02 03:04:05</At></Audit>";
    EXPECT_EQ(ask(Message("AddAudit", Audit("eve", "signin-failed").replace("</Audit>", at) +
                                          Audit("eve", "signin-failed").replace("</Audit>", at)))
                  .text("/XML/Type"),
              "AuditAdded");
    EXPECT_EQ(
        ask(Message("AddAudit", Audit("eve", "x") +
                                    Audit("eve", "y").replace("</Audit>", "<At>soon</At></Audit>")))
            .text("/XML/Error"),
        "InvalidArgument");
    EXPECT_EQ(m_data.value("SELECT count(*) FROM quorvex_audit WHERE at = '2026-01-02 03:04:05'"),
              "2");
    EXPECT_EQ(m_data.value("SELECT count(*) FROM quorvex_audit WHERE user_name = 'eve'"), "2");
    m_data.exec("DELETE FROM quorvex_audit WHERE user_name = 'eve';");
    const auto actions = [](const Reply& r) {
        QStringList out;
        for (const auto& field : r.doc.select_nodes("/XML/Rows/Row/Field[@name='action']"))
            out << field.node().child_value();
        return out.join(' ');
    };
    const Reply latest = ask(Message("ReadAudit", Element("Offset", "1") + Element("Limit", "2")));
    EXPECT_EQ(actions(latest), "sign-in update");
    EXPECT_EQ(latest.text("/XML/Total"), "5");
    EXPECT_EQ(latest.text("/XML/More"), "true");
    EXPECT_EQ(actions(ask(Message("ReadAudit", "<Filter column=\"user_name\" op=\"eq\">alice"
                                               "</Filter><Filter column=\"action\" "
                                               "op=\"contains\">SIGN</Filter>"))),
              "sign-in sign-in");
    EXPECT_EQ(actions(ask(Message("ReadAudit",
                                  Element("OrderBy", "action") + Element("Descending", "false")))),
              "delete insert sign-in sign-in update");
    EXPECT_EQ(ask(Message("ReadAudit", Element("OrderBy", "hash"))).text("/XML/Error"),
              "UnknownColumn");
    // A Table in the request names nothing: the trail is read all the same.
    EXPECT_EQ(ask(Message("ReadAudit", Element("Table", "customers"))).text("/XML/Total"), "5");

    const QList<QByteArray> parts =
        MessageHandler(&m_data.config(), m_db.get())
            .replies(
                Message("ReadAudit", Element("Export", "true") + Element("Limit", "4")).toUtf8());
    ASSERT_EQ(parts.size(), 1);
    EXPECT_EQ(actions(Reply(parts[0])), "delete sign-in update insert");
    EXPECT_EQ(Reply(parts[0]).text("/XML/More"), "true");
}

TEST_P(AccountsTest, ReadOnlyDatabaseRefusesAccountChangesAndStillReads) {
    addUser("alice");
    error(OpenSession("k1", "alice"));
    error(Message("AddAudit", Audit("alice", "sign-in")));
    const auto askAll = [this](Database& db) {
        const MessageHandler handler(&m_data.config(), &db);
        QStringList out;
        for (const QString& request :
             {SaveUser("alice", Element("Hash", "new")), SaveUser("bob", Element("Role", "x")),
              OpenSession("k2", "alice"), SessionMessage("TouchSession", "k1"),
              SessionMessage("CloseSession", "k1"), Message("AddAudit", Audit("a", "b")),
              Message("FindUser", Element("Name", "alice")), SessionMessage("FindSession", "k1"),
              Message("ReadAudit")})
            out << QString::fromUtf8(handler.handle(request.toUtf8()));
        return out;
    };
    const QStringList replies = m_data.readOnly(askAll);
    ASSERT_EQ(replies.size(), 9);
    for (int i = 0; i < 6; ++i) {
        const Reply r(replies[i].toUtf8());
        EXPECT_EQ(r.text("/XML/Error"), "DatabaseError") << replies[i].toStdString();
        EXPECT_TRUE(r.text("/XML/Message").contains("read-only")) << replies[i].toStdString();
    }
    EXPECT_EQ(Reply(replies[6].toUtf8()).text("/XML/Hash"), "h-alice") << replies[6].toStdString();
    EXPECT_EQ(Reply(replies[7].toUtf8()).text("/XML/Found"), "true") << replies[7].toStdString();
    EXPECT_EQ(Reply(replies[8].toUtf8()).text("/XML/Total"), "1") << replies[8].toStdString();
    EXPECT_EQ(sessions(), "k1:alice");
    EXPECT_EQ(auditRows(), "1");
}

} // namespace
