#pragma once

#include "common/filestamp.h"
#include "common/response.h"
#include "server/datedlines.h"
#include "server/httpconfig.h"
#include "server/webroot.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

struct stat;

namespace server {

// A complete answer to a static request. The body is either in memory or the first bytes
// of an open file, sent in pieces as the socket drains. A kept body is the cache's own,
// shared with every answer that sends it: it costs no memory of its own; so is head, when
// given: response.head() as the cache keeps it for the second.
struct StaticAnswer {
    common::Response response;
    bool kept = false;
    QByteArray head;
};

// Static files under the web root: "200 OK", "304 Not Modified" (If-Modified-
// Since equal, as text, to the file's Last-Modified), "404 Not Found" (missing,
// a folder, hidden — a path step starting with "." — or not a regular file),
// "500 Relative Path" (a ".." step anywhere in the decoded path). The file on
// disk is named by the bytes of the decoded path (WebRoot::RelativeName); one
// reached through a symbolic link that leads out of the web root is "404 Not
// Found" unless config.followSymlinksOutsideWebRoot. Small files are kept in
// memory while their size, times and inode stay the same, with their "200 OK" answer of
// the current second.
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
    // A found file's own header values.
    struct FileLines {
        QByteArray type;         // Content-Type
        QByteArray lastModified; // the Last-Modified text, also for If-Modified-Since
        QByteArray length;       // Content-Length
    };
    struct CachedFile {
        FileStamp stamp;
        QByteArray name; // on disk, relative to the web root
        QByteArray body;
        FileLines lines;
        common::Response answer; // "200 OK" of answerGeneration, with its head
        QByteArray head;
        quint64 answerGeneration = 0;
    };

    FileLines fileLines(const QString& fileName, const struct stat& st, qint64 length) const;
    // "304 Not Modified" when cachetime is the file's Last-Modified text, else "200 OK"
    // with body (or with file, when it holds one).
    common::Response foundAnswer(const FileLines& lines, const QString& cachetime,
                                 const QDateTime& now, const QByteArray& body,
                                 common::Response::File file = {});
    StaticAnswer cachedAnswer(CachedFile& file, const QString& cachetime, const QDateTime& now);
    void keep(const QString& filePath, CachedFile file);
    common::Response notFoundAnswer(const QString& fileName, const QDateTime& now) const;
    common::Response relativePathAnswer(const QString& fileName, const QDateTime& now) const;
    common::Response errorAnswer(int status, const QByteArray& reason, const QString& fileName,
                                 const QDateTime& now, const QString& body, bool poweredBy) const;

    const HttpConfig& m_config;
    WebRoot m_webRoot;
    DatedLines m_second;
    QHash<QString, CachedFile> m_cache; // by decoded URL path
    qint64 m_cacheBytes = 0;
};

} // namespace server
