#pragma once

#include "common/value.h"

#include <QDateTime>
#include <QString>

namespace startup {

// The program-wide values fixed at start-up (besides folders and settings). They
// live until the process ends.
struct StartupValues {
    QString CommandLine;          // the whole command line, as traced
    QString RunSecret;            // handed to the web application as "Secret"
    QString ServerVersion;        // "Quorvex/1.0.202"
    bool dataServerDebug = false; // "DS_DEBUG" was held at start
    QString InstanceName;
    QString ParentMutexName; // empty: no parent watch
    QString RunningMutexName;
    bool interactive = true; // false with "hidden"
    bool ShowDataServer = false;
    QString LanguageCode;
    QString LanguageFileOverride;
    QString LanguageFolderOverride;
    QString UserMode; // "DETECT" or "APPLICATION"
    QString ComputerName;
    QString UrlPrefix; // always empty: the application is served at "/"
    QDateTime StartTime;
    common::DictionaryPtr ApplicationDictionary;
    QString DataServerParentMutex; // owned by the data server launch
    QString DataServerRunningMutex;
    bool dataServerOk = false;
    bool ExcelInstalled = false;
    bool StartupComplete = false;
    bool DeleteInQueueOnExit = false;
    bool DeleteOutQueueOnExit = false;
    int InstanceMutexHandle = 0; // 0: none
};

} // namespace startup
