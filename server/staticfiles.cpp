#include "server/staticfiles.h"

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
const QString CRLF = QStringLiteral("\r\n");
const QString CONNECTION_CLOSE = QStringLiteral("Connection: close\r\n");

QString line(const char* name, const QString& value) {
    return QLatin1String(name) + value + CRLF;
}

QString readError(const QString& fileName, const QString& reason) {
    return QStringLiteral("Cannot read file ") + fileName + QStringLiteral(": ") + reason;
}
} // namespace

bool StaticFiles::IsRelativePath(const QString& filePath) {
    for (const QStringView step : QStringView(filePath).split(QLatin1Char('/')))
        if (step == QLatin1String(".."))
            return true;
    return false;
}

bool StaticFiles::IsHiddenPath(const QString& filePath) {
    for (const QStringView step : QStringView(filePath).split(QLatin1Char('/')))
        if (step.startsWith(QLatin1Char('.')) && step != QLatin1String("."))
            return true;
    return false;
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
    const QString fileName = m_config.webRootFolder + filePath;
    if (IsRelativePath(filePath)) {
        result.head = relativePathAnswer(fileName, now);
        return result;
    }
    const QByteArray diskName = WebRoot::DiskName(m_config.webRootFolder, filePath);
    struct stat st {};
    if (IsHiddenPath(filePath) || ::stat(diskName.constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        result.head = notFoundAnswer(fileName, now);
        return result;
    }
    // A small file kept from an earlier answer was checked then, and is still the same file.
    const auto cached = m_cache.constFind(fileName);
    if (cached != m_cache.constEnd() && cached->stamp == stampOf(st)) {
        result.body = cached->bytes;
        return finish(std::move(result), fileName, cachetime, now, st);
    }
    int fd = -1;
    switch (m_webRoot.open(m_config.webRootFolder, diskName, m_config.followSymlinksOutsideWebRoot,
                           fd)) {
    case WebRoot::Opened::Yes:
        break;
    case WebRoot::Opened::NotFound:
    case WebRoot::Opened::Outside:
        result.head = notFoundAnswer(fileName, now);
        return result;
    case WebRoot::Opened::Failed:
        throw common::Error(common::ERR_PROGRAM, readError(fileName, qt_error_string(errno)));
    }
    auto file = std::make_unique<QFile>();
    file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle);
    // What was opened decides, should the name have changed since the look above.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result.head = notFoundAnswer(fileName, now);
        return result;
    }
    if (st.st_size <= SMALL_FILE_BYTES) {
        result.body = smallFile(fileName, *file, stampOf(st));
    } else {
        result.file = std::move(file);
        result.fileLength = st.st_size;
    }
    return finish(std::move(result), fileName, cachetime, now, st);
}

StaticFiles::FileStamp StaticFiles::stampOf(const struct stat& st) {
    return FileStamp{st.st_size, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec,
                     st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec,
                     static_cast<quint64>(st.st_ino), static_cast<quint64>(st.st_dev)};
}

// The head for a found file: "304 Not Modified" when cachetime is its
// Last-Modified text (no body then), else "200 OK".
StaticAnswer StaticFiles::finish(StaticAnswer result, const QString& fileName,
                                 const QString& cachetime, const QDateTime& now,
                                 const struct stat& st) const {
    const QDateTime fileDate = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec, Qt::UTC);
    if (FormatWebDate(fileDate, true) == cachetime) {
        result.head = notModifiedHead(now, fileDate);
        result.body.clear();
        result.file.reset();
        result.fileLength = 0;
        return result;
    }
    const qint64 length = result.file ? result.fileLength : result.body.size();
    result.head = okHead(fileName, now, fileDate, length);
    return result;
}

QByteArray StaticFiles::smallFile(const QString& fileName, QFile& file, const FileStamp& stamp) {
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw common::Error(common::ERR_PROGRAM, readError(fileName, file.errorString()));
    // The file may have changed since it was looked at: keep it only when it
    // still has the size it had then.
    if (bytes.size() != stamp.size)
        return bytes;
    const auto cached = m_cache.constFind(fileName);
    if (cached != m_cache.constEnd())
        m_cacheBytes -= cached->bytes.size();
    if (m_cacheBytes + bytes.size() > CACHE_BUDGET_BYTES) {
        m_cache.clear();
        m_cacheBytes = 0;
    }
    m_cache.insert(fileName, CachedFile{stamp, bytes});
    m_cacheBytes += bytes.size();
    return bytes;
}

QByteArray StaticFiles::okHead(const QString& fileName, const QDateTime& now,
                               const QDateTime& fileDate, qint64 length) const {
    const QString head =
        QStringLiteral("HTTP/1.1 200 OK") + CRLF + line("Server: ", m_config.serverVersion) +
        line("Date: ", FormatWebDate(now, true)) +
        line("Content-Type: ", GetContentType(fileName)) +
        line("Accept-Ranges: ", QStringLiteral("bytes")) +
        line("Expires: ", FormatWebDate(AddDays(now, m_config.cacheExpiresStatic), true)) +
        line("Last-Modified: ", FormatWebDate(fileDate, true)) +
        line("Content-Length: ", QString::number(length)) + CONNECTION_CLOSE + CRLF;
    return common::ToCodePage(head);
}

QByteArray StaticFiles::notModifiedHead(const QDateTime& now, const QDateTime& fileDate) const {
    const QString head =
        QStringLiteral("HTTP/1.1 304 Not Modified") + CRLF +
        line("Server: ", m_config.serverVersion) + line("Date: ", FormatWebDate(now, true)) +
        line("Expires: ", FormatWebDate(AddDays(now, m_config.cacheExpiresStatic), true)) +
        line("Last-Modified: ", FormatWebDate(fileDate, true)) +
        line("Content-Length: ", QStringLiteral("0")) + CONNECTION_CLOSE + CRLF;
    return common::ToCodePage(head);
}

// The 404 and "500 Relative Path" answers: no file was read, so their
// Last-Modified shows the date that holds no date; only the 500 names the product.
QByteArray StaticFiles::errorAnswer(const QString& status, const QString& fileName,
                                    const QDateTime& now, const QString& body,
                                    bool poweredBy) const {
    const QByteArray bytes = common::ToCodePage(body);
    QString head = QStringLiteral("HTTP/1.1 ") + status + CRLF +
                   line("Server: ", m_config.serverVersion) +
                   line("Date: ", FormatWebDate(now, true)) +
                   line("Content-Type: ", GetContentType(fileName)) +
                   line("Accept-Ranges: ", QStringLiteral("bytes")) +
                   line("Last-Modified: ", FormatWebDate(NoDate(), false));
    if (poweredBy)
        head += line("X-Powered-By: ", common::ProductName());
    head += line("Content-Length: ", QString::number(bytes.size())) + CONNECTION_CLOSE + CRLF;
    return common::ToCodePage(head) + bytes;
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
