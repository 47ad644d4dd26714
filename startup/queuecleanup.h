#pragma once

#include <QString>

namespace startup {

// Shutdown helpers; each ignores its own errors (a folder that still holds files
// simply stays).
// Deletes the "*.msg" files of folder/tmp and of folder, then removes both folders.
void RemoveQueueFolder(const QString& folder);
// Removes folder when it is empty.
void RemoveEmptyFolder(const QString& folder);
void DeleteFileQuietly(const QString& path);

} // namespace startup
