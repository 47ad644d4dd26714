#pragma once

#include <QByteArray>
#include <QString>

namespace server {

// The file system side of the web root: the bytes that name a requested file
// on disk, and opening it without leaving the web root through a symbolic link.
class WebRoot final {
public:
    enum class Opened { Yes, NotFound, Outside, Failed };

    // The name on disk of folder + filePath, filePath being a decoded URL path
    // whose characters are Windows-1252 characters: each goes back to its byte,
    // so the UTF-8 escapes a browser sends for "é" name the UTF-8 file name.
    static QByteArray DiskName(const QString& folder, const QString& filePath);

    // Opens diskName (a name under folder) for reading, close-on-exec and
    // without blocking on a pipe. Unless followOutside, a name whose real path
    // (symbolic links resolved) is not inside the real path of folder is not
    // opened: Outside. fd is set only for Yes; errno holds the cause of Failed.
    Opened open(const QString& folder, const QByteArray& diskName, bool followOutside, int& fd);

private:
    const QByteArray& realFolder(const QString& folder);

    QString m_folder;
    QByteArray m_realFolder; // with a trailing "/"; empty while it cannot be resolved
};

} // namespace server
