#pragma once

#include "common/filestamp.h"
#include "server/datedlines.h"
#include "server/httpconfig.h"
#include "server/webroot.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QString>
#include <memory>

struct stat;

namespace server {

// A complete answer to a static request. The body is either in memory or the
// first fileLength bytes of an open file, sent in pieces as the socket drains.
struct StaticAnswer {
    QByteArray head; // status line, header lines and the blank line
    QByteArray body;
    std::unique_ptr<QFile> file;
    qint64 fileLength = 0;
};

// Static files under the web root: "200 OK", "304 Not Modified" (If-Modified-
// Since equal, as text, to the file's Last-Modified), "404 Not Found" (missing,
// a folder, hidden — a path step starting with "." — or not a regular file),
// "500 Relative Path" (a ".." step anywhere in the decoded path). The file on
// disk is named by the bytes of the decoded path (WebRoot::RelativeName); one
// reached through a symbolic link that leads out of the web root is "404 Not
// Found" unless config.followSymlinksOutsideWebRoot. Small files are kept in
// memory while their size, times and inode stay the same, with their whole
// "200 OK" answer for the current second.
class StaticFiles final {
public:
    explicit StaticFiles(const HttpConfig& config) : m_config(config) {}

    // filePath is the decoded URL path, one that IsServablePath accepts;
    // cachetime the If-Modified-Since text ("" when absent). Raises
    // common::Error when a found file cannot be opened or read.
    StaticAnswer answer(const QString& filePath, const QString& cachetime, const QDateTime& now);

    // A path that can name a file under the web root: it starts with "/" (or
    // it would continue the web root's own name) and holds no NUL.
    static bool IsServablePath(const QString& filePath);
    static bool IsRelativePath(const QString& filePath);
    static bool IsHiddenPath(const QString& filePath);

private:
    using FileStamp = common::FileStamp;
    // A found file's own header lines.
    struct FileLines {
        QByteArray type;      // Content-Type and Accept-Ranges
        QByteArray tail;      // Last-Modified, Content-Length, Connection
        QString lastModified; // the Last-Modified text, for If-Modified-Since
    };
    struct CachedFile {
        FileStamp stamp;
        QByteArray name; // on disk, relative to the web root
        QByteArray body;
        FileLines lines;
        QByteArray answer; // the whole "200 OK" answer of answerGeneration
        quint64 answerGeneration = 0;
    };

    const DatedLines& secondLines(const QDateTime& now);
    FileLines fileLines(const QString& fileName, const struct stat& st, qint64 length) const;
    StaticAnswer cachedAnswer(CachedFile& file, const QString& cachetime, const QDateTime& now);
    StaticAnswer foundAnswer(StaticAnswer result, const FileLines& lines, const QString& cachetime,
                             const QDateTime& now);
    void keep(const QString& filePath, CachedFile file);
    QByteArray notFoundAnswer(const QString& fileName, const QDateTime& now) const;
    QByteArray relativePathAnswer(const QString& fileName, const QDateTime& now) const;
    QByteArray errorAnswer(const QString& status, const QString& fileName, const QDateTime& now,
                           const QString& body, bool poweredBy) const;

    const HttpConfig& m_config;
    WebRoot m_webRoot;
    DatedLines m_second;
    QHash<QString, CachedFile> m_cache; // by decoded URL path
    qint64 m_cacheBytes = 0;
};

} // namespace server
