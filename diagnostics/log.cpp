#include "diagnostics/log.h"

#include "common/codepage.h"
#include "common/errnotext.h"
#include "common/error.h"
#include "common/files.h"
#include "common/text.h"
#include "diagnostics/localclock.h"
#include "diagnostics/severity.h"
#include "diagnostics/trace.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace diagnostics {

namespace {
const QString SOURCE = QStringLiteral("Log");
// Running out of descriptors is reported as the lack of a free file handle,
// which happens before the path is known, so the path stays out of the text.
const QString NO_HANDLE = QStringLiteral("Unable to get file handle in function PreLog");

QString QuoteText(QString text) {
    text.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QString systemText(int err) {
    return common::ErrnoText(err);
}

// "Error in <path>. <reason>"; no path when no descriptor was left to open it.
common::Error failure(const common::Error& e, const QString& path) {
    const QString where = e.description() == NO_HANDLE ? QString() : path;
    return e.wrapped(QStringLiteral("Error in ") + where + QStringLiteral(". "));
}

QString withPid(QString text, int64_t pid) {
    return text.replace(QStringLiteral("%PID%"), QString::number(pid));
}
} // namespace

Log::Log() : m_pid(::getpid()) {}

Log::~Log() {
    closeFile();
}

void Log::setFolder(const QString& folder) {
    m_folder = folder;
    m_pathDate = QDate();
}

void Log::setPrefix(const QString& prefix) {
    m_prefix = prefix;
    m_pathDate = QDate();
}

void Log::setPostfix(const QString& postfix) {
    m_postfix = postfix;
    m_pathDate = QDate();
}

QString Log::LogFileName(const QDate& date) const {
    return withPid(m_prefix, m_pid) + date.toString(QStringLiteral("yyyyMMdd")) +
           withPid(m_postfix, m_pid);
}

QString Log::pathFor(const QDate& date) {
    if (date != m_pathDate || !m_pathDate.isValid()) {
        // An empty folder would put the file into the file-system root; the
        // program's folder is where LogEntry would write it anyway.
        const QString folder = m_folder.isEmpty() ? common::ProgramFolder() : m_folder;
        m_path = folder + QLatin1Char('/') + LogFileName(date);
        m_pathDate = date;
    }
    return m_path;
}

QString Log::LogFilePath() {
    return pathFor(m_clock ? m_clock().date() : QDate::currentDate());
}

bool Log::isOpen() {
    try {
        openFile(LogFilePath());
        return true;
    } catch (const common::Error&) {
        return false;
    }
}

void Log::openFile(const QString& path) {
    if (m_fd >= 0 && path == m_openPath)
        return;
    closeFile();
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int err = errno;
        if (err == EMFILE || err == ENFILE)
            throw common::Error(common::ERR_PROGRAM, NO_HANDLE, SOURCE);
        throw common::Error(
            common::ERR_PROGRAM,
            QStringLiteral("Unable to open the file for appending. ") + systemText(err), SOURCE);
    }
    m_fd = fd;
    m_openPath = path;
}

void Log::closeFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_openPath.clear();
}

// One fstat per entry, after the write: it finds a file removed behind our
// back (an old inode without a name), which gets the line again in a new file
// so that no entry disappears unseen, and it gives the size for the cut-back.
int64_t Log::appendBytes(const QByteArray& bytes) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        appendWhole(bytes);
        struct stat st {};
        if (::fstat(m_fd, &st) != 0)
            return 0;
        if (st.st_nlink > 0 || attempt > 0)
            return st.st_size;
        const QString path = m_openPath;
        closeFile();
        openFile(path);
    }
    return 0;
}

// All of bytes or none: a write cut short (a full disk) is rolled back, so the
// next entry never continues a broken line. Should even the rollback fail, the
// next entry in this file first ends the broken line. After a failure the file
// is closed, so the next entry opens it anew (the folder may be back by then).
void Log::appendWhole(const QByteArray& bytes) {
    const QByteArray data = m_brokenPath == m_openPath ? "\r\n" + bytes : bytes;
    qsizetype written = 0;
    int err = 0;
    while (written < data.size() && err == 0) {
        const ssize_t n =
            ::write(m_fd, data.constData() + written, static_cast<size_t>(data.size() - written));
        if (n > 0)
            written += n;
        else if (n == 0)
            err = ENOSPC;
        else if (errno != EINTR)
            err = errno;
    }
    if (err == 0) {
        m_brokenPath.clear();
        return;
    }
    // Appending, the part written is the end of the file: its start is found
    // only now, so that the common case costs no look at the file before.
    struct stat st {};
    if (written > 0 && (::fstat(m_fd, &st) != 0 || st.st_size < written ||
                        ::ftruncate(m_fd, st.st_size - written) != 0))
        m_brokenPath = m_openPath;
    closeFile();
    throw common::Error(common::ERR_PROGRAM,
                        QStringLiteral("Unable to write to the file. ") + systemText(err), SOURCE);
}

int64_t Log::fileSize() const {
    struct stat st {};
    return m_fd >= 0 && ::fstat(m_fd, &st) == 0 ? st.st_size : 0;
}

QString Log::formatLine(const LocalTime& now, int severity, const common::Value& msg) {
    if (now.epochSecond != m_stampSecond) {
        m_stamp = QuoteText(now.second.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        m_stampSecond = now.epochSecond;
    }
    QString line = m_stamp + QStringLiteral(", ") + QString::number(m_counter) +
                   QStringLiteral(", ") + QString::number(severity);
    const auto addField = [&line](const common::Value& value) {
        line += QStringLiteral(", ");
        line += QuoteText(common::ToText(value));
    };
    if (msg.isArray()) {
        for (const common::Value& field : msg.array())
            addField(field);
    } else {
        addField(msg);
    }
    return line;
}

void Log::LogEntry(int severity, const common::Value& msg) {
    if (m_folder.isEmpty())
        setFolder(common::ProgramFolder());
    const int64_t number = ++m_counter;
    const LocalTime now = m_clock ? LocalTimeOf(m_clock()) : m_localClock.now();
    QByteArray bytes;
    if (m_lost > 0) {
        // Said once, by the first entry that reaches the file again, under a number of its
        // own; the entry takes the next one.
        bytes = lineBytes(now, static_cast<int>(Severity::Warning),
                          QStringLiteral("Log entries lost while the log could not be written: ") +
                              QString::number(m_lost));
        ++m_counter;
    }
    bytes += lineBytes(now, severity, msg);
    const QString path = pathFor(now.second.date());
    int64_t size = 0;
    try {
        openFile(path);
        size = appendBytes(bytes);
    } catch (const common::Error& e) {
        m_counter = number; // a notice that did not reach the file used no number
        ++m_lost;
        throw failure(e, path);
    }
    m_lost = 0;
    try {
        trim(path, size);
    } catch (const common::Error& e) {
        throw failure(e, path);
    }
}

QByteArray Log::lineBytes(const LocalTime& now, int severity, const common::Value& msg) {
    return common::ToCodePage(formatLine(now, severity, msg)) + "\r\n";
}

void Log::LogSysEntry() {
    LogEntry(0, QStringLiteral("User=") + common::CurrentUserName() +
                    QStringLiteral(", Computer=") + common::ComputerName() +
                    QStringLiteral(", Process=") + QString::number(m_pid));
}

void Log::LogTrim() {
    if (m_maxsize <= 0)
        return;
    openFile(LogFilePath());
    trim(m_openPath, fileSize());
}

// size: the file's length as the descriptor reports it, so that the common
// case costs no read.
void Log::trim(const QString& path, int64_t size) {
    if (m_maxsize <= 0 || size <= m_maxsize)
        return;
    QByteArray bytes = common::ReadFile(path);
    if (bytes.size() - 1 <= m_maxsize)
        return;
    // Single-byte code page: characters and bytes are the same count, so the
    // cut works on bytes. 64-bit arithmetic: any positive limit is valid.
    const double keep = static_cast<double>(m_maxsize) * 80.0 / 100.0;
    const qsizetype start =
        std::max<qsizetype>(1, static_cast<qsizetype>(std::nearbyint(bytes.size() - keep)));
    bytes.remove(0, start - 1);
    const qsizetype eol = bytes.indexOf("\r\n");
    if (eol >= 0)
        bytes.remove(0, eol + 2);
    rewrite(path, bytes);
}

// Makes bytes the whole content of the file in place: written from the start,
// then cut behind them. The appending descriptor stays open and goes on at the
// new end; no rename and no sync, since this runs every few hundred entries.
void Log::rewrite(const QString& path, const QByteArray& bytes) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        throw common::Error(common::ERR_PROGRAM,
                            QStringLiteral("Unable to cut back the file. ") + systemText(errno),
                            SOURCE);
    qsizetype done = 0;
    int err = 0;
    while (done < bytes.size() && err == 0) {
        const ssize_t n =
            ::pwrite(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done), done);
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EINTR)
            err = errno;
        else if (n == 0)
            err = ENOSPC;
    }
    if (err == 0 && ::ftruncate(fd, done) != 0)
        err = errno;
    ::close(fd);
    if (err != 0)
        throw common::Error(common::ERR_PROGRAM,
                            QStringLiteral("Unable to cut back the file. ") + systemText(err),
                            SOURCE);
}

void OpenProgramLog(const QString& folder, const QString& programTag) {
    common::MkDirRecurse(folder);
    auto owned = std::make_unique<Log>();
    Log& log = *owned;
    Diagnostics::instance().setLog(std::move(owned));
    log.setPrefix(QString());
    log.setPostfix(QLatin1Char('-') + programTag + QStringLiteral("-%PID%.log"));
    log.setFolder(folder);
    log.setMaxsize(PROGRAM_LOG_MAXSIZE);
    log.LogSysEntry();
}

void OpenLog(const QString& baseFolder) {
    OpenProgramLog(baseFolder +
                       (baseFolder.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) +
                       QStringLiteral("Logs"),
                   QLatin1String(WEB_SERVER_LOG_TAG));
}

} // namespace diagnostics
