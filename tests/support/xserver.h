#pragma once

// X servers for the tests that need a real display, and display names where none listens.

#include <QProcess>
#include <QString>

namespace support {

// A display name (":N") with no X server behind it: no socket of that number exists.
QString UnusedDisplay();

// An Xvfb of the test's own on a display number it picks itself, started so that it never
// resets when its last client leaves; ended with the object.
class XServer final {
public:
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Xvfb can be run here.
    static bool Installed();
    // It answers on display().
    bool running() const { return !m_display.isEmpty(); }
    QString display() const { return m_display; }
    // Ends it now, as a desktop that goes away does.
    void stop();

private:
    QProcess m_process;
    QString m_display;
};

} // namespace support
