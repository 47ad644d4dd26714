#pragma once

#include "core/folders.h"
#include "core/settings.h"
#include "core/startupvalues.h"

namespace core {

// The run's configuration, in one value: its folders, the settings file's values and what
// the start-up sequence fixes. The core owns it and alone changes it; each of its parts sees
// what it needs of it through partconfiguration.h.
struct Configuration {
    FolderSet folders;
    Settings settings;
    StartupValues values;
};

} // namespace core
