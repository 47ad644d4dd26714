#include "server/staticfiles.h"

#include "common/answerhead.h"
#include "common/codepage.h"
#include "common/error.h"
#include "common/text.h"
#include "common/version.h"
#include "server/contenttype.h"
#include "server/responses.h"
#include "server/webdate.h"

#include <sys/stat.h>

namespace server {

namespace {
constexpr qint64 SMALL_FILE_BYTES = 256 * 1024; // read whole and kept; larger ones are streamed
constexpr qint64 CACHE_BUDGET_BYTES = 8 * 1024 * 1024;
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
        result.head = ErrorAnswer(400, QStringLiteral("Bad Request"), m_config, now);
        return result;
    }
    if (m_webRoot.setFolder(m_config.webRootFolder)) {
        m_cache.clear();
        m_cacheBytes = 0;
    }
    if (IsRelativePath(filePath)) {
        result.head = relativePathAnswer(m_config.webRootFolder + filePath, now);
        return result;
    }
    struct stat st {};
    if (IsHiddenPath(filePath)) {
        result.head = notFoundAnswer(m_config.webRootFolder + filePath, now);
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
    auto file = std::make_unique<QFile>();
    if (opened == WebRoot::Opened::Yes)
        file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle);
    // What was opened decides, should the name have changed since the look above.
    if (opened != WebRoot::Opened::Yes || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result.head = notFoundAnswer(fileName, now);
        return result;
    }
    if (st.st_size > SMALL_FILE_BYTES) {
        result.file = std::move(file);
        result.fileLength = st.st_size;
        return foundAnswer(std::move(result), fileLines(fileName, st, st.st_size), cachetime, now);
    }
    CachedFile kept{FileStamp::of(st), name, file->readAll(), {}, {}, 0};
    if (file->error() != QFileDevice::NoError)
        throw common::Error(common::ERR_PROGRAM, readError(fileName, file->errorString()));
    // The file may have changed since it was looked at: keep it only when it
    // still has the size it had then.
    kept.lines = fileLines(fileName, st, kept.body.size());
    if (kept.body.size() != st.st_size) {
        result.body = kept.body;
        return foundAnswer(std::move(result), kept.lines, cachetime, now);
    }
    keep(filePath, std::move(kept));
    return cachedAnswer(m_cache[filePath], cachetime, now);
}

const DatedLines& StaticFiles::secondLines(const QDateTime& now) {
    return m_second.refresh(now, m_config.serverVersion, m_config.cacheExpiresStatic);
}

StaticFiles::FileLines StaticFiles::fileLines(const QString& fileName, const struct stat& st,
                                              qint64 length) const {
    const QString lastModified =
        FormatWebDate(QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec, Qt::UTC), true);
    return FileLines{common::AnswerHead::Line("Content-Type", GetContentType(fileName)) +
                         common::AnswerHead::Line("Accept-Ranges", QStringLiteral("bytes")),
                     common::AnswerHead::Line("Last-Modified", lastModified) +
                         common::AnswerHead::Line("Content-Length", QString::number(length)) +
                         common::AnswerHead::Line("Connection", QStringLiteral("close")),
                     lastModified};
}

StaticAnswer StaticFiles::cachedAnswer(CachedFile& file, const QString& cachetime,
                                       const QDateTime& now) {
    const DatedLines& lines = secondLines(now);
    if (file.lines.lastModified == cachetime)
        return foundAnswer(StaticAnswer(), file.lines, cachetime, now);
    if (file.answerGeneration != lines.generation() || file.answer.isEmpty()) {
        m_cacheBytes -= file.answer.size();
        file.answer = foundAnswer(StaticAnswer(), file.lines, cachetime, now).head + file.body;
        file.answerGeneration = lines.generation();
        m_cacheBytes += file.answer.size();
    }
    StaticAnswer result;
    result.head = file.answer; // shared, not copied
    return result;
}

// "304 Not Modified" when cachetime is the file's Last-Modified text (no body
// then), else "200 OK" with result's body or file.
StaticAnswer StaticFiles::foundAnswer(StaticAnswer result, const FileLines& file,
                                      const QString& cachetime, const QDateTime& now) {
    const DatedLines& lines = secondLines(now);
    if (file.lastModified == cachetime) {
        result = StaticAnswer();
        result.head = common::AnswerHead(QStringLiteral("304 Not Modified"))
                          .addLines(lines.server() + lines.date() + lines.expires())
                          .add("Last-Modified", file.lastModified)
                          .add("Content-Length", QStringLiteral("0"))
                          .add("Connection", QStringLiteral("close"))
                          .end();
        return result;
    }
    result.head =
        common::AnswerHead(QStringLiteral("200 OK"))
            .addLines(lines.server() + lines.date() + file.type + lines.expires() + file.tail)
            .end();
    return result;
}

void StaticFiles::keep(const QString& filePath, CachedFile file) {
    const auto old = m_cache.constFind(filePath);
    if (old != m_cache.constEnd())
        m_cacheBytes -= old->body.size() + old->answer.size();
    // Room for the body and its whole answer.
    if (m_cacheBytes + 2 * file.body.size() > CACHE_BUDGET_BYTES) {
        m_cache.clear();
        m_cacheBytes = 0;
    }
    m_cacheBytes += file.body.size();
    m_cache.insert(filePath, std::move(file));
}

// The 404 and "500 Relative Path" answers: no file was read, so their
// Last-Modified shows the date that holds no date; only the 500 names the product.
QByteArray StaticFiles::errorAnswer(const QString& status, const QString& fileName,
                                    const QDateTime& now, const QString& body,
                                    bool poweredBy) const {
    const QByteArray bytes = common::ToCodePage(body);
    common::AnswerHead head(status);
    head.add("Server", m_config.serverVersion)
        .add("Date", FormatWebDate(now, true))
        .add("Content-Type", GetContentType(fileName))
        .add("Accept-Ranges", QStringLiteral("bytes"))
        .add("Last-Modified", FormatWebDate(NoDate(), false));
    if (poweredBy)
        head.add("X-Powered-By", common::ProductName());
    head.add("Content-Length", QString::number(bytes.size()))
        .add("Connection", QStringLiteral("close"));
    return head.end() + bytes;
}

QByteArray StaticFiles::notFoundAnswer(const QString& fileName, const QDateTime& now) const {
    return errorAnswer(
        QStringLiteral("404 Not Found"), fileName, now,
        QStringLiteral(
            "<html><head><title>File Not Found</title></head><body>File not found.<br/>") +
            common::XmlEscape(fileName) + QStringLiteral("</body></html>"),
        false);
}

QByteArray StaticFiles::relativePathAnswer(const QString& fileName, const QDateTime& now) const {
    return errorAnswer(QStringLiteral("500 Relative Path"), fileName, now,
                       QStringLiteral("Relative paths are not supported in request for ") +
                           common::XmlEscape(fileName),
                       true);
}

} // namespace server
