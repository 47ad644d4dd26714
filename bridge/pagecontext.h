#pragma once

#include "common/value.h"

#include <QDateTime>
#include <QString>
#include <cstdint>

namespace bridge {

// The status values the context's "Server" entry shows, filled by the core for
// each request.
struct ServerStatus {
    QString Version; // "Quorvex/1.0.202"
    QDateTime StartTime;
    int Port = 0;
    int TotalRequests = 0;
    QString InstanceName;
    QString LanguageCode;
    bool DataServerRunning = false;
    qint64 DataServerProcessId = 0;
    QDateTime DataServerLastAlive;
    int DataServerRestarts = 0;
    int64_t TraceEntries = 0;
};

// Every value a dynamic page's context and request object need from the web
// server, filled by the core whenever folders or settings change.
struct PageContext {
    QString ProgramFolder; // "PhysicalServerRoot"
    QString WebRootFolder; // "PhysicalDocumentRoot", with UrlPrefix
    QString UrlPrefix;     // always "": the application is served at "/"
    // The program-wide "Application" entry, shared by every request's context.
    common::DictionaryPtr ApplicationDictionary;
    QString ApplicationPath; // "ApplicationFolder", "PATH_TRANSLATED"
    bool ExcelInstalled = false;
    bool DebugMode = false;
    QString UserMode;  // "DefaultUserMode"
    QString RunSecret; // "Secret"
    QString TempFolder;
    int32_t SessionTimeout = 20;
    QString InQueueFolder;
    QString OutQueueFolder;
    ServerStatus Server;
};

} // namespace bridge
