#pragma once

#include "startup/folders.h"
#include "startup/settings.h"
#include "startup/startupvalues.h"

namespace startup {

// The run's configuration, in one value: its folders, the settings file's values and what
// the start-up sequence fixes. The core owns it and alone changes it; each of its parts sees
// what it needs of it through partconfiguration.h.
struct Configuration {
    FolderSet folders;
    Settings settings;
    StartupValues values;
};

} // namespace startup
