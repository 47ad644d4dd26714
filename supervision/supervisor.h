#pragma once

#include "supervision/launch.h"
#include "supervision/supervisorconfig.h"
#include "supervision/watchdog.h"

// The data server's supervision for the whole run: its configuration, the launch state and
// the watchdog, in one object the web server holds once.

namespace dataserver {

class Supervisor final {
public:
    explicit Supervisor(SupervisorConfig config = {});
    Supervisor(const Supervisor&) = delete;
    Supervisor& operator=(const Supervisor&) = delete;

    // Replaces the configuration (folders, settings); the launch state stays.
    void setConfig(SupervisorConfig config) { m_config = std::move(config); }
    const SupervisorConfig& config() const { return m_config; }

    void setDataServerDebug(bool debug) { m_launch.setDataServerDebug(debug); }
    bool dataServerDebug() const { return m_launch.dataServerDebug(); }

    bool StartDataServer() { return m_launch.StartDataServer(); }
    void StopDataServer() { m_launch.StopDataServer(); }
    bool RestartDataServer() { return m_launch.RestartDataServer(); }
    bool CheckDataServer(bool restartAllowed) { return m_watchdog.CheckDataServer(restartAllowed); }
    bool IsDataServerRunning() const { return m_launch.IsDataServerRunning(); }
    bool ShowDataConnectionSettings();
    // The end of the run: the data server loses its parent and ends by itself; waits up to
    // waitMs for that.
    void ReleaseParentMutex(int waitMs = 0) { m_launch.ReleaseParentMutex(waitMs); }

    const Launch& launch() const { return m_launch; }
    const Watchdog& watchdog() const { return m_watchdog; }

private:
    SupervisorConfig m_config;
    Launch m_launch{m_config};
    Watchdog m_watchdog{m_config, m_launch};
};

} // namespace dataserver
