#pragma once

namespace common {

// Whether a window can be shown: DISPLAY or WAYLAND_DISPLAY is set and Qt is not told to
// use a platform without a screen (offscreen, minimal).
bool DisplayAvailable();

} // namespace common
