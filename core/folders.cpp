#include "core/folders.h"

#include "common/errnotext.h"
#include "common/error.h"
#include "common/files.h"
#include "common/version.h"
#include "contract/contract.h"

#include <QFile>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

namespace {
QString join(const QString& folder, const QString& name) {
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString environment(const char* name) {
    return qEnvironmentVariable(name);
}

bool trustedOwner(uid_t uid) {
    return uid == ::geteuid() || uid == 0;
}

[[noreturn]] void refuse(const QString& folder, PrivateFolder kind, const QString& reason) {
    const QString what = kind == PrivateFolder::Queue ? QStringLiteral("The queue folder ")
                                                      : QStringLiteral("The temporary folder ");
    throw common::Error(common::ERR_PROGRAM,
                        what + folder + QStringLiteral(" is not used: ") + reason);
}
} // namespace

void CreateProgramFolders(const QString& programFolder) {
    static const char* const FIXED[] = {"data",     "data/config", "data/Logs",
                                        "language", "examples",    "excel",
                                        "res",      "wwwroot",     "wwwroot/temp"};
    for (const char* folder : FIXED)
        common::MkDirRecurse(join(programFolder, QString::fromLatin1(folder)));
}

void CheckPrivateFolder(const QString& folder, PrivateFolder kind) {
    const QByteArray native = QFile::encodeName(folder);
    struct stat st {};
    // A link counts as the folder it names only when nobody else could point it elsewhere.
    if (::lstat(native.constData(), &st) == 0 && S_ISLNK(st.st_mode) && !trustedOwner(st.st_uid))
        refuse(folder, kind,
               QStringLiteral("it is a link of user ") + QString::number(st.st_uid) + '.');
    if (::stat(native.constData(), &st) != 0)
        refuse(folder, kind, common::ErrnoText(errno));
    if (!trustedOwner(st.st_uid))
        refuse(folder, kind,
               QStringLiteral("it belongs to user ") + QString::number(st.st_uid) + '.');
    const bool stickyIsEnough = kind == PrivateFolder::Temporary;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) && !(stickyIsEnough && (st.st_mode & S_ISVTX)))
        refuse(folder, kind, QStringLiteral("other users may write to it."));
}

void MakePrivateFolder(const QString& folder, PrivateFolder kind) {
    common::MkDirRecurse(folder, PRIVATE_FOLDER_MODE);
    CheckPrivateFolder(folder, kind);
}

bool IsAbsolutePath(const QString& path) {
    return path.startsWith(QLatin1Char('/'));
}

QString ResolvePath(const QString& path, const QString& base) {
    return IsAbsolutePath(path) ? path : join(base, path);
}

QString WithoutTrailingSlash(const QString& path) {
    QString out = path;
    while (out.size() > 1 && out.endsWith(QLatin1Char('/')))
        out.chop(1);
    return out;
}

QString GetDefaultDataFolder(const QString& programFolder) {
    return join(programFolder, QStringLiteral("data"));
}

QString GetLogsFolder(const QString& base) {
    return join(base, QStringLiteral("Logs"));
}

QString GetTempFolder(const QString& programFolder) {
    QString temp = environment("TEMP");
    if (temp.isEmpty())
        temp = environment("TMP");
    if (temp.isEmpty())
        temp = environment("TMPDIR");
    if (temp.isEmpty())
        return join(programFolder, QStringLiteral("Temp"));
    return join(WithoutTrailingSlash(temp), common::ProductName());
}

QString GetQueueFolder(const QString& tempFolder, const QString& instanceName) {
    return join(join(tempFolder, instanceName), QStringLiteral("Queue"));
}

QString GetDefaultApplicationFolder(const QString& programFolder) {
    return join(programFolder, QStringLiteral("examples/microsoft access"));
}

QString DataFolderFor(const QString& option, const QString& programFolder) {
    return option.isEmpty() ? GetDefaultDataFolder(programFolder) : WithoutTrailingSlash(option);
}

QString ConfigFolderFor(const QString& option, const QString& dataFolder) {
    if (option.isEmpty())
        return join(dataFolder, QStringLiteral("config"));
    return WithoutTrailingSlash(ResolvePath(option, dataFolder));
}

QString SettingsFileFor(const QString& option, const QString& configFolder) {
    return ResolvePath(option.isEmpty() ? QStringLiteral("webserver.xml") : option, configFolder);
}

QString ContextFileFor(const QString& option, const QString& programFolder) {
    return option.isEmpty() ? join(programFolder, QStringLiteral("context.xml")) : option;
}

void DeriveTempFolders(FolderSet& folders) {
    folders.TempFolder = GetTempFolder(folders.ProgramFolder);
    folders.ExcelTempFolder = join(folders.TempFolder, QStringLiteral("excel"));
    folders.WebTempFolder = join(folders.WebRootFolder, QStringLiteral("temp"));
}

void DeriveInstanceFiles(FolderSet& folders, const QString& instanceName) {
    folders.InstanceFolder = join(folders.TempFolder, instanceName);
    folders.QueueFolder = GetQueueFolder(folders.TempFolder, instanceName);
    const QString prefix = join(folders.TempFolder, instanceName) + QLatin1Char('.');
    folders.AliveFile = prefix + QStringLiteral("dataserver.alive.xml");
    folders.MessageFile = prefix + QStringLiteral("dataserver.message.xml");
    folders.ParameterFile = prefix + QStringLiteral("dataserver.parameters.txt");
}

QString DefaultInQueueFolder(const FolderSet& folders) {
    return join(folders.QueueFolder, QLatin1String(dataserver::QUEUE_RESULTS));
}

QString DefaultOutQueueFolder(const FolderSet& folders) {
    return join(folders.QueueFolder, QLatin1String(dataserver::QUEUE_REQUESTS));
}

} // namespace core
