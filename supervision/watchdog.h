#pragma once

#include "supervision/supervisorconfig.h"

#include <QDateTime>
#include <QString>

// The twice-a-second check of the data server: restarts one that has stopped or hangs, and
// acts on what it reports in its message file.

namespace dataserver {

class Launch;

// An alive file older than this counts as a hang.
inline constexpr double HANG_SECONDS = 30;

// True when no parent is named or the parent's token is still held.
bool IsParentAlive(const QString& parentMutexName);

class Watchdog final {
public:
    // Both are referred to, not copied: the check always sees the current configuration.
    Watchdog(const SupervisorConfig& config, Launch& launch);

    // True when nothing needs attention. restartAllowed false only reports a hang. Raises
    // what the launch raises (a refused token, an unwritable parameter file).
    bool CheckDataServer(bool restartAllowed);

    // The last-modified time of the alive file when it was last seen; far in the past before.
    const QDateTime& LastAliveTime() const { return m_lastAliveTime; }

private:
    bool checkAlive(bool restartAllowed);
    bool checkMessage();
    bool actOn(const QString& type, const QString& code, const QString& message);
    bool connectionFailed();

    const SupervisorConfig& m_config;
    Launch& m_launch;
    QDateTime m_lastAliveTime;
};

} // namespace dataserver
