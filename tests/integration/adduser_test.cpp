// `websvr adduser=NAME role=ROLE` run from a copy of the program folder, as a script runs it,
// and what it left in the application's database, read back through the data server.
#include "tests/dbsvr/pgcluster.h"
#include "tests/support/processes.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"

#include <QDir>
#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <pwd.h>
#include <sodium.h>
#include <unistd.h>

using namespace support;

namespace {

const QByteArray PASSWORD = "correct horse battery";

enum class Backend { Sqlite, Postgresql };

class AddUserTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_program.isValid());
        if (GetParam() == Backend::Postgresql) {
            PgCluster* cluster = PgCluster::Shared();
            if (!cluster)
                GTEST_SKIP() << PgCluster::SkipReason().toStdString();
            const QString database = cluster->createSampleDatabase();
            ASSERT_FALSE(database.isEmpty()) << cluster->error().toStdString();
            ASSERT_TRUE(cluster->serveFrom(application() + "/dataserver.xml", database));
        }
        // No port: a start would pick one and write the file; this command must not.
        m_program.writeSettings();
        ASSERT_TRUE(WriteFile(settingsFile(), "<Settings><TCPPort/><ApplicationPath/></Settings>"));
    }

    QString application() const { return m_program.path("examples/microsoft access"); }
    QString settingsFile() const { return m_program.path("data/config/webserver.xml"); }

    // websvr with arguments and input on standard input, without a display.
    Finished addUser(const QStringList& arguments, const QByteArray& input) const {
        const Finished run =
            RunToEnd(m_program.path("websvr"), arguments, input,
                     {"TEMP=" + m_program.temp(), "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
        // Whatever it says, it never says the password or a hash.
        EXPECT_FALSE(run.out.contains(PASSWORD) || run.err.contains(PASSWORD));
        EXPECT_FALSE(run.out.contains("$argon2") || run.err.contains("$argon2"));
        return run;
    }

    // The reply of the application's data server to request.
    pugi::xml_node ask(const QString& request) {
        // It logs into the copy's data/Logs.
        const Finished run =
            RunToEnd(m_program.path("dbsvr"), {"message=-", "configfolder=" + application()},
                     request.toUtf8());
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString() << run.out.constData();
        m_reply.load_string(run.out.constData());
        return m_reply.document_element();
    }
    pugi::xml_node findUser(const QString& name) {
        return ask("<XML><Type>FindUser</Type><Name>" + name + "</Name></XML>");
    }
    // action, object, detail, user and address of every audit entry, oldest first.
    QStringList audit() {
        QStringList entries;
        const pugi::xml_node reply = ask("<XML><Type>ReadAudit</Type><OrderBy>id</OrderBy></XML>");
        for (const pugi::xml_node& row : reply.child("Rows").children("Row")) {
            QStringList fields;
            for (const char* name : {"action", "object", "detail", "user_name", "address"})
                fields << row.find_child_by_attribute("Field", "name", name).child_value();
            entries << fields.join(" | ");
        }
        return entries;
    }

    ProgramFolder m_program;
    pugi::xml_document m_reply;
};

bool HashOf(const QString& hash, const QByteArray& password) {
    return sodium_init() >= 0 &&
           crypto_pwhash_str_verify(hash.toLatin1().constData(), password.constData(),
                                    size_t(password.size())) == 0;
}

// Added with a password, then a new role with the password kept (no input), then a new
// password: each seen by the data server, each in the audit trail, the settings file untouched.
TEST_P(AddUserTest, AddsAndChangesAUser) {
    const QByteArray settings = ReadFile(settingsFile());
    const Finished added = addUser({"adduser=alice", "role=editor"}, PASSWORD + "\n");
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    EXPECT_EQ(added.out, "User alice added with the role editor.\n");
    EXPECT_TRUE(added.err.isEmpty()) << added.err.toStdString();
    pugi::xml_node user = findUser("alice");
    EXPECT_STREQ(user.child_value("Found"), "true");
    EXPECT_STREQ(user.child_value("Role"), "editor");
    const QString hash = user.child_value("Hash");
    EXPECT_TRUE(hash.startsWith("$argon2id$")) << hash.toStdString();
    // The line break is not part of the password.
    EXPECT_TRUE(HashOf(hash, PASSWORD));

    const Finished kept = addUser({"adduser=alice", "role=ADMIN"}, "");
    ASSERT_EQ(kept.exitCode, 0) << kept.err.toStdString();
    EXPECT_EQ(kept.out, "User alice saved with the role admin.\n");
    user = findUser("alice");
    EXPECT_STREQ(user.child_value("Role"), "admin");
    EXPECT_EQ(QString(user.child_value("Hash")), hash);

    const Finished changed =
        addUser({"adduser=alice", "role=reader", "language=de"}, "neues Passwort\r\n");
    ASSERT_EQ(changed.exitCode, 0) << changed.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(changed.out), "Benutzer alice mit der Rolle reader gespeichert.\n");
    EXPECT_TRUE(HashOf(findUser("alice").child_value("Hash"), "neues Passwort"));

    const QString me = QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
    EXPECT_EQ(
        audit(),
        QStringList({"user-add | alice | role=editor (command line) | " + me + " | local",
                     "user-change | alice | role=admin (command line) | " + me + " | local",
                     "user-change | alice | role=reader (command line) | " + me + " | local"}));
    EXPECT_EQ(ReadFile(settingsFile()), settings);
}

INSTANTIATE_TEST_SUITE_P(Backends, AddUserTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgresql),
                         [](const auto& info) {
                             return info.param == Backend::Sqlite ? "SQLite" : "PostgreSQL";
                         });

// What will not do is refused with one line on standard error and leaves the database as it
// was: no user, no audit entry.
TEST(AddUser, RefusesWhatWillNotDo) {
    ProgramFolder program;
    ASSERT_TRUE(program.isValid());
    const QString application = program.path("examples/microsoft access");
    const QString missingApplication = program.beside("settings/missing.xml");
    ASSERT_TRUE(WriteFile(missingApplication, "<Settings><ApplicationPath>" +
                                                  program.beside("nowhere").toUtf8() +
                                                  "</ApplicationPath></Settings>"));
    const struct {
        QStringList arguments;
        QByteArray input;
        int exitCode;
        const char* says;
    } CASES[] = {
        {{"adduser=", "role=reader"}, PASSWORD, 1, "A user name has 1 to 64 characters"},
        {{"adduser=   ", "role=reader"}, PASSWORD, 1, "A user name has 1 to 64 characters"},
        {{"adduser=al\tice", "role=reader"}, PASSWORD, 1, "no control characters"},
        {{"adduser=al" + QString(QChar(0x7F)) + "ice", "role=reader"},
         PASSWORD,
         1,
         "no control characters"},
        {{"adduser=" + QString(10000, 'n'), "role=reader"}, PASSWORD, 1, "1 to 64 characters"},
        {{"adduser=" + QString(65, 'n'), "role=reader"}, PASSWORD, 1, "1 to 64 characters"},
        {{"adduser=bob", "role=owner"}, PASSWORD, 1, "not \"owner\""},
        {{"adduser=bob"}, PASSWORD, 1, "must be reader, editor or admin"},
        {{"adduser=bob", "role=nobody"}, PASSWORD, 1, "not \"nobody\""},
        {{"adduser=bob", "role=anonymous"}, PASSWORD, 1, "not \"anonymous\""},
        {{"adduser=bob", "role=owner", "language=de"}, PASSWORD, 1, "Die Rolle muss"},
        {{"adduser=bob", "role=\x1b[2Jowner"}, PASSWORD, 1, "not \" [2Jowner\""},
        {{"adduser=bob", "role=" + QString(10000, 'r')}, PASSWORD, 1, "rrr...\""},
        {{"adduser=bob", "role=reader"}, "short\n", 1, "at least 8 characters"},
        {{"adduser=bob", "role=reader"}, "long enough\tbut\n", 1, "control characters"},
        {{"adduser=bob", "role=reader"}, QByteArray(1025, 'p'), 1, "at most 1024 characters"},
        {{"adduser=bob", "role=reader"}, QByteArray(100000, 'p'), 1, "at most 1024 characters"},
        {{"adduser=bob", "role=reader"}, "", 1, "A new user needs a password"},
        {{"adduser=bob", "role=reader"}, "\n", 1, "A new user needs a password"},
        {{"adduser=bob", "role=reader", "config=" + missingApplication},
         PASSWORD,
         1,
         "does not exist"},
    };
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.arguments.join(' ').left(80).toStdString());
        const Finished run = RunToEnd(program.path("websvr"), c.arguments, c.input,
                                      {"TEMP=" + program.temp(), "DISPLAY"});
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.out.isEmpty()) << run.out.constData();
        EXPECT_TRUE(run.err.startsWith("websvr: ")) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    }
    const Finished users =
        RunToEnd(program.path("dbsvr"), {"message=-", "configfolder=" + application},
                 "<XML><Type>ListUsers</Type></XML>");
    EXPECT_EQ(users.exitCode, 0) << users.err.toStdString();
    EXPECT_FALSE(users.out.contains("<User>")) << users.out.constData();
    const Finished trail =
        RunToEnd(program.path("dbsvr"), {"message=-", "configfolder=" + application},
                 "<XML><Type>ReadAudit</Type></XML>");
    EXPECT_FALSE(trail.out.contains("<Row>")) << trail.out.constData();
}

// A database the data server cannot open: the user is not saved, and the reason is said.
TEST(AddUser, SaysWhyTheDatabaseFailed) {
    ProgramFolder program;
    ASSERT_TRUE(program.isValid());
    ASSERT_TRUE(WriteFile(program.path("examples/microsoft access/dataserver.xml"),
                          "<DataServer><Database>gone.db</Database></DataServer>"));
    const Finished run = RunToEnd(program.path("websvr"), {"adduser=bob", "role=reader"}, PASSWORD,
                                  {"TEMP=" + program.temp(), "DISPLAY"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.startsWith("websvr: The user could not be saved: "))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("gone.db")) << run.err.toStdString();
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
}

} // namespace
