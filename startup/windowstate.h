#pragma once

#include <QString>
#include <functional>

namespace startup {

// What the main window shows. The core owns and changes it; a window, when
// there is one, only displays it (notified through onChanged).
struct WindowState {
    QString statusText;
    int totalRequests = 0;
    bool linksVisible = false;
    bool serverStarted = false;
    QString debugText;
    QString versionText;
    std::function<void()> onChanged;

    void changed() const {
        if (onChanged)
            onChanged();
    }
};

} // namespace startup
