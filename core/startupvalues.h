#pragma once

#include "common/value.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace core {

// The program-wide values the start-up sequence fixes (besides folders and
// settings); nothing changes them afterwards. Whether the run is interactive is
// the diagnostics' (it decides whether anybody is asked), the server version
// the HTTP configuration's.
struct StartupValues {
    QString CommandLine;          // the whole command line, as traced
    QString RunSecret;            // handed to the web application as "Secret"
    bool dataServerDebug = false; // "DS_DEBUG" was held at start
    QString InstanceName;
    QString ParentMutexName; // empty: no parent watch
    QString RunningMutexName;
    bool ShowDataServer = false;
    int WorkerThreads = 0; // "workers=": the threads that make dynamic pages; 0 for the default
    QString LanguageCode;
    QString LanguageFileOverride;
    QString LanguageFolderOverride;
    QString UserMode; // "DETECT" or "APPLICATION"
    QString ComputerName;
    QString UrlPrefix; // always empty: the application is served at "/"
    QDateTime StartTime;
    common::DictionaryPtr ApplicationDictionary;
    bool ExcelInstalled = false;
    // The queue folders named on the command line (inqueue=, outqueue=): never removed.
    QStringList NamedQueueFolders;
};

} // namespace core
