// The staged websvr started for a desktop user: on a display that is not there, and on a
// real X server (Xvfb) where nobody answers its windows.
#include "tests/support/processes.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"
#include "tests/support/xserver.h"

#include <QDir>
#include <QTcpServer>
#include <csignal>
#include <gtest/gtest.h>

using namespace support;

namespace {

// Longer than any orderly end takes (the data server is given two seconds); only a guard
// against a run that never ends.
constexpr int END_GUARD_MS = 60000;

class DesktopRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_program.isValid());
        // The browser is a script that notes the address it is given.
        ASSERT_TRUE(WriteNotingBrowser(m_program.beside("bin")));
    }

    // websvr without hidden, as a desktop user starts it, on display.
    ChildProcess& startOn(const QString& display, const QStringList& arguments = {}) {
        return m_program.startWebsvr(
            arguments, {},
            {"DISPLAY=" + display, "QT_QPA_PLATFORM", "WAYLAND_DISPLAY",
             "PATH=" + m_program.beside("bin") + ":" + qEnvironmentVariable("PATH"),
             "XDG_CONFIG_HOME=" + m_program.beside("config")});
    }
    bool logged(const ChildProcess& p, const QString& text, int timeoutMs = WAIT_MS) const {
        return Eventually([&] { return m_program.log(p.pid()).contains(text); }, timeoutMs);
    }
    QStringList opened() const { return NotedAddresses(m_program.beside("bin")); }
    // SIGTERM ends p in order: status 0, its instance folder gone.
    ::testing::AssertionResult endsInOrderOnSigterm(ChildProcess& p) const {
        ::kill(pid_t(p.pid()), SIGTERM);
        const int status = p.finish(END_GUARD_MS);
        if (status == 0 && !QDir(m_program.instanceFolder(p.pid())).exists())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "status " << status << "; log:\n"
                                             << m_program.log(p.pid()).toStdString();
    }

    ProgramFolder m_program;
};

} // namespace

TEST_F(DesktopRunTest, ADisplayThatIsNotThereGivesAHeadlessRun) {
    const QString display = UnusedDisplay();
    ChildProcess& p = startOn(display, {"instance=nodisplay"});
    EXPECT_EQ(p.readLine(), QString("Serving http://127.0.0.1:%1/").arg(m_program.port()));
    EXPECT_TRUE(p.process().readAllStandardError().contains(
        "websvr: no display (no X server answers at DISPLAY=" + display.toUtf8() +
        "); running headless, as with hidden.\n"));
    EXPECT_TRUE(m_program.log(p.pid()).contains("Command Line: instance=nodisplay hidden"));
    EXPECT_TRUE(endsInOrderOnSigterm(p));
}

TEST_F(DesktopRunTest, ADesktopStartAsksNothingOfItsUser) {
    if (!XServer::Installed())
        GTEST_SKIP() << "Xvfb is not installed";
    XServer x;
    ASSERT_TRUE(x.running());
    ChildProcess& p = startOn(x.display());
    // Nobody answers a box here: the start reaches its end only if it shows none.
    ASSERT_TRUE(logged(p, "Launch browser as client")) << m_program.log(p.pid()).toStdString();
    EXPECT_FALSE(m_program.log(p.pid()).contains("Microsoft Excel"));
    EXPECT_TRUE(Eventually([this] { return !opened().isEmpty(); }));
    EXPECT_TRUE(opened().value(0).startsWith(
        QString("HTTP://localhost:%1/?page=admin&key=").arg(m_program.port())));
    EXPECT_TRUE(endsInOrderOnSigterm(p));
}
TEST_F(DesktopRunTest, SigtermEndsAStartHeldByAMessageBoxInOrder) {
    if (!XServer::Installed())
        GTEST_SKIP() << "Xvfb is not installed";
    XServer x;
    ASSERT_TRUE(x.running());
    QTcpServer taken; // the port of the settings is in use: start-up shows its warning
    ASSERT_TRUE(taken.listen(QHostAddress::Any, quint16(m_program.port())));
    ChildProcess& p = startOn(x.display());
    // The warning is traced as its box is shown, and only that box's loop runs from then on.
    ASSERT_TRUE(logged(p, QString("Port %1 is already in use").arg(m_program.port())))
        << m_program.log(p.pid()).toStdString();
    EXPECT_TRUE(endsInOrderOnSigterm(p));
    EXPECT_FALSE(m_program.log(p.pid()).contains("Launch browser as client"));
    EXPECT_TRUE(opened().isEmpty());
}
