#pragma once

// The core and its desktop windows in the test process, started from a private copy of the
// staged program folder, with modal boxes and dialogs driven by the test.

#include "core/webserver.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"
#include "ui/desktop.h"
#include "ui/mainwindow.h"

#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace support {

// Answers the modal windows as they open: message boxes with the next answer queued (else
// their default button), other dialogs through onDialog. Records every message box.
class ModalDriver final {
public:
    ModalDriver();

    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
    };
    std::vector<Box> boxes;
    std::deque<QMessageBox::StandardButton> answers;
    // A modal window that is no message box; the test closes it (or leaves it for the next
    // look, 20 ms on).
    std::function<void(QWidget*)> onDialog;
    // When set, a message box is handed to it (once, recorded) instead of being answered;
    // the test answers it or leaves it open.
    std::function<void(QMessageBox*)> onBox;
    // Modal windows still open WAIT_MS after they came up, closed by the driver as a guard:
    // whatever the test waited for to close them did not.
    int forcedClosed = 0;

    // The boxes whose text holds part.
    int boxesWith(const QString& part) const;

private:
    void look();
    QTimer m_timer;
    QPointer<QWidget> m_current; // the modal window of the last look
    QDeadlineTimer m_currentGuard;
    QSet<QWidget*> m_handling; // dialogs handed to onDialog and not yet given back
};

class DesktopFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the core for arguments with its windows, and runs its start-up to the end.
    void startCore(const QStringList& arguments = {});
    // Makes the core with its windows and arms its start-up, without waiting for it.
    void launchCore(const QStringList& arguments = {});
    // The URLs handed to the browser (xdg-open) so far.
    QStringList openedUrls() const;
    // A GET of path from the server in this process (events run while it waits): the
    // whole answer, empty when nobody answers.
    QByteArray fetch(const QString& path) const;
    // The log of this run.
    QString logText() const;
    // The main window's control name.
    template <typename T> T* control(const char* name) const {
        return m_desktop->mainWindow()->findChild<T*>(QLatin1String(name));
    }

    ProgramFolder m_program;
    ModalDriver m_modals;
    // Handed to the core that launchCore makes.
    std::shared_ptr<bridge::WebApplicationService> m_webApplication;
    std::unique_ptr<ui::Desktop> m_desktop;
    std::unique_ptr<core::WebServer> m_core; // after the desktop: it goes first
    std::optional<int> m_exitCode;           // once the core has finished

private:
    QByteArray m_path;
};

} // namespace support
