#include "faultinjection.h"

#include "common/userinterface.h"
#include "components/components.h"
#include "diagnostics/trace.h"
#include "server/descriptorlimit.h"
#include "startup/adminkeyfile.h"
#include "startup/signalwatcher.h"
#include "startup/webserver.h"
#include "webapp/webapplication.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
bool isHidden(const startup::WebServer& core) {
    return !core.values().interactive;
}
} // namespace

int main(int argc, char** argv) {
    // Qt's glib dispatcher adds wake-up writes to every event; the plain one is faster.
    qputenv("QT_NO_GLIB", "1");
    // Without TZ the C library looks at /etc/localtime again for every local
    // time it converts: once per log line and per answer. Same zone, one look.
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
    // Every connection costs descriptors; the slots are capped below this limit.
    server::RaiseDescriptorLimit();
    QCoreApplication app(argc, argv);
    // First, so that nothing written before it can end the process by SIGPIPE.
    startup::SignalWatcher signals;
    components::RegisterComponents();
    webapp::RegisterWebApplication();
    RegisterFaultInjection();

    // Until the desktop window exists every run is headless: messages go to
    // standard error and no question is ever answered Yes.
    common::HeadlessInterface ui;
    diagnostics::Diagnostics::instance().setUserInterface(&ui);

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    startup::WebServer core(ui, arguments);

    QObject::connect(&signals, &startup::SignalWatcher::terminationRequested, &core,
                     [&core](int) { core.CloseServer(startup::EXIT_ORDERLY); });
    QObject::connect(&core, &startup::WebServer::listening, &core, [&core](int port) {
        if (!isHidden(core))
            return;
        // Before the line below, so that whoever waits for it finds the key.
        startup::WriteAdminKeyFile(core.values().RunSecret);
        // The one line a parent program waits for to know where we serve: the
        // application's home page.
        const bool written =
            std::printf("Serving http://127.0.0.1:%d/\n", port) > 0 && std::fflush(stdout) == 0;
        // A parent that stopped reading is no reason to stop serving.
        if (!written)
            diagnostics::TraceSafely(QStringLiteral("The serving address could not be written to "
                                                    "standard output: ") +
                                     QString::fromLocal8Bit(std::strerror(errno)));
    });
    QObject::connect(&core, &startup::WebServer::finished, &app,
                     [](int exitCode) { QCoreApplication::exit(exitCode); });

    core.start();
    const int exitCode = app.exec();
    diagnostics::Diagnostics::instance().setUserInterface(nullptr);
    return exitCode;
}
