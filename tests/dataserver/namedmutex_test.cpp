#include "helperprocess.h"
#include "qtprinters.h"

#include "common/error.h"
#include "common/guid.h"
#include "dataserver/namedmutex.h"
#include "dataserver/process.h"

#include <QFile>
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

namespace {
QString uniqueName() {
    return QStringLiteral("test-") + common::NewGuidString();
}

int errorNumberOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const common::Error& e) {
        return e.number();
    }
    return 0;
}

// Whether pid is a live process (not gone, not a zombie).
bool runs(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return !line.mid(line.lastIndexOf(')') + 2).startsWith('Z');
}
} // namespace

TEST(NamedMutex, HeldByAnotherProcessUntilItExitsOrIsKilled) {
    const QString name = uniqueName();
    {
        HelperProcess holder(QStringLiteral("qv_tokenholder"), {name});
        ASSERT_EQ(holder.readLine(), "ready");
        EXPECT_TRUE(MutexExists(name));
        holder.process().closeWriteChannel();
        ASSERT_TRUE(holder.process().waitForFinished());
        EXPECT_EQ(holder.process().exitCode(), 0);
        EXPECT_FALSE(MutexExists(name));
    }
    HelperProcess holder(QStringLiteral("qv_tokenholder"), {name});
    ASSERT_EQ(holder.readLine(), "ready");
    EXPECT_TRUE(MutexExists(name));
    holder.process().kill(); // SIGKILL: no chance to release anything
    ASSERT_TRUE(holder.process().waitForFinished());
    EXPECT_FALSE(MutexExists(name));
}

TEST(NamedMutex, ChildOfTheHolderNeverInheritsTheToken) {
    const QString name = uniqueName();
    HelperProcess holder(
        QStringLiteral("qv_tokenholder"),
        {name, QStringLiteral("--spawn"), QStringLiteral("sleep"), QStringLiteral("60")});
    const QString childLine = holder.readLine();
    ASSERT_TRUE(childLine.startsWith(QLatin1String("child "))) << childLine.toStdString();
    const qint64 child = childLine.mid(6).toLongLong();
    ASSERT_GT(child, 0);
    ASSERT_EQ(holder.readLine(), "ready");
    holder.process().kill();
    ASSERT_TRUE(holder.process().waitForFinished());
    EXPECT_TRUE(runs(child));
    EXPECT_FALSE(MutexExists(name));
    EXPECT_TRUE(TerminateProcessById(int(child), 0));
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
    for (const QStringList& extra : {QStringList{QStringLiteral("--no-loop")}, QStringList{}}) {
        const QString name = uniqueName();
        HelperProcess holder(QStringLiteral("qv_tokenholder"), QStringList{name} + extra);
        ASSERT_EQ(holder.readLine(), "ready");
        int held = 0;
        for (int i = 0; i < 300; ++i)
            held += MutexExists(name) ? 1 : 0;
        EXPECT_EQ(held, 300) << extra.join(' ').toStdString();
    }
    // The same for a token of this process while its event loop does not run.
    const QString name = uniqueName();
    const int handle = CreateInstanceMutex(name);
    int held = 0;
    for (int i = 0; i < 300; ++i)
        held += MutexExists(name) ? 1 : 0;
    EXPECT_EQ(held, 300);
    DestroyInstanceMutex(handle);
}

TEST(NamedMutex, TokenIsTheDocumentedAbstractSocketAddress) {
    // A holder written without our code, as a parent program in another language would.
    const QString name = QStringLiteral("parent-") + common::NewGuidString();
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
