// Test helper: holds a named token until its standard input closes.
//   qv_tokenholder NAME [--no-loop] [--spawn PROGRAM ARGS...]
// Prints "child <pid>" for a spawned child, then "ready". With --no-loop it blocks without
// an event loop, so probes of the token are never accepted and pile up in the backlog.
#include "common/error.h"
#include "contract/namedmutex.h"
#include "supervision/process.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <unistd.h>

namespace {
bool stdinOpen() {
    char buffer[256];
    return ::read(STDIN_FILENO, buffer, sizeof buffer) > 0;
}
} // namespace

int main(int argc, char** argv) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the test
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return 2;
    const QString name = args.takeFirst();
    const bool noLoop = args.removeOne(QStringLiteral("--no-loop"));
    try {
        dataserver::CreateInstanceMutex(name);
    } catch (const common::Error& e) {
        std::printf("error %d\n", e.number());
        return 1;
    }
    if (!args.isEmpty() && args.takeFirst() == QLatin1String("--spawn")) {
        const QString program = args.takeFirst();
        std::printf("child %lld\n",
                    static_cast<long long>(dataserver::StartProcess(program, args)));
    }
    std::printf("ready\n");
    std::fflush(stdout);
    if (noLoop) {
        while (stdinOpen()) {
        }
        return 0;
    }
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [] {
        if (!stdinOpen())
            QCoreApplication::quit();
    });
    return app.exec();
}
