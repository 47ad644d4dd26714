#pragma once

namespace server {

// Descriptors kept back from connections for the program's own work: the log,
// the timer tick's token checks, the data server's start and its queue files,
// the listener and a connection being refused.
inline constexpr int RESERVED_DESCRIPTORS = 64;
// A connection holds its socket and, while a large file streams, that file.
inline constexpr int DESCRIPTORS_PER_CONNECTION = 2;

// Raises the soft limit of open descriptors to the hard one (once, at start).
// Returns the soft limit in force afterwards.
long RaiseDescriptorLimit();

// The connection slots the current soft limit allows besides the reserve, at
// least 1.
int ConnectionSlotsForDescriptorLimit();

} // namespace server
