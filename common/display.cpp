#include "common/display.h"

#include <QByteArray>
#include <QStringList>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace common {

namespace {

// A whole X connection, set-up and authorisation included; xcb reports failures, it never
// ends the process.
bool xServerAnswers(const QByteArray& display) {
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}

// WAYLAND_DISPLAY names a socket: a path, or a name in XDG_RUNTIME_DIR.
QByteArray waylandSocket(const QByteArray& display) {
    if (display.startsWith('/'))
        return display;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QByteArray() : runtime + '/' + display;
}

bool waylandAnswers(const QByteArray& display) {
    const QByteArray path = waylandSocket(display);
    sockaddr_un address{};
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool answers =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answers;
}

} // namespace

DisplayProbe ProbeDisplay() {
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (platform.startsWith(QLatin1String("offscreen")) ||
        platform.startsWith(QLatin1String("minimal")))
        return {false, QStringLiteral("QT_QPA_PLATFORM is ") + platform};
    const QByteArray x = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    if (x.isEmpty() && wayland.isEmpty())
        return {false, QStringLiteral("DISPLAY and WAYLAND_DISPLAY are not set")};
    const bool tryX = platform.isEmpty() || platform.contains(QLatin1String("xcb"));
    const bool tryWayland = platform.isEmpty() || platform.contains(QLatin1String("wayland"));
    // A platform of another kind (a frame buffer, VNC) is the user's choice: Qt answers for it.
    if (!tryX && !tryWayland)
        return {true, {}};
    QStringList silent;
    if (tryX && !x.isEmpty()) {
        if (xServerAnswers(x))
            return {true, {}};
        silent << QStringLiteral("no X server answers at DISPLAY=") + QString::fromLocal8Bit(x);
    }
    if (tryWayland && !wayland.isEmpty()) {
        if (waylandAnswers(wayland))
            return {true, {}};
        silent << QStringLiteral("no Wayland compositor answers at WAYLAND_DISPLAY=") +
                      QString::fromLocal8Bit(wayland);
    }
    if (silent.isEmpty())
        silent << QStringLiteral("QT_QPA_PLATFORM is ") + platform +
                      QStringLiteral(" and its display is not set");
    return {false, silent.join(QStringLiteral("; "))};
}

bool DisplayAvailable() {
    return ProbeDisplay().available;
}

} // namespace common
