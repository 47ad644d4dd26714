#pragma once

#include "core/folders.h"
#include "core/settings.h"
#include "core/startupvalues.h"
#include "core/windowstate.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace bridge {
class WebApplicationService;
}
namespace common {
class UserInterface;
}

namespace core {

// All the window (and the program's main) may see of the web server's core: its procedures,
// read-only views of its state and the signals that tell of changes. What serves, bridges
// and supervises stays behind it, out of the window's reach.
class CoreFace : public QObject {
    Q_OBJECT
public:
    // Arms the timer whose first tick runs the start-up sequence (the main window's load).
    virtual void start() = 0;
    // The orderly end; finished(exitCode) follows. Any box or dialog open is closed first
    // (as by its user), and none opens afterwards.
    virtual void CloseServer(int exitCode) = 0;

    // The procedures of the menus and links.
    // The settings dialog with the timer paused; then the listener and the application
    // restarted on what it left.
    virtual void ShowSettings() = 0;
    // Starts the data server's configuration mode; a failure is told to the user.
    virtual void ShowDataConnectionSettings() = 0;
    // The help page for context ("" for the contents, "tracelog", "ServerSettings").
    virtual void ShowHelp(const QString& context) = 0;
    // The administration page with this run's key.
    virtual void ShowAdminPage() = 0;
    // The web site or the administration page while the server is started, else a warning.
    virtual void LinkWebSite() = 0;
    virtual void LinkAdministration() = 0;
    // Runs a command of the window; an error escaping it is traced and closes the server,
    // as any error no handler takes.
    virtual void runCommand(const std::function<void()>& command) = 0;

    // What the settings dialog does with its values.
    // Takes settings as the run's; every part of the core sees them from now on.
    virtual void applySettings(const Settings& settings) = 0;
    // The first free port of [start, end] (going on over 8080 to 8100 when the range needs
    // privileges we lack); 0 when none.
    virtual int ScanForFreePort(int start, int end) = 0;

    // Read-only views; stateChanged() tells when windowState() changed.
    virtual const FolderSet& folders() const = 0;
    virtual const Settings& settings() const = 0;
    virtual const StartupValues& values() const = 0;
    virtual const WindowState& windowState() const = 0;

Q_SIGNALS:
    // The translation is loaded: the window applies its texts now.
    void translationsLoaded();
    // windowState() changed: the window shows it again.
    void stateChanged();
    // The listener is listening on port (after StartServer succeeded), and the HTTPS one on
    // securePort (0: HTTPS is off or not listening).
    void listening(int port, int securePort);
    // The run is over; the process should end with exitCode.
    void finished(int exitCode);

protected:
    using QObject::QObject;
};

// The core of this process, talking to its user through ui (which must outlive it).
// arguments: the command line without the program name. webApplication: the web
// application's lasting part, which the core owns from now on (none: no web application).
std::unique_ptr<CoreFace>
CreateCore(common::UserInterface& ui, QStringList arguments,
           std::shared_ptr<bridge::WebApplicationService> webApplication = {});

} // namespace core
