#pragma once

#include "common/value.h"
#include "diagnostics/localclock.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>

namespace diagnostics {

// A daily log file of dated, comma-separated lines, kept below a size limit by
// cutting old lines from its front. The file name is prefix + yyyyMMdd +
// postfix, with "%PID%" in prefix and postfix standing for the process id.
//
// The file stays open between entries (append mode, one unbuffered write per
// line, so every entry is in the file when LogEntry returns) and is reopened
// when its name changes at midnight, after a cut-back, or when somebody removed
// it. Lines are Windows-1252.
class Log final {
public:
    using Clock = std::function<QDateTime()>;

    Log();
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // Folder of the log files; when still empty at the first LogEntry it becomes
    // the program's folder for good.
    const QString& folder() const { return m_folder; }
    void setFolder(const QString& folder);
    const QString& prefix() const { return m_prefix; }
    void setPrefix(const QString& prefix);
    const QString& postfix() const { return m_postfix; }
    void setPostfix(const QString& postfix);
    // Size limit of one file in bytes; 0 or less means no limit.
    int32_t maxsize() const { return m_maxsize; }
    void setMaxsize(int32_t maxsize) { m_maxsize = maxsize; }

    // Whether the current file can be opened for appending (it is created when
    // missing). Never raises.
    bool isOpen();

    // Appends one line: time stamp, counter, severity, then msg as one quoted
    // field, or each element as one when msg is an array. Raises common::Error
    // "Error in <path>. <reason>" with the reason's number; the counter keeps
    // its increment even then. A line is written whole or not at all; lines
    // that could not be written are counted, and the first line written again
    // comes after one that says how many were lost.
    void LogEntry(int severity, const common::Value& msg);
    // The line naming user, computer and process.
    void LogSysEntry();
    // Cuts the file to the last whole lines within 80 % of maxsize once it
    // holds maxsize + 2 bytes or more.
    void LogTrim();

    int64_t processId() const { return m_pid; }
    int64_t counter() const { return m_counter; }
    // Entries that could not be written since the last one that could.
    int64_t lost() const { return m_lost; }
    // Full path of the file written at the clock's present time.
    QString LogFilePath();

    // Local time source; tests inject one to cross midnight without waiting.
    void setClock(Clock clock) { m_clock = std::move(clock); }

private:
    QString LogFileName(const QDate& date) const;
    QString pathFor(const QDate& date);
    QString formatLine(const LocalTime& now, int severity, const common::Value& msg);
    QByteArray lineBytes(const LocalTime& now, int severity, const common::Value& msg);
    void openFile(const QString& path);
    void closeFile();
    int64_t appendBytes(const QByteArray& bytes);
    void appendWhole(const QByteArray& bytes);
    void trim(const QString& path, int64_t size);
    void rewrite(const QString& path, const QByteArray& bytes);
    int64_t fileSize() const;

    QString m_folder;
    QString m_prefix;
    QString m_postfix;
    int32_t m_maxsize = 0;
    int64_t m_pid = 0;
    int64_t m_counter = 0;
    int64_t m_lost = 0;
    Clock m_clock;
    LocalClock m_localClock; // when no clock is set

    int m_fd = -1;
    QString m_openPath;        // the file m_fd refers to
    QString m_brokenPath;      // a file that ends in a cut-off line; "" when none
    QDate m_pathDate;          // m_path is the file name of this date...
    QString m_path;            // ...as long as folder, prefix and postfix stay
    qint64 m_stampSecond = -1; // the second m_stamp shows: most entries share one
    QString m_stamp;
};

// The programs' names in their log files: yyyyMMdd-<tag>-<pid>.log.
inline constexpr char WEB_SERVER_LOG_TAG[] = "WEBSRV";
inline constexpr char DATA_SERVER_LOG_TAG[] = "DBSRV";
// The size a program's log is kept below.
inline constexpr int32_t PROGRAM_LOG_MAXSIZE = 100000;

// Creates folder (with its missing parents) and makes the program's log the daily
// file "yyyyMMdd-<programTag>-<pid>.log" in it, PROGRAM_LOG_MAXSIZE bytes at
// most; then writes the user, computer and process line. Raises common::Error
// when the folder cannot be made (no log is set then) or that line cannot be
// written (the log is set all the same, and counts the line as lost).
void OpenProgramLog(const QString& folder, const QString& programTag);

// The web server's log: OpenProgramLog in baseFolder/Logs with WEB_SERVER_LOG_TAG.
void OpenLog(const QString& baseFolder);

} // namespace diagnostics
