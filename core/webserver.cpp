#include "core/webserver.h"

#include "common/error.h"
#include "common/files.h"
#include "common/helpfiles.h"
#include "common/objectfactory.h"
#include "common/userinterface.h"
#include "contract/namedmutex.h"
#include "core/commandline.h"
#include "core/partconfiguration.h"
#include "core/portscan.h"
#include "core/queuecleanup.h"
#include "core/serverstatus.h"
#include "diagnostics/trace.h"
#include "i18n/language.h"
#include "server/httpserver.h"
#include "supervision/serverqueue.h"
#include "supervision/watchdog.h"
#include "webappapi/adminkey.h"

#include <QCoreApplication>
#include <utility>

namespace core {

namespace {
const int FIRST_TICK_MS = 1;
const int TICK_MS = 500;

QString withPort(QString text, int port) {
    return text.replace(QStringLiteral("{Port}"), QString::number(port));
}
} // namespace

WebServer::WebServer(common::UserInterface& ui, QStringList arguments,
                     std::shared_ptr<bridge::WebApplicationService> webApplication, QObject* parent)
    : CoreFace(parent), m_ui(ui), m_arguments(std::move(arguments)),
      m_dynamicPages(m_pageContext, [this] { return m_supervisor.IsDataServerRunning(); }),
      m_webApplication(std::move(webApplication)) {
    m_config.folders.ProgramFolder = common::ProgramFolder();
    m_config.values.ApplicationDictionary = common::NewDictionary();
    diagnostics::Diagnostics& diagnostics = diagnostics::Diagnostics::instance();
    diagnostics.setUserInterface(&m_ui);
    // Known before anything can fail, so that a hidden run never shows a box.
    diagnostics.setInteractive(!IsHiddenRun(m_arguments));
    m_pageContext.Server = [this] {
        return CollectServerStatus(m_config.values, m_supervisor, m_httpConfig.tcpPort,
                                   m_windowState.totalRequests);
    };
    m_http = std::make_unique<server::HttpServer>(m_httpConfig, m_dynamicPages);
    connect(m_http.get(), &server::HttpServer::connectionCounted, this, [this] {
        m_windowState.countRequest();
        Q_EMIT stateChanged();
    });
    dataserver::SupervisorConfig supervision;
    supervision.stopRequested = [this] { return closing(); };
    m_supervisor.setConfig(std::move(supervision));
    configurationChanged();
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &WebServer::onTick);
    diagnostics.setCloseServer([this] { CloseServer(EXIT_RUNTIME_ERROR); });
}

std::unique_ptr<CoreFace>
CreateCore(common::UserInterface& ui, QStringList arguments,
           std::shared_ptr<bridge::WebApplicationService> webApplication) {
    return std::make_unique<WebServer>(ui, std::move(arguments), std::move(webApplication));
}

WebServer::~WebServer() {
    diagnostics::Diagnostics& diagnostics = diagnostics::Diagnostics::instance();
    diagnostics.setCloseServer({});
    diagnostics.setUserInterface(nullptr);
    // A process end releases the mutexes anyway; an object that ends earlier must too.
    releaseInstanceMutex();
}

void WebServer::start() {
    m_timer.setInterval(FIRST_TICK_MS);
    m_timer.start();
}

// ---- timer -----------------------------------------------------------------

void WebServer::onTick() {
    m_timer.stop(); // no tick starts while this one waits inside a step
    if (m_finished)
        return;
    m_inTick = true;
    try {
        tick();
    } catch (const common::Error& e) {
        diagnostics::AppErrorHandler(QString(), e.number(), e.description());
    } catch (const std::exception& e) {
        diagnostics::AppErrorHandler(QString(), common::ERR_PROGRAM,
                                     QString::fromLocal8Bit(e.what()));
    }
    m_inTick = false;
    if (m_pendingClose && !m_finished)
        shutdown(*m_pendingClose);
    if (m_finished)
        return;
    m_timer.setInterval(TICK_MS);
    m_timer.start();
}

void WebServer::tick() {
    // A check that fails (no descriptor left) keeps the last answer rather than end the run.
    if (!m_config.values.ParentMutexName.isEmpty() &&
        !m_parentState.held(m_config.values.ParentMutexName)) {
        CloseServer(EXIT_ORDERLY); // whoever started us has gone
        return;
    }
    if (!m_startupComplete) {
        InitializeServer();
        if (closing())
            return;
    }
    m_dataServerOk = m_supervisor.CheckDataServer(true);
}

bool WebServer::IsParentAlive() const {
    return dataserver::IsParentAlive(m_config.values.ParentMutexName);
}

void WebServer::applySettings(const Settings& settings) {
    m_config.settings = settings;
    configurationChanged();
}

bool WebServer::interactive() const {
    return diagnostics::Diagnostics::instance().interactive();
}

void WebServer::configurationChanged() {
    ConfigureHttpServer(m_config, m_httpConfig);
    ConfigureSupervision(m_config, m_supervisor);
    ConfigurePages(m_config, m_pageContext);
    if (m_webApplication)
        ConfigureWebApplication(m_config, *m_webApplication);
}

void WebServer::setStatus(const QString& text) {
    m_windowState.statusText = text;
    Q_EMIT stateChanged();
    QCoreApplication::processEvents();
}

void WebServer::showSettingsWhenInteractive() {
    if (interactive())
        ShowSettings();
}

// ---- listener --------------------------------------------------------------

void WebServer::StartServer() {
    const int port = m_httpConfig.tcpPort;
    switch (m_http->StartServer()) {
    case server::ListenOutcome::NoPort:
        diagnostics::NotifyUser(QStringLiteral("You must specify the port number of this server."),
                                common::MB_WARNING);
        showSettingsWhenInteractive();
        return;
    case server::ListenOutcome::PortInUse:
        diagnostics::NotifyUser(withPort(i18n::Translate(QStringLiteral("msgPortInUse")), port),
                                common::MB_WARNING);
        showSettingsWhenInteractive();
        break;
    case server::ListenOutcome::Listening:
    case server::ListenOutcome::OtherError:
        break;
    }
    startHttps();
    // The settings dialog above may have changed the port.
    setStatus(withPort(i18n::Translate(QStringLiteral("msgServerRunning")), m_httpConfig.tcpPort));
    m_windowState.linksVisible = true;
    m_windowState.serverStarted = true;
    Q_EMIT stateChanged();
}

void WebServer::StopServer() {
    m_http->StopServer();
    setStatus(QStringLiteral("Server is stopped"));
    m_windowState.serverStarted = false;
    Q_EMIT stateChanged();
}

int WebServer::serverPort() const {
    return m_http->serverPort();
}

// ---- shutdown --------------------------------------------------------------

void WebServer::CloseServer(int exitCode) {
    if (m_finished)
        return;
    // A signal or the end of the session may come while a box or a dialog waits for its user
    // (this may run inside it): it returns now, and nothing asks the user anything more, so
    // that whatever showed it can end.
    m_ui.endModalWindows();
    if (m_inTick) {
        if (!m_pendingClose)
            m_pendingClose = exitCode; // the first reason stands
        return;
    }
    shutdown(exitCode);
}

void WebServer::shutdown(int exitCode) {
    m_pendingClose.reset();
    m_timer.stop();
    m_http->closeListener();
    removeInstanceFiles();
    releaseInstanceMutex();
    m_finished = true;
    Q_EMIT finished(exitCode);
}

void WebServer::releaseInstanceMutex() {
    const int handle = std::exchange(m_instanceMutexHandle, 0);
    if (handle == 0)
        return;
    try {
        dataserver::DestroyInstanceMutex(handle);
    } catch (const common::Error&) {
        // Ending the process releases it anyway.
    }
}

// The queue folders, the data server's files and the instance folder, once this run has
// made and checked its instance folder. The data server is let go first and given a moment
// to end, so that it writes no alive file after their removal. Ignores every error.
void WebServer::removeInstanceFiles() {
    m_supervisor.ReleaseParentMutex(dataserver::END_WAIT_MS);
    // A refused temporary folder is somebody else's: nothing in it is touched.
    if (!m_instanceFolderChecked)
        return;
    removeQueueFolders();
    DeleteFileQuietly(m_config.folders.AliveFile);
    DeleteFileQuietly(m_config.folders.MessageFile);
    // Written by the launch for the data server's start; nobody reads it after the run.
    if (!m_config.values.dataServerDebug)
        DeleteFileQuietly(m_config.folders.ParameterFile);
    RemoveEmptyFolder(m_config.folders.InstanceFolder);
}

// Every run makes both default queue folders, also one told to use others: they are its own
// to remove, unless a developer's data server works in them. Named ones stay.
void WebServer::removeQueueFolders() {
    if (m_config.values.dataServerDebug)
        return;
    for (const QString& folder :
         {DefaultInQueueFolder(m_config.folders), DefaultOutQueueFolder(m_config.folders)})
        if (!m_config.values.NamedQueueFolders.contains(folder))
            dataserver::RemoveQueueFolder(folder);
    RemoveEmptyFolder(m_config.folders.QueueFolder);
}

// ---- ports and links -------------------------------------------------------

int WebServer::ScanPorts(int start, int end) {
    return core::ScanPorts(*m_http, start, end);
}

QString WebServer::LocalSiteAddress(bool useLocalhost) const {
    const QString host = useLocalhost || m_config.values.ComputerName.isEmpty()
                             ? QStringLiteral("localhost")
                             : m_config.values.ComputerName;
    // The scheme in capitals, as the address has always been written; browsers, xdg-open and
    // URL parsers take a scheme in any case.
    const Settings& settings = m_config.settings;
    if (settings.HttpsEnabled && settings.HttpsPort > 0)
        return QStringLiteral("https://") + host + QLatin1Char(':') +
               QString::number(settings.HttpsPort) + m_config.values.UrlPrefix + QLatin1Char('/');
    return QStringLiteral("HTTP://") + host + QLatin1Char(':') + QString::number(settings.TCPPort) +
           m_config.values.UrlPrefix + QLatin1Char('/');
}

void WebServer::ShowClientPage() {
    m_ui.openUrl(LocalSiteAddress(false));
}

void WebServer::ShowAdminPage() {
    m_ui.openUrl(LocalSiteAddress(true) + QLatin1String(ADMIN_PAGE_QUERY) +
                 bridge::AdminKey(m_config.values.RunSecret));
}

void WebServer::ShowHelp(const QString& context) {
    m_ui.openUrl(common::HelpFileAddress(m_config.folders.ProgramFolder,
                                         m_config.values.LanguageCode, context));
}

} // namespace core
