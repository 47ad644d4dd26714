#include "startup/webserver.h"

#include "common/dictionary.h"
#include "common/error.h"
#include "common/files.h"
#include "common/guid.h"
#include "common/objectfactory.h"
#include "common/text.h"
#include "common/userinterface.h"
#include "common/version.h"
#include "dataserver/contract.h"
#include "dataserver/namedmutex.h"
#include "dataserver/serverqueue.h"
#include "dataserver/watchdog.h"
#include "diagnostics/log.h"
#include "diagnostics/trace.h"
#include "i18n/language.h"
#include "server/httpserver.h"
#include "startup/applicationfolder.h"
#include "startup/checks.h"
#include "startup/commandline.h"
#include "startup/portscan.h"
#include "startup/queuecleanup.h"
#include "startup/usermode.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRandomGenerator>
#include <climits>
#include <cstdio>

namespace startup {

namespace {
const int FIRST_TICK_MS = 1;
const int TICK_MS = 500;

void trace(const QString& text) {
    diagnostics::WriteTrace(text);
}

QString withPort(QString text, int port) {
    return text.replace(QStringLiteral("{Port}"), QString::number(port));
}

// A hidden run has nobody to show a message to; its parent reads standard error.
void tellParent(const QString& text) {
    std::fprintf(stderr, "websvr: %s\n", qUtf8Printable(text));
    std::fflush(stderr);
}
} // namespace

WebServer::WebServer(common::UserInterface& ui, QStringList arguments, QObject* parent)
    : QObject(parent), m_ui(ui), m_arguments(std::move(arguments)),
      m_dynamicPages(m_pageContext, [this] { return m_supervisor.IsDataServerRunning(); }) {
    m_folders.ProgramFolder = common::ProgramFolder();
    m_values.ServerVersion = common::ServerVersion();
    m_values.ApplicationDictionary = common::NewDictionary();
    // Known before anything can fail, so that a hidden run never shows a box.
    m_values.interactive =
        !ParseCommandLine(JoinArguments(m_arguments))->Exists(QStringLiteral("hidden"));
    diagnostics::Diagnostics::instance().setInteractive(m_values.interactive);
    m_http = std::make_unique<server::HttpServer>(m_httpConfig, m_dynamicPages);
    connect(m_http.get(), &server::HttpServer::connectionCounted, this,
            &WebServer::countConnection);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &WebServer::onTick);
    diagnostics::Diagnostics::instance().setCloseServer(
        [this] { CloseServer(EXIT_RUNTIME_ERROR); });
}

WebServer::~WebServer() {
    diagnostics::Diagnostics::instance().setCloseServer({});
    // A process end releases the mutexes anyway; an object that ends earlier must too.
    if (m_values.InstanceMutexHandle != 0) {
        try {
            dataserver::DestroyInstanceMutex(m_values.InstanceMutexHandle);
        } catch (const common::Error&) {
        }
    }
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
    if (!m_values.ParentMutexName.isEmpty() && !m_parentState.held(m_values.ParentMutexName)) {
        CloseServer(EXIT_ORDERLY); // whoever started us has gone
        return;
    }
    if (!m_values.StartupComplete) {
        InitializeServer();
        if (m_finished || m_pendingClose)
            return;
    }
    m_values.dataServerOk = m_supervisor.CheckDataServer(true);
}

bool WebServer::IsParentAlive() const {
    return dataserver::IsParentAlive(m_values.ParentMutexName);
}

// ---- start-up sequence -----------------------------------------------------

void WebServer::InitializeServer() {
    const bool nested = m_inTick;
    m_inTick = true; // a close asked for during a step waits for the step's end
    try {
        runSteps();
    } catch (const common::Error& e) {
        reportStartupError(e.number(), e.description());
    } catch (const std::exception& e) {
        reportStartupError(common::ERR_PROGRAM, QString::fromLocal8Bit(e.what()));
    }
    m_inTick = nested;
    if (!nested && m_pendingClose && !m_finished)
        shutdown(*m_pendingClose);
}

void WebServer::runSteps() {
    static constexpr Step STEPS[] = {
        &WebServer::beginStartup,
        &WebServer::createProgramFolders,
        &WebServer::readCommandLine,
        &WebServer::openLog,
        &WebServer::takeInstanceMutex,
        &WebServer::checkParent,
        &WebServer::checkComponents,
        &WebServer::deriveConfiguration,
        &WebServer::loadSettings,
        &WebServer::deriveTempFolders,
        &WebServer::prepareQueues,
        &WebServer::clearQueues,
        &WebServer::readContext,
        &WebServer::loadTranslations,
        &WebServer::checkApplicationFolder,
        &WebServer::startDataServer,
        &WebServer::checkExcel,
        &WebServer::startServing,
    };
    for (const Step step : STEPS) {
        (this->*step)();
        applyConfiguration();
        if (m_pendingClose && !m_finished)
            shutdown(*m_pendingClose);
        if (m_finished)
            return;
    }
}

void WebServer::reportStartupError(int number, const QString& description) {
    const QString text = QStringLiteral("An error occured in the program. Error ") +
                         QString::number(number) + QStringLiteral(". ") + description;
    diagnostics::Log* log = diagnostics::Diagnostics::instance().log();
    const bool logOpen = log && log->isOpen();
    try {
        if (logOpen) {
            diagnostics::NotifyUser(text, common::MB_ERROR);
            diagnostics::WriteTrace(text, diagnostics::NO_DURATION, 2);
        } else if (m_values.interactive) {
            m_ui.messageBox(text, common::MB_ERROR, common::MessageTitle());
        }
    } catch (const common::Error&) {
        // The report must not fail; standard error below still carries it.
    }
    // A hidden run shows nothing; its parent learns the reason from standard error.
    if (!m_values.interactive)
        tellParent(text);
    m_pendingClose.reset();
    m_timer.stop();
    m_http->closeListener();
    // None of the shutdown's steps, but what this start made in the temporary folder goes.
    removeInstanceFiles();
    m_finished = true;
    m_exitCode = EXIT_STARTUP_ERROR;
    Q_EMIT finished(m_exitCode); // no shutdown steps after a start-up error
}

void WebServer::applyConfiguration() {
    m_httpConfig.webRootFolder = m_folders.WebRootFolder;
    m_httpConfig.serverVersion = m_values.ServerVersion;
    m_httpConfig.tcpPort = m_settings.TCPPort;
    m_httpConfig.cacheExpiresStatic = m_settings.CacheExpiresStatic;
    m_httpConfig.cacheExpiresDynamic = m_settings.CacheExpiresDynamic;

    dataserver::SupervisorConfig supervision;
    supervision.ProgramFolder = m_folders.ProgramFolder;
    supervision.ParameterFile = m_folders.ParameterFile;
    supervision.AliveFile = m_folders.AliveFile;
    supervision.MessageFile = m_folders.MessageFile;
    supervision.InQueueFolder = m_folders.InQueueFolder;
    supervision.OutQueueFolder = m_folders.OutQueueFolder;
    supervision.ApplicationPath = m_settings.ApplicationPath;
    supervision.RunningMutexName = m_values.RunningMutexName;
    supervision.ShowDataServer = m_values.ShowDataServer;
    supervision.interactive = m_values.interactive;
    supervision.ApplicationDictionary = m_values.ApplicationDictionary;
    supervision.stopRequested = [this] { return m_finished || m_pendingClose.has_value(); };
    m_supervisor.setConfig(std::move(supervision));
    m_supervisor.setDataServerDebug(m_values.dataServerDebug);

    m_pageContext.ProgramFolder = m_folders.ProgramFolder;
    m_pageContext.WebRootFolder = m_folders.WebRootFolder;
    m_pageContext.UrlPrefix = m_values.UrlPrefix;
    m_pageContext.ApplicationDictionary = m_values.ApplicationDictionary;
    m_pageContext.ApplicationPath = m_settings.ApplicationPath;
    m_pageContext.ExcelInstalled = m_values.ExcelInstalled;
    m_pageContext.DebugMode = m_settings.DebugMode;
    m_pageContext.UserMode = m_values.UserMode;
    m_pageContext.RunSecret = m_values.RunSecret;
    m_pageContext.TempFolder = m_folders.TempFolder;
    m_pageContext.SessionTimeout = m_settings.SessionTimeout;
    m_pageContext.InQueueFolder = m_folders.InQueueFolder;
    m_pageContext.OutQueueFolder = m_folders.OutQueueFolder;
}

void WebServer::setStatus(const QString& text) {
    m_windowState.statusText = text;
    m_windowState.changed();
    QCoreApplication::processEvents();
}

void WebServer::countConnection() {
    // Wraps to 0 rather than overflow past the largest 32-bit count.
    m_windowState.totalRequests =
        m_windowState.totalRequests == INT_MAX ? 0 : m_windowState.totalRequests + 1;
    m_windowState.changed();
}

void WebServer::showSettingsWhenInteractive() {
    if (m_values.interactive)
        ShowSettings();
}

// ---- listener --------------------------------------------------------------

void WebServer::StartServer() {
    applyConfiguration();
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
    // The settings dialog above may have changed the port.
    applyConfiguration();
    setStatus(withPort(i18n::Translate(QStringLiteral("msgServerRunning")), m_httpConfig.tcpPort));
    m_windowState.linksVisible = true;
    m_windowState.serverStarted = true;
    m_windowState.changed();
}

void WebServer::StopServer() {
    m_http->StopServer();
    setStatus(QStringLiteral("Server is stopped"));
    m_windowState.serverStarted = false;
    m_windowState.changed();
}

QString WebServer::option(const QString& key) const {
    return common::ToText(m_commandLine->item(key));
}

// Steps 1 to 3.
void WebServer::beginStartup() {
    setStatus(QStringLiteral("Initializing"));
    QRandomGenerator random(static_cast<quint32>(QDateTime::currentMSecsSinceEpoch()));
    const float number = static_cast<float>(random.generateDouble());
    m_values.RunSecret = common::NewGuidString() + QLocale::system().toString(number);
    m_values.dataServerDebug = dataserver::MutexExists(QLatin1String(dataserver::DEBUG_TOKEN));
}

// Step 4.
void WebServer::createProgramFolders() {
    CreateProgramFolders(m_folders.ProgramFolder);
}

// Steps 5 and 6.
void WebServer::readCommandLine() {
    m_values.CommandLine = JoinArguments(m_arguments);
    m_commandLine = ParseCommandLine(m_values.CommandLine);
    m_values.InstanceName = option(QStringLiteral("instance"));
    if (m_values.InstanceName.isEmpty())
        m_values.InstanceName = m_values.dataServerDebug
                                    ? QStringLiteral("DebugInstance")
                                    : QString::number(QCoreApplication::applicationPid());
    m_values.ParentMutexName = option(QStringLiteral("parentmutex"));
    m_values.RunningMutexName = option(QStringLiteral("runningmutex"));
    m_values.interactive = !m_commandLine->Exists(QStringLiteral("hidden"));
    diagnostics::Diagnostics::instance().setInteractive(m_values.interactive);
    m_values.ShowDataServer = m_commandLine->Exists(QStringLiteral("showdataserver"));
}

// Steps 7 and 8.
void WebServer::openLog() {
    m_folders.DataFolder =
        DataFolderFor(option(QStringLiteral("datafolder")), m_folders.ProgramFolder);
    common::MkDirRecurse(m_folders.DataFolder);
    diagnostics::OpenLog(m_folders.DataFolder);
    m_folders.LogsFolder = GetLogsFolder(m_folders.DataFolder);
    trace(QStringLiteral("Application Path: ") + m_folders.ProgramFolder);
    trace(QStringLiteral("Command Line: ") + m_values.CommandLine);
}

// Steps 9 to 11.
void WebServer::takeInstanceMutex() {
    m_values.LanguageCode = option(QStringLiteral("language")).toLower();
    if (m_values.LanguageCode.isEmpty())
        m_values.LanguageCode = i18n::DefaultLanguage();
    m_values.LanguageFileOverride = option(QStringLiteral("languagefile"));
    m_values.LanguageFolderOverride = option(QStringLiteral("languagefolder"));
    if (m_values.RunningMutexName.isEmpty())
        m_values.RunningMutexName = common::NewGuidString();
    m_values.InstanceMutexHandle = dataserver::CreateInstanceMutex(m_values.RunningMutexName);
}

// Step 12.
void WebServer::checkParent() {
    if (IsParentAlive())
        return;
    trace(QStringLiteral("Parent mutex ") + m_values.ParentMutexName +
          QStringLiteral(" is not active. Closing web server."));
    CloseServer(EXIT_ORDERLY);
}

// Step 13.
void WebServer::checkComponents() {
    CheckComponents();
}

// Steps 14 to 17.
void WebServer::deriveConfiguration() {
    m_folders.ContextFile =
        ContextFileFor(option(QStringLiteral("context")), m_folders.ProgramFolder);
    trace(QStringLiteral("Context file: ") + m_folders.ContextFile);
    m_values.DataServerParentMutex.clear();
    m_values.DataServerRunningMutex.clear();
    m_folders.ConfigFolder =
        ConfigFolderFor(option(QStringLiteral("configfolder")), m_folders.DataFolder);
    trace(QStringLiteral("Config folder: ") + m_folders.ConfigFolder);
    common::MkDirRecurse(m_folders.ConfigFolder);
    m_folders.SettingsFile =
        SettingsFileFor(option(QStringLiteral("config")), m_folders.ConfigFolder);
    trace(QStringLiteral("INI file: ") + m_folders.SettingsFile);
}

// Step 18.
void WebServer::loadSettings() {
    m_settings =
        LoadSettings(m_folders.SettingsFile, m_folders.ProgramFolder,
                     [this](int start, int end) { return ScanPortsForUser(*m_http, start, end); });
}

// Steps 19 to 22.
void WebServer::deriveTempFolders() {
    m_folders.WebRootFolder = m_folders.ProgramFolder + QStringLiteral("/wwwroot");
    m_values.UrlPrefix.clear();
    DeriveTempFolders(m_folders);
    trace(QStringLiteral("Temp folder: ") + m_folders.TempFolder);
    // Made and checked before anything goes into them: another local user must neither read
    // nor plant what the data server and we exchange there.
    common::MkDirRecurse(m_folders.TempFolder, PRIVATE_FOLDER_MODE);
    CheckPrivateFolder(m_folders.TempFolder);
    common::MkDirRecurse(m_folders.ExcelTempFolder, PRIVATE_FOLDER_MODE);
    common::MkDirRecurse(m_folders.WebTempFolder);
    DeriveInstanceFiles(m_folders, m_values.InstanceName);
    common::MkDirRecurse(m_folders.InstanceFolder, PRIVATE_FOLDER_MODE);
    CheckPrivateFolder(m_folders.InstanceFolder);
    m_instanceFolderChecked = true;
}

// Steps 23 to 26.
void WebServer::prepareQueues() {
    trace(QStringLiteral("Queue folder: ") + m_folders.QueueFolder);
    m_folders.InQueueFolder = option(QStringLiteral("inqueue"));
    if (m_folders.InQueueFolder.isEmpty()) {
        m_folders.InQueueFolder = DefaultInQueueFolder(m_folders);
        m_values.DeleteInQueueOnExit = !m_values.dataServerDebug;
    }
    trace(QStringLiteral("Incoming Queue: ") + m_folders.InQueueFolder);
    m_folders.OutQueueFolder = option(QStringLiteral("outqueue"));
    if (m_folders.OutQueueFolder.isEmpty()) {
        m_folders.OutQueueFolder = DefaultOutQueueFolder(m_folders);
        m_values.DeleteOutQueueOnExit = !m_values.dataServerDebug;
    }
    trace(QStringLiteral("Outgoing Queue: ") + m_folders.OutQueueFolder);
    QString reason;
    if (dataserver::CreateQueueFolders(m_folders.QueueFolder, reason))
        return;
    diagnostics::NotifyUser(
        QStringLiteral(
            "The program was unable to establish the communication queues in the foler '") +
            m_folders.QueueFolder + QStringLiteral("'.\r\n\r\n") + reason,
        common::MB_ERROR);
    CloseServer(EXIT_START_FAILED);
}

// Step 27.
void WebServer::clearQueues() {
    trace(QStringLiteral("Clear queues"));
    dataserver::ClearQueues({m_folders.InQueueFolder, m_folders.OutQueueFolder});
}

// Steps 28 to 30.
void WebServer::readContext() {
    m_values.UserMode = ReadUserMode(m_folders.ContextFile);
    m_windowState.totalRequests = 0;
    m_values.StartTime = QDateTime::currentDateTime();
    m_values.ComputerName = common::ComputerName();
    m_values.ApplicationDictionary = common::NewDictionary();
}

// Steps 31 to 33.
void WebServer::loadTranslations() {
    trace(QStringLiteral("Load translations"));
    i18n::SetLanguageOverrides(m_values.LanguageFileOverride, m_values.LanguageFolderOverride);
    i18n::LoadLanguage(m_values.LanguageCode);
    trace(QStringLiteral("Apply translations"));
    Q_EMIT translationsLoaded();
    m_windowState.versionText =
        i18n::Translate(QStringLiteral("lblVersion")) + QLatin1Char(' ') + common::VersionText();
    m_windowState.linksVisible = false;
    m_windowState.debugText =
        i18n::Translate(m_settings.DebugMode ? QStringLiteral("On") : QStringLiteral("Off"));
    m_windowState.changed();
}

// Step 34.
void WebServer::checkApplicationFolder() {
    if (startup::CheckApplicationFolder(m_settings.ApplicationPath))
        return;
    // A hidden run never waits for a dialog that nobody can see.
    if (m_values.interactive && m_ui.showSettingsDialog() &&
        startup::CheckApplicationFolder(m_settings.ApplicationPath))
        return;
    trace(QStringLiteral("Invalid application path: ") + m_settings.ApplicationPath);
    CloseServer(EXIT_START_FAILED);
}

// Steps 35 to 37.
void WebServer::startDataServer() {
    trace(QStringLiteral("Start data server"));
    setStatus(i18n::Translate(QStringLiteral("msgStartDataServer")));
    if (!m_supervisor.StartDataServer()) {
        trace(QStringLiteral("Unable to start data server"));
        CloseServer(EXIT_START_FAILED);
        return;
    }
    setStatus(QString());
    trace(QStringLiteral("Check data server"));
    m_values.dataServerOk = m_supervisor.CheckDataServer(false);
}

// Step 38.
void WebServer::checkExcel() {
    trace(QStringLiteral("Check Excel"));
    setStatus(QStringLiteral("Check Excel installation"));
    QString reason;
    bool ok = false;
    m_values.ExcelInstalled = CheckExcel(reason, ok);
    if (!m_values.ExcelInstalled)
        diagnostics::NotifyUser(
            QStringLiteral("The program is unable to use Microsoft Excel. If you don't have "
                           "Microsoft Excel on this system the web users will not be able to see "
                           "the forms with graphical data charts.\r\n\r\n") +
                reason,
            common::MB_INFORMATION);
}

// Steps 39 to 41.
void WebServer::startServing() {
    trace(QStringLiteral("Start serving pages"));
    StartServer();
    if (m_http->serverPort() == 0 && !m_values.interactive && !listenOnceMore())
        return;
    if (m_http->serverPort() > 0)
        Q_EMIT listening(m_http->serverPort());
    if (m_values.interactive && m_values.dataServerOk) {
        trace(QStringLiteral("Launch browser as client"));
        ShowAdminPage();
    }
    m_values.StartupComplete = true;
}

// A hidden run that cannot listen serves nobody: it says so and ends. One more attempt,
// since the port may have come free; its error, if any, is the reason given.
bool WebServer::listenOnceMore() {
    const int port = m_httpConfig.tcpPort;
    const int error = port > 0 ? m_http->tryListen(port) : 0;
    if (port > 0 && error == 0)
        return true;
    const QString reason = port > 0 ? QStringLiteral("Unable to listen on port ") +
                                          QString::number(port) + QStringLiteral(": ") +
                                          ListenErrorText(error)
                                    : QStringLiteral("No port to listen on (TCPPort is 0 in ") +
                                          m_folders.SettingsFile + QLatin1Char(')');
    diagnostics::TraceSafely(reason + QStringLiteral(". Closing web server."), 2);
    tellParent(reason + QStringLiteral("; ending."));
    CloseServer(EXIT_NO_LISTENER);
    return false;
}

// ---- shutdown --------------------------------------------------------------

void WebServer::CloseServer(int exitCode) {
    if (m_finished)
        return;
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
    if (m_values.InstanceMutexHandle != 0) {
        const int handle = m_values.InstanceMutexHandle;
        m_values.InstanceMutexHandle = 0;
        try {
            dataserver::DestroyInstanceMutex(handle);
        } catch (const common::Error&) {
            // Ending the process releases it anyway.
        }
    }
    m_finished = true;
    m_exitCode = exitCode;
    Q_EMIT finished(exitCode);
}

// The queue folders, the data server's files and the instance folder, once this run has
// made and checked its instance folder. The data server is let go first and given a moment
// to end, so that it writes no alive file after their removal. Ignores every error.
void WebServer::removeInstanceFiles() {
    m_supervisor.ReleaseParentMutex(dataserver::END_WAIT_MS);
    // A refused temporary folder is somebody else's: nothing in it is touched.
    if (!m_instanceFolderChecked)
        return;
    if (m_values.DeleteInQueueOnExit)
        RemoveQueueFolder(m_folders.InQueueFolder);
    if (m_values.DeleteOutQueueOnExit)
        RemoveQueueFolder(m_folders.OutQueueFolder);
    if (m_values.DeleteInQueueOnExit || m_values.DeleteOutQueueOnExit)
        RemoveEmptyFolder(m_folders.QueueFolder);
    DeleteFileQuietly(m_folders.AliveFile);
    DeleteFileQuietly(m_folders.MessageFile);
    // Written by the launch for the data server's start; nobody reads it after the run.
    if (!m_values.dataServerDebug)
        DeleteFileQuietly(m_folders.ParameterFile);
    RemoveEmptyFolder(m_folders.InstanceFolder);
}

// ---- ports and links -------------------------------------------------------

int WebServer::ScanPorts(int start, int end) {
    return startup::ScanPorts(*m_http, start, end);
}

QString WebServer::LocalSiteAddress(bool useLocalhost) const {
    const QString host = useLocalhost || m_values.ComputerName.isEmpty()
                             ? QStringLiteral("localhost")
                             : m_values.ComputerName;
    return QStringLiteral("http://") + host + QLatin1Char(':') +
           QString::number(m_settings.TCPPort) + m_values.UrlPrefix + QLatin1Char('/');
}

void WebServer::ShowClientPage() {
    m_ui.openUrl(LocalSiteAddress(false));
}

void WebServer::ShowAdminPage() {
    m_ui.openUrl(LocalSiteAddress(true) + QLatin1String(ADMIN_PAGE_QUERY));
}

} // namespace startup
