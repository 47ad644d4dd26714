#pragma once

#include <QString>
#include <climits>

namespace core {

// What the main window shows. The core owns and changes it and tells so with
// its stateChanged signal; a window, when there is one, only displays it.
struct WindowState {
    QString statusText;
    int totalRequests = 0;
    bool linksVisible = false;
    bool serverStarted = false;
    QString debugText;
    QString versionText;

    // Wraps to 0 rather than overflow past the largest 32-bit count.
    void countRequest() { totalRequests = totalRequests == INT_MAX ? 0 : totalRequests + 1; }
};

} // namespace core
