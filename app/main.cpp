#include "faultinjection.h"

#include "common/errnotext.h"
#include "common/userinterface.h"
#include "components/components.h"
#include "diagnostics/trace.h"
#include "server/descriptorlimit.h"
#include "startup/adminkeyfile.h"
#include "startup/commandline.h"
#include "startup/signalwatcher.h"
#include "startup/webserver.h"
#include "webapp/webapplication.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>

int main(int argc, char** argv) {
    // Qt's glib dispatcher adds wake-up writes to every event; the plain one is faster.
    qputenv("QT_NO_GLIB", "1");
    // Without TZ the C library looks at /etc/localtime again for every local
    // time it converts: once per log line and per answer. Same zone, one look.
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
    // Every connection costs descriptors; the slots are capped below this limit.
    server::RaiseDescriptorLimit();
    // Decided before the application object: a desktop run will need a
    // QApplication, a hidden one must not need a display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const bool hidden = startup::IsHiddenRun(arguments);
    QCoreApplication app(argc, argv);
    // First, so that nothing written before it can end the process by SIGPIPE.
    startup::SignalWatcher signals;
    components::RegisterComponents();
    webapp::RegisterWebApplication();
    RegisterFaultInjection();

    // Until the desktop window exists every run is headless: messages go to
    // standard error and no question is ever answered Yes.
    common::HeadlessInterface ui;
    startup::WebServer core(ui, arguments);

    QObject::connect(&signals, &startup::SignalWatcher::terminationRequested, &core,
                     [&core](int) { core.CloseServer(startup::EXIT_ORDERLY); });
    QObject::connect(&core, &startup::WebServer::listening, &core, [hidden, &core](int port) {
        if (!hidden)
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
                                     common::ErrnoText(errno));
    });
    QObject::connect(&core, &startup::WebServer::finished, &app,
                     [](int exitCode) { QCoreApplication::exit(exitCode); });

    core.start();
    return app.exec();
}
