#pragma once

#include "dataserver/supervisor.h"
#include "startup/dataserversupervisor.h"

#include <functional>

namespace startup {

struct FolderSet;
struct Settings;
struct StartupValues;

// The data server's supervision as the web server core sees it: the folders, settings and
// start-up values of the run are handed to the supervisor before every call, so a changed
// application folder or a new application Dictionary is used at the next start.
class SupervisedDataServer final : public DataServerSupervisor {
public:
    // stopRequested: true once the web server is asked to stop (ends the long waits).
    SupervisedDataServer(const FolderSet& folders, const Settings& settings,
                         const StartupValues& values, std::function<bool()> stopRequested);

    bool StartDataServer() override;
    bool RestartDataServer() override;
    bool CheckDataServer(bool restartAllowed) override;
    bool IsDataServerRunning() override;
    bool ShowDataConnectionSettings() override;
    void ReleaseDataServerHandles() override;

    const dataserver::Supervisor& supervisor() const { return m_supervisor; }

private:
    dataserver::Supervisor& current();

    const FolderSet& m_folders;
    const Settings& m_settings;
    const StartupValues& m_values;
    std::function<bool()> m_stopRequested;
    dataserver::Supervisor m_supervisor;
};

} // namespace startup
