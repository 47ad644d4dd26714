#pragma once

#include <QString>

namespace common {

// The per-user program settings store (INI files under XDG_CONFIG_HOME, one per
// application name): a value under application, section and key, as text.

// The stored text, or defaultValue when the value is missing.
QString GetSetting(const QString& application, const QString& section, const QString& key,
                   const QString& defaultValue = {});
// Stores value; written to disk before it returns.
void SaveSetting(const QString& application, const QString& section, const QString& key,
                 const QString& value);

} // namespace common
