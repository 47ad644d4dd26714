#pragma once

// Shared by the supervision tests: the staged program folder, polling with a deadline and
// what /proc says about a process.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QThread>
#include <csignal>
#include <ostream>
#include <sys/types.h>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace supervisiontest {

// The staged program folder (websvr, dbsvr and their files).
inline QString stageDir() {
    const QString stage = qEnvironmentVariable("QV_STAGE_DIR");
    return stage.isEmpty() ? QCoreApplication::applicationDirPath() + "/../quorvex" : stage;
}

// Pumps events until condition holds or timeoutMs pass; returns the condition.
template <typename Condition> bool eventually(Condition condition, int timeoutMs = 10000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition() && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    return condition();
}

// The state letter of /proc/<pid>/stat ('R', 'S', 'T', 'Z'...); 0 when there is no such
// process (ended and reaped).
inline char processState(qint64 pid) {
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close < 0 || close + 2 >= text.size() ? 0 : text.at(close + 2);
}

// Running (a zombie is not: it has ended, only its parent has not reaped it yet).
inline bool processRuns(qint64 pid) {
    const char state = processState(pid);
    return state != 0 && state != 'Z' && state != 'X';
}

// The argument vector a process was started with.
inline QStringList processArguments(qint64 pid) {
    QFile file(QString("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList arguments = QString::fromLocal8Bit(file.readAll()).split(QChar(0));
    if (!arguments.isEmpty() && arguments.last().isEmpty())
        arguments.removeLast();
    return arguments;
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A stand-in for dbsvr: a script that takes no token, optionally writes a message file
// first, then just sleeps (and ends by itself in the end, should a test leave it behind).
inline void writeStandIn(const QString& path, bool writesMessage) {
    QByteArray script = "#!/bin/sh\n";
    if (writesMessage)
        script += "file=${1#parameterfile=}\n"
                  "msg=$(sed -n 's/^messagefile=\"\\(.*\\)\"\\r*$/\\1/p' \"$file\")\n"
                  "printf '<XML><Type>Critical</Type><Code>1</Code></XML>' > \"$msg\"\n";
    script += "exec sleep 90\n";
    writeFile(path, script);
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
}

} // namespace supervisiontest
