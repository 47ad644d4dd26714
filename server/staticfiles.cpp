#include "server/staticfiles.h"

#include "common/codepage.h"
#include "common/error.h"
#include "common/text.h"
#include "common/version.h"
#include "common/webdate.h"
#include "server/contenttype.h"
#include "server/responses.h"

#include <QFile>
#include <memory>
#include <sys/stat.h>

namespace server {

namespace {
constexpr qint64 SMALL_FILE_BYTES = 256 * 1024; // read whole and kept; larger ones are streamed
constexpr qint64 CACHE_BUDGET_BYTES = 8 * 1024 * 1024;
const QByteArray BYTES = QByteArrayLiteral("bytes");
const QByteArray CLOSE = QByteArrayLiteral("close");
QString readError(const QString& fileName, const QString& reason) {
    return QStringLiteral("Cannot read file ") + fileName + QStringLiteral(": ") + reason;
}
} // namespace

namespace {
// Calls f with each "/"-separated step of path until it returns true.
template <typename F> bool anyStep(const QString& path, F f) {
    qsizetype start = 0;
    while (start <= path.size()) {
        qsizetype end = path.indexOf(QLatin1Char('/'), start);
        if (end < 0)
            end = path.size();
        if (f(QStringView(path).mid(start, end - start)))
            return true;
        start = end + 1;
    }
    return false;
}
} // namespace

bool StaticFiles::IsRelativePath(const QString& filePath) {
    return anyStep(filePath, [](QStringView step) { return step == QLatin1String(".."); });
}

bool StaticFiles::IsHiddenPath(const QString& filePath) {
    return anyStep(filePath, [](QStringView step) {
        return step.startsWith(QLatin1Char('.')) && step != QLatin1String(".");
    });
}

bool StaticFiles::IsServablePath(const QString& filePath) {
    return filePath.startsWith(QLatin1Char('/')) && !filePath.contains(QChar(0));
}

StaticAnswer StaticFiles::answer(const QString& filePath, const QString& cachetime,
                                 const QDateTime& now) {
    StaticAnswer result;
    if (!IsServablePath(filePath)) { // refused by the caller already; never a file
        result.response = ErrorAnswer(400, m_config, now);
        return result;
    }
    if (m_webRoot.setFolder(m_config.webRootFolder)) {
        m_cache.clear();
        m_cacheBytes = 0;
    }
    if (IsRelativePath(filePath)) {
        result.response = relativePathAnswer(m_config.webRootFolder + filePath, now);
        return result;
    }
    struct stat st {};
    if (IsHiddenPath(filePath)) {
        result.response = notFoundAnswer(m_config.webRootFolder + filePath, now);
        return result;
    }
    // A small file kept from an earlier answer was checked then, and is still the same file.
    const auto cached = m_cache.find(filePath);
    const QByteArray name =
        cached != m_cache.end() ? cached->name : WebRoot::RelativeName(filePath);
    if (m_webRoot.stat(name, st) && S_ISREG(st.st_mode) && cached != m_cache.end() &&
        cached->stamp == FileStamp::of(st))
        return cachedAnswer(*cached, cachetime, now);

    const QString fileName = m_config.webRootFolder + filePath;
    int fd = -1;
    const WebRoot::Opened opened =
        S_ISREG(st.st_mode) ? m_webRoot.open(name, m_config.followSymlinksOutsideWebRoot, fd)
                            : WebRoot::Opened::NotFound;
    if (opened == WebRoot::Opened::Failed)
        throw common::Error(common::ERR_PROGRAM, readError(fileName, qt_error_string(errno)));
    auto file = std::make_shared<QFile>();
    if (opened == WebRoot::Opened::Yes)
        file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle);
    // What was opened decides, should the name have changed since the look above.
    if (opened != WebRoot::Opened::Yes || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result.response = notFoundAnswer(fileName, now);
        return result;
    }
    if (st.st_size > SMALL_FILE_BYTES) {
        result.response = foundAnswer(fileLines(fileName, st, st.st_size), cachetime, now, {},
                                      {std::move(file), st.st_size});
        return result;
    }
    CachedFile kept{FileStamp::of(st), name, file->readAll(), {}, {}, {}, 0};
    if (file->error() != QFileDevice::NoError)
        throw common::Error(common::ERR_PROGRAM, readError(fileName, file->errorString()));
    // The file may have changed since it was looked at: keep it only when it
    // still has the size it had then.
    kept.lines = fileLines(fileName, st, kept.body.size());
    if (kept.body.size() != st.st_size) {
        result.response = foundAnswer(kept.lines, cachetime, now, kept.body);
        return result;
    }
    keep(filePath, std::move(kept));
    return cachedAnswer(m_cache[filePath], cachetime, now);
}

// A kept file's answer: its "200 OK" of the second is made once, head and all.
StaticAnswer StaticFiles::cachedAnswer(CachedFile& file, const QString& cachetime,
                                       const QDateTime& now) {
    StaticAnswer result;
    result.kept = true;
    const quint64 generation =
        m_second.refresh(now, m_config.serverVersion, m_config.cacheExpiresStatic).generation();
    if (QLatin1String(file.lines.lastModified) == cachetime) {
        result.response = foundAnswer(file.lines, cachetime, now, {});
        return result;
    }
    if (file.answerGeneration != generation || file.head.isEmpty()) {
        file.answer = foundAnswer(file.lines, cachetime, now, file.body);
        file.head = file.answer.head();
        file.answerGeneration = generation;
    }
    result.response = file.answer;
    result.head = file.head;
    return result;
}

StaticFiles::FileLines StaticFiles::fileLines(const QString& fileName, const struct stat& st,
                                              qint64 length) const {
    return FileLines{
        common::ToCodePage(GetContentType(fileName)),
        common::FormatWebDate(QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec, Qt::UTC), true)
            .toLatin1(),
        QByteArray::number(length)};
}

common::Response StaticFiles::foundAnswer(const FileLines& file, const QString& cachetime,
                                          const QDateTime& now, const QByteArray& body,
                                          common::Response::File stream) {
    const DatedLines& lines =
        m_second.refresh(now, m_config.serverVersion, m_config.cacheExpiresStatic);
    if (QLatin1String(file.lastModified) == cachetime) {
        common::Response r(304);
        r.headers.reserve(6);
        r.add("Server", lines.server())
            .add("Date", lines.date())
            .add("Expires", lines.expires())
            .add("Last-Modified", file.lastModified)
            .add("Content-Length", QByteArrayLiteral("0"))
            .add("Connection", CLOSE);
        return r;
    }
    common::Response r(200);
    r.headers.reserve(8);
    r.add("Server", lines.server())
        .add("Date", lines.date())
        .add("Content-Type", file.type)
        .add("Accept-Ranges", BYTES)
        .add("Expires", lines.expires())
        .add("Last-Modified", file.lastModified)
        .add("Content-Length", file.length)
        .add("Connection", CLOSE);
    r.body = body;
    r.file = std::move(stream);
    return r;
}

void StaticFiles::keep(const QString& filePath, CachedFile file) {
    const auto old = m_cache.constFind(filePath);
    if (old != m_cache.constEnd())
        m_cacheBytes -= old->body.size();
    if (m_cacheBytes + file.body.size() > CACHE_BUDGET_BYTES) {
        m_cache.clear();
        m_cacheBytes = 0;
    }
    m_cacheBytes += file.body.size();
    m_cache.insert(filePath, std::move(file));
}

// The 404 and "500 Relative Path" answers: no file was read, so their
// Last-Modified shows the date that holds no date; only the 500 names the product.
common::Response StaticFiles::errorAnswer(int status, const QByteArray& reason,
                                          const QString& fileName, const QDateTime& now,
                                          const QString& body, bool poweredBy) const {
    common::Response r(status, reason);
    r.body = common::ToCodePage(body);
    r.add("Server", m_config.serverVersion)
        .add("Date", common::FormatWebDate(now, true))
        .add("Content-Type", GetContentType(fileName))
        .add("Accept-Ranges", BYTES)
        .add("Last-Modified", common::FormatWebDate(common::NoDate(), false));
    if (poweredBy)
        r.add("X-Powered-By", common::ProductName());
    r.addContentLength().add("Connection", CLOSE);
    return r;
}

common::Response StaticFiles::notFoundAnswer(const QString& fileName, const QDateTime& now) const {
    return errorAnswer(
        404, {}, fileName, now,
        QStringLiteral(
            "<html><head><title>File Not Found</title></head><body>File not found.<br/>") +
            common::XmlEscape(fileName) + QStringLiteral("</body></html>"),
        false);
}

common::Response StaticFiles::relativePathAnswer(const QString& fileName,
                                                 const QDateTime& now) const {
    return errorAnswer(500, QByteArrayLiteral("Relative Path"), fileName, now,
                       QStringLiteral("Relative paths are not supported in request for ") +
                           common::XmlEscape(fileName),
                       true);
}

} // namespace server
