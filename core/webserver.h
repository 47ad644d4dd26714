#pragma once

#include "bridge/dynamicpages.h"
#include "bridge/pagecontext.h"
#include "core/configuration.h"
#include "core/coreface.h"
#include "core/exitcodes.h"
#include "server/httpconfig.h"
#include "supervision/supervisor.h"
#include "supervision/tokenstate.h"
#include "webappapi/webapplicationservice.h"

#include <QStringList>
#include <QTimer>
#include <memory>
#include <optional>

namespace common {
class UserInterface;
}
namespace server {
class HttpServer;
enum class Scheme;
} // namespace server

namespace core {

// The query of the web application's administration page, after the site address;
// the run's administration key follows it.
inline constexpr const char* ADMIN_PAGE_QUERY = "?page=admin&key=";

// The web server's core: folders, settings, start-up values, the HTTP server, the
// window state and the timer that drives start-up and the watchdog. The window (or
// the headless run) sees it through CoreFace only: it shows its state through the
// const views and acts through its procedures. One per process: it registers the
// user interface with the diagnostics for its lifetime.
class WebServer final : public CoreFace {
    Q_OBJECT
public:
    // arguments: the command line without the program name. webApplication: the web
    // application's lasting part, owned by the core from now on, configured with every
    // change and reset with the application; none when the run serves no web application.
    explicit WebServer(common::UserInterface& ui, QStringList arguments,
                       std::shared_ptr<bridge::WebApplicationService> webApplication = {},
                       QObject* parent = nullptr);
    ~WebServer() override;

    void start() override;

    // The orderly end: removes this instance's queue folders and files, releases the
    // mutexes and emits finished(exitCode). Inside a tick the shutdown runs as soon as
    // the current step is done, so no later step runs. Any box or dialog open is closed
    // first (as by its user), and none opens afterwards.
    void CloseServer(int exitCode) override;

    // Listens on the configured port and shows the running status. No port: a
    // warning (and the settings dialog when interactive) and nothing else. Port in
    // use: the "msgPortInUse" warning (and the dialog when interactive).
    void StartServer();
    // Stops the listener and the connections still receiving; "Server is stopped".
    void StopServer();

    // Takes settings as the run's and hands them down to the HTTP server, the
    // supervision and the dynamic pages.
    void applySettings(const Settings& settings) override;

    // True when no parent is named or the parent's mutex is still held.
    bool IsParentAlive() const;

    // The first port of [start, end] on which the listener can listen; 0 when none.
    // Leaves the listener closed.
    int ScanPorts(int start, int end);

    // "HTTP://" + ("localhost" or the computer name) + ":" + port + "/"; with HTTPS on,
    // "https://" and the HTTPS port.
    QString LocalSiteAddress(bool useLocalhost) const;
    void ShowClientPage();
    // The administration page with this run's key, on "localhost".
    void ShowAdminPage() override;
    // The help page for context ("" for the contents, "tracelog", "ServerSettings"): the
    // file shipped with the program, in the run's language (common::HelpFileAddress), so
    // help opens whatever state the server is in, and without the internet.
    void ShowHelp(const QString& context) override;

    // The procedures the window calls (windowprocedures.cpp).
    // The settings dialog with the timer paused; then, confirmed or cancelled, the debug
    // text, the listener stopped, the application reset and the listener started again.
    void ShowSettings() override;
    // A new, empty ApplicationDictionary, the web application's service reset and a
    // restarted data server.
    void ResetApplication();
    // Starts the data server's configuration mode. A failure to start it is told to the
    // user, never raised.
    void ShowDataConnectionSettings() override;
    // Links, Web Site and Links, Administration: the page while the server is started,
    // else the msgServerNotStarted warning.
    void LinkWebSite() override;
    void LinkAdministration() override;
    // A common::Error escaping command ends in diagnostics::AppErrorHandler.
    void runCommand(const std::function<void()>& command) override;
    // The settings dialog's Scan: as ScanPorts, going on over 8080 to 8100 when every
    // port of the range needs privileges we lack.
    int ScanForFreePort(int start, int end) override;

    const FolderSet& folders() const override { return m_config.folders; }
    const Settings& settings() const override { return m_config.settings; }
    const StartupValues& values() const override { return m_config.values; }
    const WindowState& windowState() const override { return m_windowState; }
    // What the parts see of the configuration.
    const server::HttpConfig& httpConfig() const { return m_httpConfig; }
    const dataserver::Supervisor& supervisor() const { return m_supervisor; }
    const bridge::PageContext& pageContext() const { return m_pageContext; }
    // The port being listened on; 0 when not listening.
    int serverPort() const;
    bool startupComplete() const { return m_startupComplete; }
    // The data server answered at the last check.
    bool dataServerOk() const { return m_dataServerOk; }

private:
    using Step = void (WebServer::*)();

    void onTick();
    void tick();
    void shutdown(int exitCode);
    void removeInstanceFiles();
    void removeQueueFolders();
    void releaseInstanceMutex();
    // Tells the HTTP server, the data server's supervision, the dynamic pages and the web
    // application of a change of m_config (partconfiguration.h). Runs once it is made, after
    // every start-up step, every change of the settings and the application's reset.
    void configurationChanged();
    bool interactive() const;
    // A close was asked for, or the run has ended: nothing more is started or shown.
    bool closing() const { return m_finished || m_pendingClose.has_value(); }
    // Shows text as the status and lets the event loop run once.
    void setStatus(const QString& text);
    void showSettingsWhenInteractive();

    // The start-up sequence (startupsequence.cpp), run by the first tick. Either
    // completes (startupComplete) or ends the run (finished).
    void InitializeServer();
    // Its steps in their order; each may end the run.
    void runSteps();
    void reportStartupError(int number, const QString& description);
    bool listenOnceMore(server::Scheme scheme);
    // With HTTPS on: the certificate made when it is ours and due, then loaded. Raises
    // common::Error when it cannot be used.
    void prepareHttps();
    // The HTTPS listener after the HTTP one. After the start-up (the settings dialog) the
    // certificate is loaded again first, and one that cannot be used leaves HTTPS off with a
    // warning.
    void startHttps();
    void beginStartup();
    void createProgramFolders();
    void readCommandLine();
    void openLog();
    void takeInstanceMutex();
    void checkParent();
    void checkComponents();
    void deriveConfiguration();
    void loadSettings();
    void deriveTempFolders();
    void prepareQueues();
    void clearQueues();
    void readContext();
    void loadTranslations();
    void checkApplicationFolder();
    void startDataServer();
    void checkExcel();
    void startServing();
    QString option(const QString& key) const;

    common::UserInterface& m_ui;
    const QStringList m_arguments;
    common::DictionaryPtr m_commandLine;
    // The one configuration of the run; its parts are told of every change
    // (configurationChanged).
    Configuration m_config;

    // Live state.
    WindowState m_windowState;
    bool m_startupComplete = false;
    bool m_dataServerOk = false;
    int m_instanceMutexHandle = 0; // 0: none

    server::HttpConfig m_httpConfig;
    dataserver::Supervisor m_supervisor;
    bridge::PageContext m_pageContext;
    bridge::DynamicPages m_dynamicPages;
    std::shared_ptr<bridge::WebApplicationService> m_webApplication;
    std::unique_ptr<server::HttpServer> m_http; // after what it refers to, so it goes first
    QTimer m_timer;
    dataserver::TokenState m_parentState{true}; // the parent was there at start-up

    bool m_inTick = false;
    bool m_instanceFolderChecked = false; // the temporary folders are ours
    std::optional<int> m_pendingClose;
    bool m_finished = false;
};

} // namespace core
