#pragma once

#include <QString>

namespace core {

// The environment variable that names a file for the administration key.
inline constexpr const char* ADMIN_KEY_FILE_VARIABLE = "QV_ADMIN_KEY_FILE";

// When QV_ADMIN_KEY_FILE names a file, writes the run's administration key
// (bridge::AdminKey(secret)) and a line end into it, readable by this user only,
// so that a parent program or a test can open the administration page of a
// hidden run. Nothing when the variable is unset; a file that cannot be written
// is traced, never fatal.
void WriteAdminKeyFile(const QString& secret);

} // namespace core
