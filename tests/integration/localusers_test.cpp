// websvr beside another local user of the machine: what that user holds, owns or plants
// must not steer it. Acting as a second user (nobody) needs root, as CI runs.
#include "tests/support/processes.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"

#include <QDir>
#include <QFileInfo>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace support;

namespace {

class LocalUsersTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::optional<OtherUser> other = SecondUser();
        if (!other)
            GTEST_SKIP() << "acting as a second local user (nobody) needs root";
        m_other = *other;
        ASSERT_TRUE(m_program.isValid());
    }

    QString quorvexTemp() const { return m_program.temp() + "/Quorvex"; }

    ProgramFolder m_program;
    OtherUser m_other;
};

} // namespace

TEST_F(LocalUsersTest, AnotherUsersTokenFoldersAndFilesAreNotObeyed) {
    // DS_DEBUG of another user: websvr starts its own data server all the same.
    TokenHolder debug("DS_DEBUG", {}, m_other);
    ASSERT_TRUE(debug.ready());
    ChildProcess& websvr = m_program.startWebsvr({"hidden"});
    ASSERT_TRUE(websvr.readLine().startsWith("Serving http://"));
    const QString instance = m_program.instanceFolder(websvr.pid());
    EXPECT_TRUE(m_program.log(websvr.pid()).contains("Data server process id: "));

    // Only this user may look into what websvr and its data server exchange.
    for (const QString& folder : {quorvexTemp(), instance, instance + "/Queue",
                                  instance + "/Queue/requests", instance + "/Queue/results"})
        EXPECT_EQ(FileMode(folder), 0700u) << folder.toStdString();
    for (const char* file : {".dataserver.parameters.txt", ".dataserver.alive.xml"})
        EXPECT_EQ(FileMode(instance + file), 0600u) << file;

    // A message file of another user is not obeyed.
    const QString message = instance + ".dataserver.message.xml";
    WriteFile(message + ".new",
              "<XML><Type>Restart</Type><Code>7</Code><Message>m</Message></XML>");
    GiveTo(message + ".new", m_other);
    QFile::rename(message + ".new", message);
    EXPECT_TRUE(Eventually([&] {
        return m_program.log(websvr.pid())
            .contains("Data Server message file of another user ignored and removed: " + message);
    }));
    EXPECT_FALSE(m_program.log(websvr.pid()).contains("Restart Data Server"));
    debug.release();
    ::kill(pid_t(websvr.pid()), SIGTERM);
    EXPECT_EQ(websvr.finish(), 0);

    // Temporary folders another user could change are refused, and nothing in them touched.
    const QString foreign = quorvexTemp() + "/foreign";
    ASSERT_TRUE(WriteFile(foreign + "/Queue/requests/keep.msg", "x"));
    ::chmod(QFile::encodeName(foreign).constData(), 0777);
    ChildProcess& open = m_program.startWebsvr({"hidden", "instance=foreign"});
    EXPECT_EQ(open.finish(), 1);
    EXPECT_TRUE(open.process().readAllStandardError().contains(
        "The temporary folder " + foreign.toUtf8() + " is not used: other users may write to it."));
    EXPECT_TRUE(QFile::exists(foreign + "/Queue/requests/keep.msg"));
    GiveTo(quorvexTemp(), m_other);
    ChildProcess& owned = m_program.startWebsvr({"hidden"});
    EXPECT_EQ(owned.finish(), 1);
    EXPECT_TRUE(owned.process().readAllStandardError().contains(
        "The temporary folder " + quorvexTemp().toUtf8() + " is not used: it belongs to user " +
        QByteArray::number(m_other.uid)));
}

TEST_F(LocalUsersTest, AnotherUsersQueueFolderIsRefusedAndLeftAlone) {
    const QString folder = m_program.beside("their queue");
    ASSERT_TRUE(WriteFile(folder + "/keep.msg", "x"));
    GiveTo(folder, m_other);
    for (const QString option : {"inqueue=", "outqueue="}) {
        ChildProcess& websvr = m_program.startWebsvr({"hidden", option + folder});
        ASSERT_EQ(websvr.readLine(), "") << "served with " << option.toStdString();
        EXPECT_EQ(websvr.finish(), 1);
        EXPECT_TRUE(websvr.process().readAllStandardError().contains(
            "The queue folder " + folder.toUtf8() + " is not used: it belongs to user " +
            QByteArray::number(m_other.uid) + "."));
        EXPECT_TRUE(QFile::exists(folder + "/keep.msg"));
    }
}

TEST_F(LocalUsersTest, AUserWithoutPrivilegesFindsAPortOfItsOwn) {
    // No port set yet: ports 80 to 100 need privileges, so the scan goes on at 8080.
    WriteFile(m_program.path("data/config/webserver.xml"), "<Settings/>");
    GiveTo(QFileInfo(m_program.path()).path(), m_other);
    ChildProcess& websvr = m_program.startWebsvr({"hidden"}, RunAs(m_other));
    const QString line = websvr.readLine();
    ASSERT_TRUE(line.startsWith("Serving http://127.0.0.1:"))
        << line.toStdString() << websvr.process().readAllStandardError().toStdString();
    const int port = line.section(':', 2).section('/', 0, 0).toInt();
    const int unprivilegedStart =
        ReadFile("/proc/sys/net/ipv4/ip_unprivileged_port_start").trimmed().toInt();
    if (unprivilegedStart > 100) {
        EXPECT_GE(port, 8080);
        EXPECT_LE(port, 8100);
        EXPECT_TRUE(m_program.log(websvr.pid())
                        .contains("Ports 80 to 100 all need privileges; scanning 8080 to 8100"));
    }
    EXPECT_TRUE(ReadFile(m_program.path("data/config/webserver.xml"))
                    .contains("<TCPPort>" + QByteArray::number(port) + "</TCPPort>"));
    ::kill(pid_t(websvr.pid()), SIGTERM);
    EXPECT_EQ(websvr.finish(), 0);
}
