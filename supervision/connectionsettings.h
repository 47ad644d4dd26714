#pragma once

#include "supervision/supervisorconfig.h"

#include <QString>
#include <QStringList>

// The data connection settings are edited by the data server program itself, started in its
// configuration mode; the web server only starts it and does not wait for it.

namespace dataserver {

// The configuration command line as traced:
// <dbsvr> mode=config, parentmutex=<RunningMutexName>, configfolder="<ApplicationPath>".
QString ConfigCommandLine(const SupervisorConfig& config);

// The argument vector it is really started with (no shell between):
// mode=config parentmutex=<RunningMutexName> configfolder="<ApplicationPath>", a double quote
// inside the folder doubled.
QStringList ConfigArguments(const SupervisorConfig& config);

// Starts the configuration mode, which ends by itself when the web server's running token
// goes; always true. Starts and traces nothing for the developer's data server. Raises
// common::Error 1000 when the program cannot be started.
bool ShowDataConnectionSettings(const SupervisorConfig& config, bool dataServerDebug);

} // namespace dataserver
