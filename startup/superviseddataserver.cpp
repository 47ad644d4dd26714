#include "startup/superviseddataserver.h"

#include "startup/folders.h"
#include "startup/settings.h"
#include "startup/startupvalues.h"

namespace startup {

SupervisedDataServer::SupervisedDataServer(const FolderSet& folders, const Settings& settings,
                                           const StartupValues& values,
                                           std::function<bool()> stopRequested)
    : m_folders(folders), m_settings(settings), m_values(values),
      m_stopRequested(std::move(stopRequested)) {}

dataserver::Supervisor& SupervisedDataServer::current() {
    dataserver::SupervisorConfig config;
    config.ProgramFolder = m_folders.ProgramFolder;
    config.ParameterFile = m_folders.ParameterFile;
    config.AliveFile = m_folders.AliveFile;
    config.MessageFile = m_folders.MessageFile;
    config.InQueueFolder = m_folders.InQueueFolder;
    config.OutQueueFolder = m_folders.OutQueueFolder;
    config.ApplicationPath = m_settings.ApplicationPath;
    config.RunningMutexName = m_values.RunningMutexName;
    config.ShowDataServer = m_values.ShowDataServer;
    config.interactive = m_values.interactive;
    config.ApplicationDictionary = m_values.ApplicationDictionary;
    config.stopRequested = m_stopRequested;
    m_supervisor.setConfig(std::move(config));
    m_supervisor.setDataServerDebug(m_values.dataServerDebug);
    return m_supervisor;
}

bool SupervisedDataServer::StartDataServer() {
    return current().StartDataServer();
}

bool SupervisedDataServer::RestartDataServer() {
    return current().RestartDataServer();
}

bool SupervisedDataServer::CheckDataServer(bool restartAllowed) {
    return current().CheckDataServer(restartAllowed);
}

bool SupervisedDataServer::IsDataServerRunning() {
    // Asked before every dynamic request: only the token is looked at, nothing is copied.
    m_supervisor.setDataServerDebug(m_values.dataServerDebug);
    return m_supervisor.IsDataServerRunning();
}

bool SupervisedDataServer::ShowDataConnectionSettings() {
    return current().ShowDataConnectionSettings();
}

void SupervisedDataServer::ReleaseDataServerHandles() {
    m_supervisor.ReleaseParentMutex(dataserver::END_WAIT_MS);
}

} // namespace startup
