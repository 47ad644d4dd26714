#include "bridge/serverentry.h"

#include "bridge/pagecontext.h"
#include "common/dictionary.h"
#include "common/objectfactory.h"
#include "webappapi/contextkeys.h"

#include <limits>

namespace bridge {

namespace {
// A process id beyond 32 bits cannot be one; 0 rather than a wrapped number.
int32_t processIdValue(qint64 pid) {
    return pid > 0 && pid <= std::numeric_limits<int32_t>::max() ? int32_t(pid) : 0;
}
} // namespace

common::DictionaryPtr NewServerEntry(const ServerStatus& status) {
    common::Value::Array trace;
    trace.reserve(size_t(status.TraceEntries.size()));
    for (const QString& entry : status.TraceEntries)
        trace.emplace_back(entry);
    const common::DictionaryPtr server = common::NewDictionary();
    server->reserve(11);
    server->Add(keys::SERVER_VERSION, status.Version);
    server->Add(keys::START_TIME, status.StartTime);
    server->Add(keys::PORT, int32_t(status.Port));
    server->Add(keys::TOTAL_REQUESTS, int32_t(status.TotalRequests));
    server->Add(keys::INSTANCE_NAME, status.InstanceName);
    server->Add(keys::LANGUAGE_CODE, status.LanguageCode);
    server->Add(keys::DATA_SERVER_RUNNING, status.DataServerRunning);
    server->Add(keys::DATA_SERVER_PROCESS_ID, processIdValue(status.DataServerProcessId));
    server->Add(keys::DATA_SERVER_LAST_ALIVE, status.DataServerLastAlive.isValid()
                                                  ? common::Value(status.DataServerLastAlive)
                                                  : common::Value());
    server->Add(keys::DATA_SERVER_RESTARTS, int32_t(status.DataServerRestarts));
    server->Add(keys::TRACE_ENTRIES, std::move(trace));
    return server;
}

} // namespace bridge
