#pragma once

#include "diagnostics/severity.h"

#include <QString>
#include <QStringList>

namespace common {
class Error;
}

// The data server's own daily log, kept by the same library and rules as the web server's.

namespace dbsvr {

// Where the log lies: the folder that QV_LOGS_FOLDER names (websvr names its own logs
// folder for the data server it starts), else data/Logs in the program folder, where a
// websvr with the default data folder logs.
QString LogsFolder();

// Makes the program's log the daily file "yyyyMMdd-DBSRV-<pid>.log" in LogsFolder() and
// writes its first line (user, computer and process), then the command line. Never raises:
// a log that cannot be opened is said on standard error, and the data server runs without.
void OpenDataServerLog(const QStringList& arguments);

// A fault the data server reports and goes on after (or ends with): an entry of its log, and a
// line "dbsvr: text" on standard error, where such faults have always been told.
void ReportFault(const QString& text,
                 diagnostics::Severity severity = diagnostics::Severity::Warning);
// The same for an error: "Error <number>. <description>".
void ReportFault(const common::Error& error,
                 diagnostics::Severity severity = diagnostics::Severity::Warning);

} // namespace dbsvr
