#pragma once

#include "supervision/supervisorconfig.h"
#include "supervision/tokenstate.h"

#include <QString>
#include <QStringList>
#include <functional>

// Starting, stopping and restarting the data server: a child process tied to the web server
// by two named tokens. The web server holds the parent token for as long as it wants the data
// server to live; the data server holds the running token while it runs.

namespace dataserver {

inline constexpr int START_WAIT_MS = 30000; // for the running token of a new data server
inline constexpr int STOP_WAIT_MS = 20000;  // for the running token to go after a stop
inline constexpr int WAIT_STEP_MS = 100;    // events are served between the steps of a wait
inline constexpr int END_WAIT_MS = 2000;    // for the running token to go at the end of the run

// The data server executable: <ProgramFolder>/dbsvr.
QString DataServerProgram(const SupervisorConfig& config);
QString DataServerProgram(const QString& programFolder);

// An argument key="value" as the data server reads it whole, whatever the value holds (blanks,
// commas, "key=" after a comma): quoted, a double quote inside doubled.
QString QuotedArgument(const char* key, const QString& value);

// The parameter file's text (contract/contract.h). The queues are crossed over: the data
// server reads what the web server sends.
QString ParameterText(const SupervisorConfig& config, const QString& parentMutex,
                      const QString& runningMutex);

// The command line as traced: "<dbsvr>" parameterfile="<file>", then ", hidden" unless the
// data server is to be shown.
QString DataServerCommandLine(const SupervisorConfig& config);

// The argument vector the data server is really started with (no shell between):
// parameterfile=<file> and, unless shown, hidden.
QStringList DataServerArguments(const SupervisorConfig& config);

// What the data server's environment holds besides ours (NAME=value entries): the folder
// of our log, so that its daily log lies beside ours; nothing while no log is open.
QStringList DataServerEnvironment();

// Waits up to timeoutMs while condition holds, serving events in between.
void WaitServingEvents(int timeoutMs, const std::function<bool()>& condition);

// The launch state of the whole run: the token names and the process of the current data
// server. Reads the configuration it is given by reference, so it always sees the current one.
class Launch final {
public:
    explicit Launch(const SupervisorConfig& config);
    ~Launch();
    Launch(const Launch&) = delete;
    Launch& operator=(const Launch&) = delete;

    // Set once at start-up: a developer runs the data server by hand ("DS_DEBUG" held), so
    // nothing is started, stopped or watched.
    void setDataServerDebug(bool debug) { m_dataServerDebug = debug; }
    bool dataServerDebug() const { return m_dataServerDebug; }

    // True when the data server runs and answered the ping. Raises the error of a refused
    // parent token or an unwritable parameter file.
    bool StartDataServer();
    // Releases the parent token, waits for the data server to end by itself and kills it
    // when it has not after STOP_WAIT_MS.
    void StopDataServer();
    bool RestartDataServer();

    // The running token is held, or the data server is the developer's.
    bool IsDataServerRunning() const;
    bool DataServerMessageExists() const;
    void DeleteMessageFile();
    void DeleteParameterFile();

    // At the end of the run: releases the parent token; the data server notices and ends by
    // itself. Waits up to waitMs (serving no events) for its running token to go, so that it
    // writes none of its files after the caller removed them. Never raises.
    void ReleaseParentMutex(int waitMs = 0);

    const QString& DataServerParentMutex() const { return m_parentMutex; }
    const QString& DataServerRunningMutex() const { return m_runningMutex; }
    int DataServerParentMutexHandle() const { return m_parentMutexHandle; }
    qint64 DataServerProcessId() const { return m_processId; }
    // How many starts after the first were attempted in this run: a data server
    // replaced because it stopped, hung or asked for it, or after new settings.
    int DataServerRestarts() const { return m_starts > 0 ? m_starts - 1 : 0; }

private:
    bool runningMutexExists() const;
    bool childEnded() const;
    bool stopRequested() const;
    void releaseParentHandle();
    void spawn();
    void killFailedStart();
    void forgetProcess();

    const SupervisorConfig& m_config;
    bool m_dataServerDebug = false;
    QString m_parentMutex;
    QString m_runningMutex;
    mutable TokenState m_running{false}; // keeps its last state when a check fails
    int m_parentMutexHandle = 0;         // 0: none
    qint64 m_processId = 0;
    int m_processFd = -1; // pidfd of the last data server started; -1: none
    int m_starts = 0;
};

} // namespace dataserver
