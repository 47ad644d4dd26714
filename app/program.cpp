#include "app/program.h"

#include "app/adduser.h"

#include "common/display.h"
#include "common/errnotext.h"
#include "common/userinterface.h"
#include "components/components.h"
#include "core/adminkeyfile.h"
#include "core/commandline.h"
#include "core/coreface.h"
#include "core/exitcodes.h"
#include "core/signalwatcher.h"
#include "diagnostics/trace.h"
#include "server/descriptorlimit.h"
#include "ui/appicon.h"
#include "ui/desktop.h"
#include "webapp/applicationservice.h"
#include "webappapi/adminkey.h"

#include <QApplication>
#include <cerrno>
#include <cstdio>
#include <memory>

namespace {
// The one line a parent program waits for to know where we serve: the application's home
// page. The admin key file is written first, so that whoever waits for the line finds it.
// The HTTPS one follows when HTTPS is on, and the set-up address then goes over HTTPS.
void announceServing(const core::CoreFace& core, int port, int securePort) {
    core::WriteAdminKeyFile(core.values().RunSecret);
    bool written = std::printf("Serving http://127.0.0.1:%d/\n", port) > 0;
    if (securePort > 0)
        written = std::printf("Serving https://127.0.0.1:%d/\n", securePort) > 0 && written;
    const char* const setupScheme = securePort > 0 ? "https" : "http";
    const int setupPort = securePort > 0 ? securePort : port;
    // Accounts with passwords: the way to the first administrator, for whoever started us. Not
    // in the log: it is a key (it works only while there is no administrator).
    if (core.values().UserMode == QLatin1String("APPLICATION"))
        written = std::printf("Set up the first administrator: "
                              "%s://127.0.0.1:%d/?page=setup&code=%s\n",
                              setupScheme, setupPort,
                              qPrintable(bridge::SetupKey(core.values().RunSecret))) > 0 &&
                  written;
    written = std::fflush(stdout) == 0 && written;
    // A parent that stopped reading is no reason to stop serving.
    if (!written)
        diagnostics::WriteTrace(
            QStringLiteral("The serving address could not be written to standard output: ") +
            common::ErrnoText(errno));
}

// The desktop's application object; the run ends with the core's shutdown, not with its
// last window.
std::unique_ptr<QCoreApplication> desktopApplication(int& argc, char** argv) {
    auto app = std::make_unique<QApplication>(argc, argv);
    app->setQuitOnLastWindowClosed(false);
    app->setWindowIcon(ui::AppIcon());
    app->setDesktopFileName(QStringLiteral("quorvex-websvr"));
    return app;
}
} // namespace

int RunWebServer(int argc, char** argv, const WebApplicationRegistration& registerWebApplication) {
    // Qt's glib dispatcher adds wake-up writes to every event; the plain one is faster.
    qputenv("QT_NO_GLIB", "1");
    // Without TZ the C library looks at /etc/localtime again for every local
    // time it converts: once per log line and per answer. Same zone, one look.
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
    // Every connection costs descriptors; the slots are capped below this limit.
    server::RaiseDescriptorLimit();

    // Decided before the application object: a desktop run needs a QApplication, a hidden
    // one must not need a display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // A command of its own: no server, no window, no display.
    if (IsAddUserCommand(arguments)) {
        const QCoreApplication app(argc, argv);
        return RunAddUser(arguments);
    }
    const bool hidden = core::IsHiddenRun(arguments);
    // A hidden run needs no display, so it does not look for one.
    const common::DisplayProbe display = hidden ? common::DisplayProbe{} : common::ProbeDisplay();
    const bool desktop = !hidden && display.available;
    // Nobody could answer a window here: carry on as a hidden run (and say so below).
    const bool noDisplay = !hidden && !desktop;
    if (noDisplay)
        arguments << QStringLiteral("hidden");
    const std::unique_ptr<QCoreApplication> app =
        desktop ? desktopApplication(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    // First, so that nothing written before it can end the process by SIGPIPE.
    core::SignalWatcher signals;
    components::RegisterComponents();
    // The web application's lasting part, made once for the run; the core owns it.
    auto webApplication = std::make_shared<webapp::ApplicationService>();
    (registerWebApplication ? registerWebApplication
                            : webapp::RegisterWebApplication)(webApplication);
    if (noDisplay) {
        std::fprintf(stderr, "websvr: no display (%s); running headless, as with hidden.\n",
                     qUtf8Printable(display.reason));
        std::fflush(stderr);
    }

    common::HeadlessInterface headless;
    // Made before the core and gone after it: the core talks to it to the end.
    ui::Desktop windows;
    const std::unique_ptr<core::CoreFace> owner =
        core::CreateCore(desktop ? static_cast<common::UserInterface&>(windows) : headless,
                         arguments, std::move(webApplication));
    core::CoreFace& core = *owner;
    if (desktop)
        windows.attach(core);

    // SIGTERM (also the desktop session ending), SIGINT, SIGHUP: the orderly shutdown, also
    // while a box or a dialog waits for its user.
    QObject::connect(&signals, &core::SignalWatcher::terminationRequested, &core,
                     [&core](int) { core.CloseServer(core::EXIT_ORDERLY); });
    // The session manager ending the session quits the application (after closing the main
    // window, which runs the shutdown itself): whatever ends the event loop runs it.
    QObject::connect(app.get(), &QCoreApplication::aboutToQuit, &core,
                     [&core] { core.CloseServer(core::EXIT_ORDERLY); });
    if (!desktop)
        QObject::connect(
            &core, &core::CoreFace::listening, &core,
            [&core](int port, int securePort) { announceServing(core, port, securePort); });
    QObject::connect(&core, &core::CoreFace::finished, app.get(),
                     [](int exitCode) { QCoreApplication::exit(exitCode); });

    core.start();
    return app->exec();
}
