#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

namespace common {

// The folder that holds the running executable, also before an application object
// exists. Tests may point it elsewhere.
QString ProgramFolder();
void SetProgramFolder(const QString& folder);

// Makes sure the folder exists, creating every missing parent with mode (less the umask).
// Raises an Error "Error creating folder in function MkDirRecurse. Target=<path>,
// Current=<part>/. <reason>" naming the first part that is not a folder or cannot be made.
void MkDirRecurse(const QString& path, mode_t mode = 0777);

// The whole file as bytes; raises 1000 for an empty path or an unreadable file.
QByteArray ReadFile(const QString& path);
// Who may read a file that SaveFile writes: everybody (as the umask allows), or its owner only.
enum class FileAccess { Shared, OwnerOnly };

// Makes bytes the whole content of the file (no old tail remains); raises on failure. An
// owner-only file is never readable by others, not even while it is written.
void SaveFile(const QString& path, const QByteArray& bytes, FileAccess access = FileAccess::Shared);

// Whether the file (not what a symbolic link points to) belongs to the user we run as.
bool IsOwnFile(const QString& path);

// The name of the account uid, "" when the account database has none (or cannot be read).
// Safe on any thread.
QString AccountName(uid_t uid);
// The name of the account we run as.
QString CurrentUserName();
QString ComputerName();

} // namespace common
