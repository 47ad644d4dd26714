#pragma once

#include <QByteArray>
#include <QString>

namespace common {

// The folder that holds the running executable. Tests may point it elsewhere.
QString ProgramFolder();
void SetProgramFolder(const QString& folder);

// Makes sure the folder exists, creating every missing parent. Raises an Error
// "Error creating folder in function MkDirRecurse. Target=<path>, Current=<part>. <reason>".
void MkDirRecurse(const QString& path);

// The whole file as bytes; raises 1000 for an empty path or an unreadable file.
QByteArray ReadFile(const QString& path);
// Makes bytes the whole content of the file (no old tail remains); raises on failure.
void SaveFile(const QString& path, const QByteArray& bytes);

QString CurrentUserName();
QString ComputerName();

} // namespace common
