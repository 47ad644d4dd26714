#include "supervision/supervisor.h"

#include "supervision/connectionsettings.h"

namespace dataserver {

Supervisor::Supervisor(SupervisorConfig config) : m_config(std::move(config)) {}

bool Supervisor::ShowDataConnectionSettings() {
    return dataserver::ShowDataConnectionSettings(m_config, m_launch.dataServerDebug());
}

} // namespace dataserver
