#pragma once

// The staged program folder (websvr, dbsvr and their files) and private copies of it, with
// the file helpers the tests around them share.

#include "tests/support/processes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace support {

// The staged program folder; the test main names it in QV_STAGE_DIR.
QString StageDir();

// A loopback port nobody listens on at the moment of asking.
int FreePort();

// Writes bytes to path, making its folder first; false when it cannot.
bool WriteFile(const QString& path, const QByteArray& bytes);
// The file's bytes; empty when it cannot be read.
QByteArray ReadFile(const QString& path);
// The permission bits of a file or folder (0755...); 0 when there is none.
unsigned FileMode(const QString& path);

// Writes an xdg-open into folder that notes each address it is given, one a line, in
// folder/opened, and opens nothing; false when it cannot. Put folder first on PATH.
bool WriteNotingBrowser(const QString& folder);
// The addresses that browser noted so far.
QStringList NotedAddresses(const QString& folder);

// The text of the daily log "*-<program>-<pid>.log" in folder (program WEBSRV or DBSRV);
// "" when there is none.
QString DailyLog(const QString& folder, const QString& program, qint64 pid);

// Copies the staged sample application (its dataserver.xml and sample.db) into folder.
bool CopySampleApplication(const QString& folder);

// A private copy of the staged program folder in a temporary folder, with its own TEMP
// folder and a settings file that names a free port; websvr runs from it as a parent
// program would run it. The processes it started are killed as it goes.
class ProgramFolder final {
public:
    ProgramFolder();

    // Copied, websvr included.
    bool isValid() const { return m_valid; }
    // The program folder, or a file in it.
    QString path(const QString& name = {}) const;
    // A file or folder beside the program folder, inside the temporary folder.
    QString beside(const QString& name) const { return m_dir.filePath(name); }
    // TEMP of the processes started here.
    QString temp() const { return m_dir.filePath(QStringLiteral("temp")); }
    // The folder websvr process pid makes for itself under TEMP.
    QString instanceFolder(qint64 pid) const;
    int port() const { return m_port; }

    // Writes <configFolder>/webserver.xml (by default the program's data/config) with the
    // port and elements after it.
    void writeSettings(const QString& elements = {}, const QString& configFolder = {}) const;
    // Starts websvr with arguments, TEMP set (and environment, entries as ChildProcess
    // takes them) and the temporary folder as current folder.
    ChildProcess& startWebsvr(const QStringList& arguments, const ChildSetup& setup = {},
                              const QStringList& environment = {});
    // The log of websvr process pid ("*-WEBSRV-<pid>.log" in logsFolder, by default the
    // program's data/Logs); "" when there is none.
    QString log(qint64 pid, const QString& logsFolder = {}) const;
    // A GET of path from the server on port(): the whole answer, empty when nobody listens.
    QByteArray get(const QString& path) const;

private:
    QTemporaryDir m_dir;
    int m_port = 0;
    bool m_valid = false;
    // Declared after m_dir: they end before their folder goes.
    std::vector<std::unique_ptr<ChildProcess>> m_processes;
};

} // namespace support
