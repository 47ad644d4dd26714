#include "programfolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <sys/stat.h>

namespace support {

namespace {

bool copyTree(const QString& from, const QString& to) {
    bool ok = QDir().mkpath(to);
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString target = to + QLatin1Char('/') + info.fileName();
        if (!info.isDir())
            ok = QFile::copy(info.filePath(), target) && ok;
        // What runs from the build tree left behind is not part of the program.
        else if (info.fileName() != QLatin1String("data") &&
                 info.fileName() != QLatin1String("Temp"))
            ok = copyTree(info.filePath(), target) && ok;
    }
    return ok;
}

} // namespace

QString StageDir() {
    return qEnvironmentVariable("QV_STAGE_DIR");
}

int FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

unsigned FileMode(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

bool WriteNotingBrowser(const QString& folder) {
    const QString browser = folder + QStringLiteral("/xdg-open");
    return WriteFile(browser,
                     "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$(dirname \"$0\")/opened\"\n") &&
           QFile::setPermissions(browser, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QStringList NotedAddresses(const QString& folder) {
    return QString::fromUtf8(ReadFile(folder + QStringLiteral("/opened")))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool CopySampleApplication(const QString& folder) {
    const QString sample = StageDir() + QStringLiteral("/examples/microsoft access/");
    bool ok = QDir().mkpath(folder);
    for (const char* name : {"dataserver.xml", "sample.db"})
        ok = QFile::copy(sample + QLatin1String(name),
                         folder + QLatin1Char('/') + QLatin1String(name)) &&
             ok;
    return ok;
}

ProgramFolder::ProgramFolder() {
    m_valid = m_dir.isValid() && copyTree(StageDir(), path()) &&
              QFile::exists(path(QStringLiteral("websvr"))) && QDir().mkpath(temp());
    m_port = FreePort();
    writeSettings();
}

QString ProgramFolder::path(const QString& name) const {
    const QString program = m_dir.filePath(QStringLiteral("program"));
    return name.isEmpty() ? program : program + QLatin1Char('/') + name;
}

QString ProgramFolder::instanceFolder(qint64 pid) const {
    return temp() + QStringLiteral("/Quorvex/") + QString::number(pid);
}

void ProgramFolder::writeSettings(const QString& elements, const QString& configFolder) const {
    const QString folder =
        configFolder.isEmpty() ? path(QStringLiteral("data/config")) : configFolder;
    WriteFile(folder + QStringLiteral("/webserver.xml"),
              QStringLiteral("<Settings><TCPPort>%1</TCPPort>%2</Settings>")
                  .arg(QString::number(m_port), elements)
                  .toUtf8());
}

ChildProcess& ProgramFolder::startWebsvr(const QStringList& arguments, const ChildSetup& setup,
                                         const QStringList& environment) {
    m_processes.push_back(std::make_unique<ChildProcess>(
        path(QStringLiteral("websvr")), arguments,
        QStringList{QStringLiteral("TEMP=") + temp()} + environment, m_dir.path(), setup));
    return *m_processes.back();
}

QString DailyLog(const QString& folder, const QString& program, qint64 pid) {
    const QDir logs(folder);
    const QStringList files =
        logs.entryList({QStringLiteral("*-%1-%2.log").arg(program).arg(pid)}, QDir::Files);
    return files.isEmpty() ? QString()
                           : QString::fromLatin1(ReadFile(logs.filePath(files.first())));
}

QString ProgramFolder::log(qint64 pid, const QString& logsFolder) const {
    return DailyLog(logsFolder.isEmpty() ? path(QStringLiteral("data/Logs")) : logsFolder,
                    QStringLiteral("WEBSRV"), pid);
}

QByteArray ProgramFolder::get(const QString& path) const {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_port));
    if (!socket.waitForConnected(WAIT_MS))
        return {};
    socket.write("GET " + path.toLatin1() + " HTTP/1.0\r\n\r\n");
    QByteArray answer;
    while (socket.waitForReadyRead(WAIT_MS))
        answer += socket.readAll();
    return answer + socket.readAll();
}

} // namespace support
