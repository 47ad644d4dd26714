#pragma once

#include <QByteArray>
#include <QString>

struct stat;

namespace server {

// The file system side of the web root: the bytes that name a requested file
// on disk, looked up relative to the open web root folder, and opening it
// without leaving the web root through a symbolic link.
class WebRoot final {
public:
    enum class Opened { Yes, NotFound, Outside, Failed };

    WebRoot() = default;
    ~WebRoot();
    WebRoot(const WebRoot&) = delete;
    WebRoot& operator=(const WebRoot&) = delete;

    // Names the web root folder. True when it is another folder than before:
    // what was learnt about its files no longer holds.
    bool setFolder(const QString& folder);

    // The name on disk, relative to the web root, of a decoded URL path whose
    // characters are Windows-1252 characters: each goes back to its byte, so
    // the UTF-8 escapes a browser sends for "é" name the UTF-8 file name.
    static QByteArray RelativeName(const QString& filePath);

    // The status of name (symbolic links followed); false when there is none.
    bool stat(const QByteArray& name, struct stat& st);

    // Opens name for reading, close-on-exec and without blocking on a pipe.
    // Unless followOutside, a file whose real path (symbolic links resolved)
    // is not inside the real web root is not opened: Outside. fd is set only
    // for Yes; errno holds the cause of Failed.
    Opened open(const QByteArray& name, bool followOutside, int& fd);

private:
    bool openFolder();
    void closeFolder();

    QString m_folder;
    int m_fd = -1;
    QByteArray m_realFolder; // with a trailing "/"
};

} // namespace server
