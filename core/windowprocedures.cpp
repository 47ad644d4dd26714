// The procedures of the web server's core that the window calls: the settings procedure,
// the application reset, the data connection settings, help and the links.

#include "common/error.h"
#include "common/objectfactory.h"
#include "common/userinterface.h"
#include "core/portscan.h"
#include "core/webserver.h"
#include "diagnostics/trace.h"
#include "i18n/language.h"
#include "server/httpserver.h"

namespace core {

namespace {
// A link used before the listener runs explains itself instead of opening a dead address.
void tellServerNotStarted() {
    diagnostics::NotifyUser(i18n::Translate(QStringLiteral("msgServerNotStarted")),
                            common::MB_WARNING);
}
} // namespace

void WebServer::ShowSettings() {
    // Neither the watchdog nor the parent check runs while the dialog is open. Inside a
    // tick (the listener asking at start-up) the timer is already stopped, and the tick
    // arms it again when it ends: starting it here would let a second tick run inside this
    // one and start the server twice.
    const bool resumeTimer = m_timer.isActive();
    m_timer.stop();
    const bool shown = m_ui.showSettingsDialog();
    // Ended while the dialog was open (a signal, the parent gone): nothing more to restart.
    if (closing())
        return;
    // No dialog, no new values: a restart would only meet the same listener outcome again.
    if (!shown) {
        if (resumeTimer)
            m_timer.start();
        return;
    }
    m_windowState.debugText =
        i18n::Translate(m_config.settings.DebugMode ? QStringLiteral("On") : QStringLiteral("Off"));
    Q_EMIT stateChanged();
    StopServer();
    ResetApplication();
    StartServer();
    if (resumeTimer && !m_finished)
        m_timer.start();
}

void WebServer::ResetApplication() {
    m_config.values.ApplicationDictionary = common::NewDictionary();
    if (m_webApplication)
        m_webApplication->reset();
    configurationChanged();
    // The result is not needed: the watchdog's next tick sees a data server that did not start.
    m_supervisor.RestartDataServer();
}

void WebServer::ShowDataConnectionSettings() {
    try {
        m_supervisor.ShowDataConnectionSettings();
    } catch (const common::Error& e) {
        // A menu command that fails says so and leaves the server running.
        diagnostics::NotifyUser(e.description(), common::MB_ERROR);
    }
}

int WebServer::ScanForFreePort(int start, int end) {
    return core::ScanPortsForUser(*m_http, start, end);
}

void WebServer::runCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (const common::Error& e) {
        diagnostics::AppErrorHandler(QString(), e.number(), e.description());
    }
}

void WebServer::LinkWebSite() {
    if (m_windowState.serverStarted)
        ShowClientPage();
    else
        tellServerNotStarted();
}

void WebServer::LinkAdministration() {
    if (m_windowState.serverStarted)
        ShowAdminPage();
    else
        tellServerNotStarted();
}

} // namespace core
