#pragma once

#include <QString>

namespace ui {

// Opens url in the user's default browser with xdg-open, started detached: the server
// never waits for it. False when xdg-open could not be started; nothing else is reported.
bool OpenInBrowser(const QString& url);

} // namespace ui
