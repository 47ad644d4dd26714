#pragma once

#include <QString>
#include <QStringList>

// Starting and stopping processes by id, for the data server's life.

namespace dataserver {

// Kills the process (SIGKILL) and returns whether the signal was delivered. With a wait
// greater than 0 it first waits up to that many milliseconds for the process to end by
// itself and returns false when it did. A process that has ended already, cannot be found
// or cannot be signalled gives false; ids of 0 and below are never signalled.
// Needs pidfd support (Linux 5.3 or later); the pid cannot be recycled under the call.
bool TerminateProcessById(int processId, int waitMilliseconds);

// Starts program with the argument vector (no shell); a program without "/" is searched on
// PATH. The child inherits environment and current folder, but no descriptor marked
// close-on-exec and none of our ignored signals; its standard output is our standard error.
// environment holds NAME=value entries that replace or add to the inherited ones.
// Returns the pid, or 0 when the program cannot be run.
// Children are reaped when they end: at once while the calling thread runs a Qt event loop,
// otherwise at the next StartProcess or TerminateProcessById.
qint64 StartProcess(const QString& program, const QStringList& arguments,
                    const QStringList& environment = {});

} // namespace dataserver
