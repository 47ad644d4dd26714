#include "contract/contract.h"
#include "dbsvr/commandline.h"
#include "dbsvr/configmode.h"
#include "dbsvr/dataserverlog.h"
#include "dbsvr/dataservice.h"
#include "dbsvr/onemessage.h"

#include <QCoreApplication>
#include <QStringList>
#include <csignal>
#include <cstdio>

namespace {
constexpr char USAGE[] =
    "Usage: dbsvr parameterfile=<file> [hidden] [debug]\n"
    "       dbsvr mode=config configfolder=<application folder> [parentmutex=<name>] "
    "[database=<file>]\n"
    "       dbsvr message=- configfolder=<application folder>\n";
}

int main(int argc, char** argv) {
    // A closed standard output (a parent that stopped reading) or a file-size limit (on the
    // log, say) makes a write fail, not the process end.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const dbsvr::CommandLine commandLine(arguments);

    if (commandLine.value(QStringLiteral("mode"))
            .compare(QLatin1String("config"), Qt::CaseInsensitive) == 0) {
        dbsvr::OpenDataServerLog(arguments);
        return dbsvr::RunConfigMode(argc, argv, commandLine);
    }
    // One request from standard input, its reply to standard output ("-": the only source).
    const QString oneMessage = QLatin1String(dataserver::ONE_MESSAGE_KEY);
    if (commandLine.has(oneMessage)) {
        if (commandLine.value(oneMessage) != QLatin1String(dataserver::ONE_MESSAGE_STDIN)) {
            std::fputs(USAGE, stderr);
            return 2;
        }
        QCoreApplication app(argc, argv);
        dbsvr::OpenDataServerLog(arguments);
        return dbsvr::RunOneMessage(commandLine.value(QStringLiteral("configfolder")), stdin,
                                    stdout);
    }
    if (commandLine.value(QStringLiteral("parameterfile")).isEmpty()) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    QCoreApplication app(argc, argv);
    dbsvr::OpenDataServerLog(arguments);
    return dbsvr::RunDataServer(commandLine.value(QStringLiteral("parameterfile")),
                                !commandLine.has(QStringLiteral("hidden")),
                                commandLine.has(QStringLiteral("debug")));
}
