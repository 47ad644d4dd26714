// The run ending (a signal, the desktop session closing the windows) while a message box or a
// dialog waits for its user: the window gives way, the shutdown runs in order, and nothing
// more is shown, restarted or opened.
#include "desktopfixture.h"

#include "core/exitcodes.h"
#include "i18n/language.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QTcpServer>

using namespace support;

namespace {

class EndingTest : public DesktopFixture {
protected:
    QString instanceFolder() const {
        return m_program.instanceFolder(QCoreApplication::applicationPid());
    }
    // What SIGTERM does in websvr's main.
    void signalTermination() { m_core->CloseServer(core::EXIT_ORDERLY); }
    bool endedInOrder() {
        return Eventually([this] { return m_exitCode.has_value(); }, 3 * WAIT_MS) &&
               *m_exitCode == core::EXIT_ORDERLY && !QDir(instanceFolder()).exists() &&
               QApplication::activeModalWidget() == nullptr;
    }
};

} // namespace

TEST_F(EndingTest, ASignalDuringAStartHeldByThePortWarningEndsTheStart) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::Any, quint16(m_program.port())));
    int dialogs = 0;
    m_modals.onBox = [this](QMessageBox*) { signalTermination(); };
    m_modals.onDialog = [&dialogs](QWidget*) { ++dialogs; };
    launchCore();
    EXPECT_TRUE(endedInOrder()) << logText().toStdString();
    // The warning was the last thing shown: no settings dialog after it, no browser.
    ASSERT_EQ(m_modals.boxes.size(), 1u);
    EXPECT_TRUE(m_modals.boxes[0].text.startsWith(
        i18n::Translate("msgPortInUse").replace("{Port}", QString::number(m_program.port()))));
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(openedUrls().isEmpty());
    EXPECT_FALSE(logText().contains("Launch browser as client"));
}

TEST_F(EndingTest, ASignalWhileTheSettingsDialogIsOpenEndsTheRunAndRestartsNothing) {
    startCore();
    int dialogs = 0;
    m_modals.onDialog = [&](QWidget*) {
        ++dialogs;
        signalTermination();
    };
    control<QAction>("mnuServerSettings")->trigger();
    EXPECT_TRUE(endedInOrder()) << logText().toStdString();
    EXPECT_EQ(dialogs, 1);
    // The dialog's end restarted neither the listener nor the data server.
    EXPECT_EQ(logText().count("Data server process id: "), 1);
    EXPECT_EQ(m_core->serverPort(), 0);
}

TEST_F(EndingTest, TheSessionClosingTheWindowsWhileABoxWaitsEndsInOrder) {
    startCore();
    m_core->StopServer();
    // What the session manager's end does to an application: its windows are closed.
    m_modals.onBox = [this](QMessageBox*) { m_desktop->mainWindow()->close(); };
    control<QAction>("mnuLinksWebSite")->trigger();
    EXPECT_TRUE(endedInOrder()) << logText().toStdString();
    ASSERT_EQ(m_modals.boxes.size(), 1u);
    EXPECT_EQ(m_modals.boxes[0].text, i18n::Translate("msgServerNotStarted"));
}
