#pragma once

#include <QString>

namespace core {

// Shutdown helpers; each ignores its own errors (a folder that still holds files
// simply stays).
// Removes folder when it is empty.
void RemoveEmptyFolder(const QString& folder);
void DeleteFileQuietly(const QString& path);

} // namespace core
