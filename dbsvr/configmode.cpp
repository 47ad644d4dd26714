#include "dbsvr/configmode.h"

#include "common/display.h"
#include "common/error.h"
#include "dbsvr/commandline.h"
#include "dbsvr/config.h"
#include "dbsvr/database.h"
#include "dbsvr/dataserverlog.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace dbsvr {

namespace {
void print(FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fputc('\n', to);
}

QString usage() {
    return QStringLiteral(
        "Usage: dbsvr mode=config configfolder=<application folder> [database=<file>]\n"
        "  database=<file>  sets the SQLite database file of the application (a relative\n"
        "                   path is taken from the current folder; inside the application\n"
        "                   folder it is stored relative to it)\n"
        "  without database= the current setting is shown (or, on a desktop, the dialog)");
}

int setDatabase(const QString& folder, const QString& file) {
    if (file.trimmed().isEmpty()) {
        ReportFault(QStringLiteral("database= names no file."));
        return 2;
    }
    const QString absolute = QFileInfo(file).absoluteFilePath();
    const QString setting = DatabaseSettingFor(folder, absolute);
    try {
        SaveDatabaseSetting(folder, setting);
    } catch (const common::Error& e) {
        ReportFault(e.description());
        return 1;
    }
    print(stdout, QStringLiteral("Database of ") + Config::FilePath(folder) +
                      QStringLiteral(" set to ") + setting);
    const QString problem = DatabaseProblem(absolute);
    if (!problem.isEmpty())
        print(stdout, QStringLiteral("Warning: ") + problem);
    return 0;
}

int showSetting(const QString& folder) {
    print(stdout, QStringLiteral("Configuration file: ") + Config::FilePath(folder));
    try {
        const Config config = Config::Load(folder);
        print(stdout, QStringLiteral("Database: ") + config.databaseSetting() +
                          QStringLiteral(" (") + config.databasePath() + QLatin1Char(')'));
        const QString problem = DatabaseProblem(config.databasePath());
        print(stdout, problem.isEmpty() ? QStringLiteral("Status: the database opens.")
                                        : QStringLiteral("Status: ") + problem);
    } catch (const common::Error& e) {
        print(stdout, QStringLiteral("Status: ") + e.description());
    }
    print(stdout, QString());
    print(stdout, usage());
    return 0;
}
} // namespace

QString DatabaseProblem(const QString& path) {
    try {
        Database::Open(path);
        return {};
    } catch (const common::Error& e) {
        return e.description();
    }
}

int RunConfigMode(int& argc, char** argv, const CommandLine& commandLine) {
    const QString folder = commandLine.value(QStringLiteral("configfolder"));
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        ReportFault(folder.isEmpty() ? QStringLiteral("configfolder= is missing.")
                                     : QStringLiteral("no such folder: ") + folder);
        print(stderr, usage());
        return 2;
    }
    if (commandLine.has(QStringLiteral("database")))
        return setDatabase(folder, commandLine.value(QStringLiteral("database")));
    if (common::DisplayAvailable())
        return RunConfigDialog(argc, argv, folder,
                               commandLine.value(QStringLiteral("parentmutex")));
    return showSetting(folder);
}

} // namespace dbsvr
