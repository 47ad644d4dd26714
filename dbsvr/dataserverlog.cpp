#include "dbsvr/dataserverlog.h"

#include "common/error.h"
#include "common/files.h"
#include "contract/contract.h"
#include "diagnostics/log.h"
#include "diagnostics/trace.h"

#include <cstdio>

namespace dbsvr {

namespace {
// Standard error is unbuffered: the line is out when this returns.
void tellStandardError(const QString& text) {
    const QByteArray line = "dbsvr: " + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}
} // namespace

QString LogsFolder() {
    const QString named = qEnvironmentVariable(dataserver::LOGS_FOLDER_VARIABLE);
    return named.isEmpty() ? common::ProgramFolder() + QStringLiteral("/data/Logs") : named;
}

void OpenDataServerLog(const QStringList& arguments) {
    try {
        diagnostics::OpenProgramLog(LogsFolder(), QLatin1String(diagnostics::DATA_SERVER_LOG_TAG));
    } catch (const common::Error& e) {
        tellStandardError(QStringLiteral("the log cannot be written: ") + e.description());
    }
    diagnostics::WriteTrace(QStringLiteral("Command line: ") + arguments.join(QLatin1Char(' ')));
}

void ReportFault(const QString& text, diagnostics::Severity severity) {
    diagnostics::WriteTrace(text, severity);
    tellStandardError(text);
}

void ReportFault(const common::Error& error, diagnostics::Severity severity) {
    ReportFault(QString::fromUtf8(error.what()), severity);
}

} // namespace dbsvr
