#include "common/error.h"
#include "contract/namedmutex.h"
#include "tests/support/processes.h"
#include "tests/support/qtprinters.h"

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace dataserver;
using support::ChildProcess;
using support::TokenHolder;

namespace {
QString uniqueName() {
    return support::UniqueName(QStringLiteral("token"));
}

int errorNumberOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const common::Error& e) {
        return e.number();
    }
    return 0;
}

// How many of count probes of a held name see it held.
int timesHeld(const QString& name, int count) {
    int held = 0;
    for (int i = 0; i < count; ++i)
        held += MutexExists(name) ? 1 : 0;
    return held;
}
} // namespace

TEST(NamedMutex, HeldByAnotherProcessUntilItExitsOrIsKilled) {
    const QString name = uniqueName();
    {
        TokenHolder holder(name);
        ASSERT_TRUE(holder.ready());
        EXPECT_TRUE(MutexExists(name));
        holder.release();
        EXPECT_EQ(holder.process().finish(), 0);
        EXPECT_FALSE(MutexExists(name));
    }
    TokenHolder holder(name);
    ASSERT_TRUE(holder.ready());
    EXPECT_TRUE(MutexExists(name));
    holder.process().process().kill(); // SIGKILL: no chance to release anything
    EXPECT_EQ(holder.process().finish(), -1);
    EXPECT_FALSE(MutexExists(name));
}

TEST(NamedMutex, ChildOfTheHolderNeverInheritsTheToken) {
    const QString name = uniqueName();
    ChildProcess holder(
        support::HelperProgram(QStringLiteral("qv_tokenholder")),
        {name, QStringLiteral("--spawn"), QStringLiteral("sleep"), QStringLiteral("60")});
    const QString childLine = holder.readLine();
    ASSERT_TRUE(childLine.startsWith(QLatin1String("child "))) << childLine.toStdString();
    const qint64 child = childLine.mid(6).toLongLong();
    ASSERT_GT(child, 0);
    ASSERT_EQ(holder.readLine(), "ready");
    holder.process().kill();
    holder.finish();
    // An inherited token would live as long as the child (a minute); the kernel
    // may take a moment to release the holder's socket on a loaded machine.
    EXPECT_TRUE(support::Eventually([&name] { return !MutexExists(name); }));
    EXPECT_TRUE(support::ProcessRuns(child));
    EXPECT_EQ(::kill(pid_t(child), SIGKILL), 0);
}

TEST(NamedMutex, SecondCreateRaises183AndDestroyFreesTheName) {
    const QString name = uniqueName();
    const int handle = CreateInstanceMutex(name);
    ASSERT_GT(handle, 0);
    EXPECT_TRUE(MutexExists(name));
    try {
        CreateInstanceMutex(name);
        FAIL() << "a held name was created twice";
    } catch (const common::Error& e) {
        EXPECT_EQ(e.number(), 183);
        EXPECT_EQ(e.description(),
                  QStringLiteral("Error creating instance mutex (") + name +
                      "). Cannot create a file when that file already exists.\r\n");
    }
    DestroyInstanceMutex(handle);
    EXPECT_FALSE(MutexExists(name));
    // A handle that is not (or no longer) a token is refused, and nothing is closed.
    try {
        DestroyInstanceMutex(handle);
        FAIL() << "a released handle was destroyed twice";
    } catch (const common::Error& e) {
        EXPECT_EQ(e.number(), EBADF);
        EXPECT_TRUE(e.description().startsWith(
            QStringLiteral("Error destroying instance mutex handle (%1). ").arg(handle)));
    }
    EXPECT_EQ(errorNumberOf([] { DestroyInstanceMutex(STDERR_FILENO); }), EBADF);
    EXPECT_EQ(::fcntl(STDERR_FILENO, F_GETFD), 0);
}

TEST(NamedMutex, ProbingAFreeNameLeavesNothingBehind) {
    const QString name = uniqueName();
    EXPECT_FALSE(MutexExists(name));
    EXPECT_FALSE(MutexExists(name));
    const int handle = CreateInstanceMutex(name); // would raise 183 if a probe had kept it
    DestroyInstanceMutex(handle);
    EXPECT_FALSE(MutexExists(QString()));
    EXPECT_EQ(errorNumberOf([] { CreateInstanceMutex(QString()); }), EINVAL);
}

TEST(NamedMutex, ProbesBeyondTheBacklogStillSeeTheTokenHeld) {
    for (const QStringList& options : {QStringList{QStringLiteral("--no-loop")}, QStringList{}}) {
        const QString name = uniqueName();
        TokenHolder holder(name, options);
        ASSERT_TRUE(holder.ready());
        EXPECT_EQ(timesHeld(name, 300), 300) << options.join(' ').toStdString();
    }
    // The same for a token of this process while its event loop does not run.
    const QString name = uniqueName();
    const int handle = CreateInstanceMutex(name);
    EXPECT_EQ(timesHeld(name, 300), 300);
    DestroyInstanceMutex(handle);
}

TEST(NamedMutex, ATokenOfAnotherUserDoesNotCount) {
    const std::optional<support::OtherUser> other = support::SecondUser();
    if (!other)
        GTEST_SKIP() << "acting as a second local user (nobody) needs root";
    // Asked through the connection, and, with a holder whose backlog is full, of the kernel.
    for (const QStringList& options : {QStringList{}, QStringList{QStringLiteral("--no-loop")}}) {
        const QString name = uniqueName();
        TokenHolder holder(name, options, *other);
        ASSERT_TRUE(holder.ready());
        EXPECT_EQ(timesHeld(name, 100), 0) << options.join(' ').toStdString();
        EXPECT_EQ(errorNumberOf([&] { CreateInstanceMutex(name); }), ERR_ALREADY_EXISTS);
    }
}

TEST(NamedMutex, TokenIsTheDocumentedAbstractSocketAddress) {
    // A holder written without our code, as a parent program in another language would.
    const QString name = uniqueName();
    const QByteArray address = "quorvex.mutex." + name.toUtf8();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, address.constData(), size_t(address.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr),
                     socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(address.size()))),
              0);
    ASSERT_EQ(::listen(fd, 4), 0);
    EXPECT_TRUE(MutexExists(name));
    EXPECT_EQ(errorNumberOf([&] { CreateInstanceMutex(name); }), 183);
    ::close(fd);
    EXPECT_FALSE(MutexExists(name));
}

TEST(NamedMutex, NamesThatDoNotFitAreRefusedNotTruncated) {
    const QString longest(MAX_MUTEX_NAME_BYTES, QLatin1Char('n'));
    const int handle = CreateInstanceMutex(longest);
    EXPECT_TRUE(MutexExists(longest));
    DestroyInstanceMutex(handle);
    const QString tooLong = longest + QLatin1Char('x');
    EXPECT_EQ(errorNumberOf([&] { CreateInstanceMutex(tooLong); }), ENAMETOOLONG);
    EXPECT_EQ(errorNumberOf([&] { MutexExists(tooLong); }), ENAMETOOLONG);
    // Bytes count, not characters.
    const QString wide(MAX_MUTEX_NAME_BYTES / 2 + 1, QChar(0x00E9));
    EXPECT_EQ(errorNumberOf([&] { CreateInstanceMutex(wide); }), ENAMETOOLONG);
}

TEST(NamedMutex, SystemErrorTextEndsWithALineBreak) {
    EXPECT_EQ(SystemErrorText(183), "Cannot create a file when that file already exists.\r\n");
    EXPECT_EQ(SystemErrorText(ENOENT), QString::fromLocal8Bit(std::strerror(ENOENT)) + "\r\n");
    EXPECT_EQ(SystemErrorText(99999), "");
}
