#include "bridge/serverentry.h"

#include "bridge/pagecontext.h"
#include "common/dictionary.h"
#include "common/objectfactory.h"

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
    server->Add(QStringLiteral("Version"), status.Version);
    server->Add(QStringLiteral("StartTime"), status.StartTime);
    server->Add(QStringLiteral("Port"), int32_t(status.Port));
    server->Add(QStringLiteral("TotalRequests"), int32_t(status.TotalRequests));
    server->Add(QStringLiteral("InstanceName"), status.InstanceName);
    server->Add(QStringLiteral("LanguageCode"), status.LanguageCode);
    server->Add(QStringLiteral("DataServerRunning"), status.DataServerRunning);
    server->Add(QStringLiteral("DataServerProcessId"), processIdValue(status.DataServerProcessId));
    server->Add(QStringLiteral("DataServerLastAlive"),
                status.DataServerLastAlive.isValid() ? common::Value(status.DataServerLastAlive)
                                                     : common::Value());
    server->Add(QStringLiteral("DataServerRestarts"), int32_t(status.DataServerRestarts));
    server->Add(QStringLiteral("TraceEntries"), std::move(trace));
    return server;
}

} // namespace bridge
