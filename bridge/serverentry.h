#pragma once

#include "common/value.h"

namespace bridge {

struct ServerStatus;

// The context's "Server" entry: a new Dictionary with Version, StartTime, Port,
// TotalRequests, InstanceName, LanguageCode, DataServerRunning,
// DataServerProcessId, DataServerLastAlive (empty when never seen),
// DataServerRestarts and TraceEntries (an array of texts, oldest first).
common::DictionaryPtr NewServerEntry(const ServerStatus& status);

} // namespace bridge
