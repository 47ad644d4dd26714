#include "core/serverstatus.h"

#include "common/version.h"
#include "core/startupvalues.h"
#include "diagnostics/trace.h"
#include "supervision/supervisor.h"

namespace core {

namespace {
// The watchdog's "never seen" is a date before any alive file can be written.
QDateTime lastAliveOrInvalid(const QDateTime& seen) {
    return seen.isValid() && seen.date().year() >= 1970 ? seen : QDateTime();
}
} // namespace

bridge::ServerStatus CollectServerStatus(const StartupValues& values,
                                         const dataserver::Supervisor& supervisor, int port,
                                         int totalRequests) {
    bridge::ServerStatus status;
    status.Version = common::VersionText();
    status.StartTime = values.StartTime;
    status.Port = port;
    status.TotalRequests = totalRequests;
    status.InstanceName = values.InstanceName;
    status.LanguageCode = values.LanguageCode;
    status.DataServerProcessId = supervisor.launch().DataServerProcessId();
    status.DataServerLastAlive = lastAliveOrInvalid(supervisor.watchdog().LastAliveTime());
    status.DataServerRestarts = supervisor.launch().DataServerRestarts();
    status.TraceEntries = diagnostics::Diagnostics::instance().recentEntries();
    return status;
}

} // namespace core
