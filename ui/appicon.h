#pragma once

#include <QIcon>

namespace ui {

// The program's icon, as installed for the desktop entry ("quorvex" in the icon theme),
// else the same pictures built into the program.
QIcon AppIcon();

} // namespace ui
