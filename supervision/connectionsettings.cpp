#include "supervision/connectionsettings.h"

#include "common/error.h"
#include "diagnostics/trace.h"
#include "supervision/launch.h"
#include "supervision/process.h"

namespace dataserver {

QString ConfigCommandLine(const SupervisorConfig& config) {
    return DataServerProgram(config) + QStringLiteral(" mode=config, parentmutex=") +
           config.RunningMutexName + QStringLiteral(", configfolder=\"") + config.ApplicationPath +
           QLatin1Char('"');
}

QStringList ConfigArguments(const SupervisorConfig& config) {
    // Quoted, so that a folder such as "apps, europe" is read whole.
    return {QStringLiteral("mode=config"), QStringLiteral("parentmutex=") + config.RunningMutexName,
            QuotedArgument("configfolder", config.ApplicationPath)};
}

bool ShowDataConnectionSettings(const SupervisorConfig& config, bool dataServerDebug) {
    if (dataServerDebug)
        return true;
    diagnostics::WriteTrace(QStringLiteral("Data server config command line: ") +
                            ConfigCommandLine(config));
    const QString program = DataServerProgram(config);
    const qint64 pid = StartProcess(program, ConfigArguments(config), DataServerEnvironment());
    if (pid <= 0)
        throw common::Error(common::ERR_PROGRAM,
                            QStringLiteral("Unable to start the program ") + program);
    diagnostics::WriteTrace(QStringLiteral("Data server config process id: ") +
                            QString::number(pid));
    return true;
}

} // namespace dataserver
