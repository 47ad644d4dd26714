#include "core/webserver.h"

#include "common/dictionary.h"
#include "common/error.h"
#include "common/files.h"
#include "common/guid.h"
#include "common/objectfactory.h"
#include "common/text.h"
#include "common/userinterface.h"
#include "common/version.h"
#include "contract/contract.h"
#include "contract/namedmutex.h"
#include "core/applicationfolder.h"
#include "core/checks.h"
#include "core/commandline.h"
#include "core/portscan.h"
#include "core/usermode.h"
#include "diagnostics/log.h"
#include "diagnostics/trace.h"
#include "i18n/language.h"
#include "server/httpserver.h"
#include "supervision/serverqueue.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>
#include <utility>

// The start-up sequence of the core, step by step.

namespace core {

namespace {
// A hidden run has nobody to show a message to; its parent reads standard error.
void tellParent(const QString& text) {
    std::fprintf(stderr, "websvr: %s\n", qUtf8Printable(text));
    std::fflush(stderr);
}
} // namespace

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
        configurationChanged();
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
    // One entry, at the error level.
    if (log && log->isOpen())
        diagnostics::WriteTrace(text, diagnostics::Severity::Error);
    if (interactive())
        m_ui.messageBox(text, common::MB_ERROR, common::MessageTitle());
    // A hidden run shows nothing; its parent learns the reason from standard error.
    if (!interactive())
        tellParent(text);
    m_pendingClose.reset();
    m_timer.stop();
    m_http->closeListener();
    // None of the shutdown's steps, but what this start made in the temporary folder goes.
    removeInstanceFiles();
    m_finished = true;
    Q_EMIT finished(EXIT_STARTUP_ERROR); // no shutdown steps after a start-up error
}

QString WebServer::option(const QString& key) const {
    return common::ToText(m_commandLine->item(key));
}

// Steps 1 to 3.
void WebServer::beginStartup() {
    setStatus(QStringLiteral("Initializing"));
    QRandomGenerator random(static_cast<quint32>(QDateTime::currentMSecsSinceEpoch()));
    const float number = static_cast<float>(random.generateDouble());
    m_config.values.RunSecret = common::NewGuidString() + QLocale::system().toString(number);
    m_config.values.dataServerDebug =
        dataserver::MutexExists(QLatin1String(dataserver::DEBUG_TOKEN));
}

// Step 4.
void WebServer::createProgramFolders() {
    CreateProgramFolders(m_config.folders.ProgramFolder);
}

// Steps 5 and 6.
void WebServer::readCommandLine() {
    m_config.values.CommandLine = JoinArguments(m_arguments);
    m_commandLine = ParseCommandLine(m_config.values.CommandLine);
    m_config.values.InstanceName = option(QStringLiteral("instance"));
    if (m_config.values.InstanceName.isEmpty())
        m_config.values.InstanceName = m_config.values.dataServerDebug
                                           ? QStringLiteral("DebugInstance")
                                           : QString::number(QCoreApplication::applicationPid());
    m_config.values.ParentMutexName = option(QStringLiteral("parentmutex"));
    m_config.values.RunningMutexName = option(QStringLiteral("runningmutex"));
    m_config.values.ShowDataServer = m_commandLine->Exists(QStringLiteral("showdataserver"));
    // Not a number, or none: the pool's own default.
    m_config.values.WorkerThreads = std::clamp(option(QStringLiteral("workers")).toInt(), 0, 256);
}

// Steps 7 and 8.
void WebServer::openLog() {
    m_config.folders.DataFolder =
        DataFolderFor(option(QStringLiteral("datafolder")), m_config.folders.ProgramFolder);
    common::MkDirRecurse(m_config.folders.DataFolder);
    diagnostics::OpenLog(m_config.folders.DataFolder);
    m_config.folders.LogsFolder = GetLogsFolder(m_config.folders.DataFolder);
    diagnostics::WriteTrace(QStringLiteral("Application Path: ") + m_config.folders.ProgramFolder);
    diagnostics::WriteTrace(QStringLiteral("Command Line: ") + m_config.values.CommandLine);
}

// Steps 9 to 11.
void WebServer::takeInstanceMutex() {
    m_config.values.LanguageCode = option(QStringLiteral("language")).toLower();
    if (m_config.values.LanguageCode.isEmpty())
        m_config.values.LanguageCode = i18n::DefaultLanguage();
    m_config.values.LanguageFileOverride = option(QStringLiteral("languagefile"));
    m_config.values.LanguageFolderOverride = option(QStringLiteral("languagefolder"));
    if (m_config.values.RunningMutexName.isEmpty())
        m_config.values.RunningMutexName = common::NewGuidString();
    m_instanceMutexHandle = dataserver::CreateInstanceMutex(m_config.values.RunningMutexName);
}

// Step 12.
void WebServer::checkParent() {
    if (IsParentAlive())
        return;
    diagnostics::WriteTrace(QStringLiteral("Parent mutex ") + m_config.values.ParentMutexName +
                            QStringLiteral(" is not active. Closing web server."));
    CloseServer(EXIT_ORDERLY);
}

// Step 13.
void WebServer::checkComponents() {
    CheckComponents();
}

// Steps 14 to 17.
void WebServer::deriveConfiguration() {
    m_config.folders.ContextFile =
        ContextFileFor(option(QStringLiteral("context")), m_config.folders.ProgramFolder);
    diagnostics::WriteTrace(QStringLiteral("Context file: ") + m_config.folders.ContextFile);
    m_config.folders.ConfigFolder =
        ConfigFolderFor(option(QStringLiteral("configfolder")), m_config.folders.DataFolder);
    diagnostics::WriteTrace(QStringLiteral("Config folder: ") + m_config.folders.ConfigFolder);
    common::MkDirRecurse(m_config.folders.ConfigFolder);
    m_config.folders.SettingsFile =
        SettingsFileFor(option(QStringLiteral("config")), m_config.folders.ConfigFolder);
    diagnostics::WriteTrace(QStringLiteral("INI file: ") + m_config.folders.SettingsFile);
}

// Step 18.
void WebServer::loadSettings() {
    m_config.settings = LoadSettings(
        m_config.folders.SettingsFile, m_config.folders.ProgramFolder,
        [this](int start, int end) { return ScanPortsForUser(*m_http, start, end); },
        [this](int start, int end) { return ScanHttpsPortsForUser(*m_http, start, end); });
}

// Steps 19 to 22.
void WebServer::deriveTempFolders() {
    m_config.folders.WebRootFolder = m_config.folders.ProgramFolder + QStringLiteral("/wwwroot");
    m_config.values.UrlPrefix.clear();
    DeriveTempFolders(m_config.folders);
    diagnostics::WriteTrace(QStringLiteral("Temp folder: ") + m_config.folders.TempFolder);
    // Made and checked before anything goes into them: another local user must neither read
    // nor plant what the data server and we exchange there.
    MakePrivateFolder(m_config.folders.TempFolder, PrivateFolder::Temporary);
    common::MkDirRecurse(m_config.folders.ExcelTempFolder, PRIVATE_FOLDER_MODE);
    common::MkDirRecurse(m_config.folders.WebTempFolder);
    DeriveInstanceFiles(m_config.folders, m_config.values.InstanceName);
    MakePrivateFolder(m_config.folders.InstanceFolder, PrivateFolder::Temporary);
    m_instanceFolderChecked = true;
}

// Steps 23 to 26.
void WebServer::prepareQueues() {
    diagnostics::WriteTrace(QStringLiteral("Queue folder: ") + m_config.folders.QueueFolder);
    // A folder named on the command line is remembered as such; the default one is ours.
    const auto queueFolder = [this](const QString& key, const QString& fallback) {
        const QString named = option(key);
        if (named.isEmpty())
            return fallback;
        m_config.values.NamedQueueFolders << named;
        return named;
    };
    m_config.folders.InQueueFolder =
        queueFolder(QStringLiteral("inqueue"), DefaultInQueueFolder(m_config.folders));
    diagnostics::WriteTrace(QStringLiteral("Incoming Queue: ") + m_config.folders.InQueueFolder);
    m_config.folders.OutQueueFolder =
        queueFolder(QStringLiteral("outqueue"), DefaultOutQueueFolder(m_config.folders));
    diagnostics::WriteTrace(QStringLiteral("Outgoing Queue: ") + m_config.folders.OutQueueFolder);
    // Named ones follow the temporary folder's rules, checked before anything is cleared
    // from them or goes into them.
    for (const QString& folder : std::as_const(m_config.values.NamedQueueFolders))
        MakePrivateFolder(folder, PrivateFolder::Queue);
    QString reason;
    if (dataserver::CreateQueueFolders(m_config.folders.QueueFolder, reason))
        return;
    diagnostics::NotifyUser(
        QStringLiteral(
            "The program was unable to establish the communication queues in the foler '") +
            m_config.folders.QueueFolder + QStringLiteral("'.\r\n\r\n") + reason,
        common::MB_ERROR);
    CloseServer(EXIT_START_FAILED);
}

// Step 27.
void WebServer::clearQueues() {
    diagnostics::WriteTrace(QStringLiteral("Clear queues"));
    dataserver::ClearQueues({m_config.folders.InQueueFolder, m_config.folders.OutQueueFolder});
}

// Steps 28 to 30.
void WebServer::readContext() {
    m_config.values.UserMode = ReadUserMode(m_config.folders.ContextFile);
    m_windowState.totalRequests = 0;
    m_config.values.StartTime = QDateTime::currentDateTime();
    m_config.values.ComputerName = common::ComputerName();
    m_config.values.ApplicationDictionary = common::NewDictionary();
}

// Steps 31 to 33.
void WebServer::loadTranslations() {
    diagnostics::WriteTrace(QStringLiteral("Load translations"));
    i18n::SetLanguageOverrides(m_config.values.LanguageFileOverride,
                               m_config.values.LanguageFolderOverride);
    diagnostics::Diagnostics::instance().setLanguageCode(m_config.values.LanguageCode);
    i18n::LoadLanguage(m_config.values.LanguageCode);
    diagnostics::WriteTrace(QStringLiteral("Apply translations"));
    Q_EMIT translationsLoaded();
    m_windowState.versionText =
        i18n::Translate(QStringLiteral("lblVersion")) + QLatin1Char(' ') + common::VersionText();
    m_windowState.linksVisible = false;
    m_windowState.debugText =
        i18n::Translate(m_config.settings.DebugMode ? QStringLiteral("On") : QStringLiteral("Off"));
    Q_EMIT stateChanged();
}

// Step 34.
void WebServer::checkApplicationFolder() {
    if (core::CheckApplicationFolder(m_config.settings.ApplicationPath))
        return;
    // A hidden run never waits for a dialog that nobody can see.
    if (interactive() && m_ui.showSettingsDialog() &&
        (closing() || core::CheckApplicationFolder(m_config.settings.ApplicationPath)))
        return;
    diagnostics::WriteTrace(QStringLiteral("Invalid application path: ") +
                            m_config.settings.ApplicationPath);
    CloseServer(EXIT_START_FAILED);
}

// Steps 35 to 37.
void WebServer::startDataServer() {
    diagnostics::WriteTrace(QStringLiteral("Start data server"));
    setStatus(i18n::Translate(QStringLiteral("msgStartDataServer")));
    if (!m_supervisor.StartDataServer()) {
        diagnostics::WriteTrace(QStringLiteral("Unable to start data server"));
        CloseServer(EXIT_START_FAILED);
        return;
    }
    setStatus(QString());
    diagnostics::WriteTrace(QStringLiteral("Check data server"));
    m_dataServerOk = m_supervisor.CheckDataServer(false);
}

// Step 38.
void WebServer::checkExcel() {
    diagnostics::WriteTrace(QStringLiteral("Check Excel"));
    setStatus(QStringLiteral("Check Excel installation"));
    QString reason;
    bool ok = false;
    m_config.values.ExcelInstalled = CheckExcel(reason, ok);
    if (!m_config.values.ExcelInstalled)
        diagnostics::NotifyUser(
            QStringLiteral("The program is unable to use Microsoft Excel. If you don't have "
                           "Microsoft Excel on this system the web users will not be able to see "
                           "the forms with graphical data charts.\r\n\r\n") +
                reason,
            common::MB_INFORMATION);
}

// Steps 39 to 41.
void WebServer::startServing() {
    diagnostics::WriteTrace(QStringLiteral("Start serving pages"));
    // Before anything listens: a certificate that cannot be used ends the start-up, and no
    // port is taken meanwhile.
    if (m_httpConfig.httpsEnabled)
        prepareHttps();
    StartServer();
    // Ended while its warning or the settings dialog was up: no browser, no serving line.
    if (closing())
        return;
    if (m_http->serverPort() == 0 && !interactive() && !listenOnceMore(server::Scheme::Http))
        return;
    if (m_httpConfig.httpsEnabled && m_http->serverPort(server::Scheme::Https) == 0 &&
        !interactive() && !listenOnceMore(server::Scheme::Https))
        return;
    if (m_http->serverPort() > 0)
        Q_EMIT listening(m_http->serverPort(), m_http->serverPort(server::Scheme::Https));
    if (interactive() && m_dataServerOk) {
        diagnostics::WriteTrace(QStringLiteral("Launch browser as client"));
        ShowAdminPage();
    }
    m_startupComplete = true;
}

// A hidden run that cannot listen serves nobody: it says so and ends. One more attempt,
// since the port may have come free; its error, if any, is the reason given.
bool WebServer::listenOnceMore(server::Scheme scheme) {
    const bool secure = scheme == server::Scheme::Https;
    const int port = secure ? m_httpConfig.httpsPort : m_httpConfig.tcpPort;
    const int error = port > 0 ? m_http->tryListen(port, scheme) : 0;
    if (port > 0 && error == 0)
        return true;
    const QString what = secure ? QStringLiteral("for HTTPS ") : QString();
    const QString reason =
        port > 0
            ? QStringLiteral("Unable to listen %1on port ").arg(what) + QString::number(port) +
                  QStringLiteral(": ") + ListenErrorText(error)
            : QStringLiteral("No port to listen on %1(%2 is 0 in ")
                      .arg(what, secure ? QStringLiteral("HttpsPort") : QStringLiteral("TCPPort")) +
                  m_config.folders.SettingsFile + QLatin1Char(')');
    diagnostics::WriteTrace(reason + QStringLiteral(". Closing web server."),
                            diagnostics::Severity::Error);
    tellParent(reason + QStringLiteral("; ending."));
    CloseServer(EXIT_NO_LISTENER);
    return false;
}

} // namespace core
