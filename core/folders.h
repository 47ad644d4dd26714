#pragma once

#include <QString>
#include <sys/types.h>

namespace core {

// The folders and files of one run, derived once at start-up and held for the
// whole run. Every value is absolute (or as the command line gave it) and has no
// trailing "/".
struct FolderSet {
    QString ProgramFolder;
    QString DataFolder;
    QString LogsFolder;
    QString ConfigFolder;
    QString SettingsFile;
    QString ContextFile;
    QString WebRootFolder;
    QString WebTempFolder;
    QString TempFolder;
    QString ExcelTempFolder;
    QString InstanceFolder;
    QString QueueFolder;
    QString InQueueFolder;
    QString OutQueueFolder;
    QString AliveFile;
    QString MessageFile;
    QString ParameterFile;
};

// Creates the fixed folders under the program folder (data, data/config, data/Logs,
// language, examples, excel, res, wwwroot, wwwroot/temp), whatever the command line
// says about the data folder. Raises the MkDirRecurse error.
void CreateProgramFolders(const QString& programFolder);

// What lies under TempFolder, and in the queue folders, is this user's alone: folders made
// there are 0700.
inline constexpr mode_t PRIVATE_FOLDER_MODE = 0700;

// What a private folder is to the run; its refusal names it.
enum class PrivateFolder {
    Temporary, // $TEMP/Quorvex and the instance folder
    Queue,     // a queue folder named on the command line (inqueue=, outqueue=)
};

// Refuses (common::Error 1000) a folder that another local user could change under us: one
// that belongs to another user than us or root (or is a link of one), or that others may
// write to. They could otherwise plant the files the data server and the web server read. A
// temporary folder may still let others write with the sticky bit, which keeps them from
// removing or replacing what we put there; a queue folder may not: the data server would run
// the requests they plant, and a data version they put there first could never be replaced.
void CheckPrivateFolder(const QString& folder, PrivateFolder kind);
// Makes folder (PRIVATE_FOLDER_MODE, with every missing parent) unless it exists, then
// checks it as above. Raises the MkDirRecurse error or the refusal.
void MakePrivateFolder(const QString& folder, PrivateFolder kind);

// A path is absolute when it begins with "/"; anything else is taken relative to base.
bool IsAbsolutePath(const QString& path);
QString ResolvePath(const QString& path, const QString& base);
// A folder as the command line gave it, without trailing "/" (the root stays "/").
QString WithoutTrailingSlash(const QString& path);

QString GetDefaultDataFolder(const QString& programFolder);
QString GetLogsFolder(const QString& base);
// TEMP, then TMP, then TMPDIR, each with the product name appended; all empty gives
// the program folder's "Temp".
QString GetTempFolder(const QString& programFolder);
QString GetQueueFolder(const QString& tempFolder, const QString& instanceName);
QString GetDefaultApplicationFolder(const QString& programFolder);

// The values that follow from each option, empty option meaning the default.
QString DataFolderFor(const QString& option, const QString& programFolder);
QString ConfigFolderFor(const QString& option, const QString& dataFolder);
QString SettingsFileFor(const QString& option, const QString& configFolder);
QString ContextFileFor(const QString& option, const QString& programFolder);

// The temporary folders (TempFolder, ExcelTempFolder, WebTempFolder from WebRootFolder)
// and the per-instance names (InstanceFolder, QueueFolder, AliveFile, MessageFile,
// ParameterFile). Creates nothing.
void DeriveTempFolders(FolderSet& folders);
void DeriveInstanceFiles(FolderSet& folders, const QString& instanceName);
QString DefaultInQueueFolder(const FolderSet& folders);
QString DefaultOutQueueFolder(const FolderSet& folders);

} // namespace core
