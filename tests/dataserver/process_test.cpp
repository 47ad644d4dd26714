#include "helperprocess.h"
#include "qtprinters.h"

#include "dataserver/process.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>

using namespace dataserver;

namespace {
// Gone entirely: ended and reaped, so no zombie is left.
bool gone(qint64 pid) {
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}
} // namespace

TEST(Process, WaitOnAProcessThatEndsFirstReturnsFalse) {
    const qint64 pid = StartProcess(QStringLiteral("sleep"), {QStringLiteral("0.2")});
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(TerminateProcessById(int(pid), 20000));
    EXPECT_TRUE(eventually([&] { return gone(pid); }));
    // Its id now names nothing, so nothing can be terminated.
    EXPECT_FALSE(TerminateProcessById(int(pid), 0));
}

TEST(Process, NoWaitKillsAtOnceAndTheChildIsReaped) {
    const qint64 pid = StartProcess(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(TerminateProcessById(int(pid), 0));
    EXPECT_TRUE(eventually([&] { return gone(pid); }));
    EXPECT_FALSE(TerminateProcessById(0, 0)); // kill(0) would hit our own process group
}

TEST(Process, ArgumentsArriveVerbatimWithEnvironmentAndFolderInherited) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out"));
    qputenv("QV_PROCESS_PROBE", "inherited");
    const QString script =
        QStringLiteral("printf '%s|%s|%s' \"$1\" \"$(pwd -P)\" \"$QV_PROCESS_PROBE\" > \"$2\"");
    const qint64 pid =
        StartProcess(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, QStringLiteral("sh"),
                                                 QStringLiteral("a b;$x \"q\" *"), out});
    qunsetenv("QV_PROCESS_PROBE");
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(eventually([&] { return gone(pid); }));
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), QStringLiteral("a b;$x \"q\" *|") +
                                                  QDir::current().canonicalPath() +
                                                  QStringLiteral("|inherited"));
}

TEST(Process, ProgramThatCannotRunGivesZero) {
    EXPECT_EQ(StartProcess(QStringLiteral("/nonexistent/dbsvr"), {}), 0);
    EXPECT_EQ(StartProcess(QStringLiteral("no-such-program-on-path"), {}), 0);
    EXPECT_EQ(StartProcess(QString(), {}), 0);
}
