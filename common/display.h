#pragma once

#include <QString>

namespace common {

// Whether a window can be shown, found out before any application object is made: Qt's
// platform plugin ends the process when it cannot reach its display.
struct DisplayProbe {
    bool available = false;
    // Why not, for a notice ("no X server answers at DISPLAY=:9"); "" when available.
    QString reason;
};

// Not available when Qt is told to use a platform without a screen (QT_QPA_PLATFORM
// offscreen or minimal), when neither DISPLAY nor WAYLAND_DISPLAY is set, or when no X
// server answers at DISPLAY and no Wayland compositor at WAYLAND_DISPLAY (each only where
// QT_QPA_PLATFORM, when set, names its platform). The X server is asked with a complete
// connection, authorisation included; a display on another host may take as long to refuse
// as its network does.
DisplayProbe ProbeDisplay();

// ProbeDisplay().available.
bool DisplayAvailable();

} // namespace common
