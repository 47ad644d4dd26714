#pragma once

#include "common/value.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

namespace bridge {

// The status values the context's "Server" entry shows, filled by the core for
// each request.
struct ServerStatus {
    QString Version; // "1.0.202"
    QDateTime StartTime;
    int Port = 0;
    int TotalRequests = 0;
    QString InstanceName;
    QString LanguageCode;
    bool DataServerRunning = false; // set by the dynamic pages, which check it anyway
    qint64 DataServerProcessId = 0;
    QDateTime DataServerLastAlive; // invalid: never seen
    int DataServerRestarts = 0;
    QStringList TraceEntries; // the most recent, oldest first
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
    // The core's status at the moment of a request; unset gives an empty "Server".
    std::function<ServerStatus()> Server;
};

} // namespace bridge
