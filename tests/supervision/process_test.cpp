#include "supervision/process.h"
#include "tests/support/processes.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"
#include "tests/support/scopedenvironment.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace dataserver;
using support::Eventually;

namespace {
// Gone entirely: ended and reaped, so no zombie is left.
bool gone(qint64 pid) {
    return support::ProcessState(pid) == 0;
}
} // namespace

TEST(Process, WaitOnAProcessThatEndsFirstReturnsFalse) {
    const qint64 pid = StartProcess(QStringLiteral("sleep"), {QStringLiteral("0.2")});
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(TerminateProcessById(int(pid), 20000));
    EXPECT_TRUE(Eventually([&] { return gone(pid); }));
    // Its id now names nothing, so nothing can be terminated.
    EXPECT_FALSE(TerminateProcessById(int(pid), 0));
}

TEST(Process, NoWaitKillsAtOnceAndTheChildIsReaped) {
    const qint64 pid = StartProcess(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(TerminateProcessById(int(pid), 0));
    EXPECT_TRUE(Eventually([&] { return gone(pid); }));
    EXPECT_FALSE(TerminateProcessById(0, 0)); // kill(0) would hit our own process group
}

TEST(Process, ArgumentsArriveVerbatimWithEnvironmentAndFolderInherited) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out"));
    qint64 pid = 0;
    {
        const support::ScopedEnvironment env{{"QV_PROCESS_PROBE", "inherited"}};
        const QString script =
            QStringLiteral("printf '%s|%s|%s' \"$1\" \"$(pwd -P)\" \"$QV_PROCESS_PROBE\" > \"$2\"");
        pid = StartProcess(QStringLiteral("/bin/sh"),
                           {QStringLiteral("-c"), script, QStringLiteral("sh"),
                            QStringLiteral("a b;$x \"q\" *"), out});
    }
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(Eventually([&] { return gone(pid); }));
    EXPECT_EQ(QString::fromUtf8(support::ReadFile(out)), QStringLiteral("a b;$x \"q\" *|") +
                                                             QDir::current().canonicalPath() +
                                                             QStringLiteral("|inherited"));
}

TEST(Process, ProgramThatCannotRunGivesZero) {
    EXPECT_EQ(StartProcess(QStringLiteral("/nonexistent/dbsvr"), {}), 0);
    EXPECT_EQ(StartProcess(QStringLiteral("no-such-program-on-path"), {}), 0);
    EXPECT_EQ(StartProcess(QString(), {}), 0);
}
