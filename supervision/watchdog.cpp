#include "supervision/watchdog.h"

#include "common/error.h"
#include "common/files.h"
#include "common/text.h"
#include "common/userinterface.h"
#include "common/xml.h"
#include "contract/contract.h"
#include "contract/namedmutex.h"
#include "diagnostics/trace.h"
#include "i18n/language.h"
#include "supervision/connectionsettings.h"
#include "supervision/launch.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <unistd.h>

namespace dataserver {

namespace {

// The zero date-time: an alive file never seen is as old as can be.
QDateTime zeroDateTime() {
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0));
}

} // namespace

bool IsParentAlive(const QString& parentMutexName) {
    return parentMutexName.isEmpty() || MutexExists(parentMutexName);
}

Watchdog::Watchdog(const SupervisorConfig& config, Launch& launch)
    : m_config(config), m_launch(launch), m_lastAliveTime(zeroDateTime()) {}

bool Watchdog::CheckDataServer(bool restartAllowed) {
    if (m_launch.dataServerDebug())
        return true;
    if (!m_launch.IsDataServerRunning() && !m_launch.DataServerRunningMutex().isEmpty()) {
        diagnostics::WriteTrace(
            QStringLiteral("The Data Server has stopped running for some reason. Let's start it."));
        if (!m_launch.StartDataServer()) {
            diagnostics::WriteTrace(QStringLiteral("Failed to start the Data Server"));
            return false;
        }
    } else if (!m_config.AliveFile.isEmpty() && !checkAlive(restartAllowed)) {
        return false;
    }
    return checkMessage();
}

bool Watchdog::checkAlive(bool restartAllowed) {
    if (common::FileExists(m_config.AliveFile) && common::IsOwnFile(m_config.AliveFile))
        m_lastAliveTime = QFileInfo(m_config.AliveFile).lastModified();
    const double age = double(m_lastAliveTime.msecsTo(QDateTime::currentDateTime())) / 1000.0;
    if (age <= HANG_SECONDS)
        return true;
    diagnostics::WriteTrace(QStringLiteral("Data Server may hang. Last alive signal was ") +
                            common::ToText(common::Value(m_lastAliveTime)) + QLatin1Char('.'));
    if (restartAllowed && !m_launch.RestartDataServer()) {
        diagnostics::WriteTrace(QStringLiteral("Restart of Data Server failed"));
        return false;
    }
    return true;
}

bool Watchdog::checkMessage() {
    const QString& path = m_config.MessageFile;
    if (path.isEmpty() || !common::FileExists(path))
        return true;
    if (!common::IsOwnFile(path)) {
        // Another local user's file is never obeyed.
        const bool removed = ::unlink(QFile::encodeName(path).constData()) == 0;
        diagnostics::WriteTrace(
            QStringLiteral("Data Server message file of another user ignored") +
            (removed ? QStringLiteral(" and removed: ") : QStringLiteral(": ")) + path);
        return true;
    }
    pugi::xml_document doc;
    if (!common::LoadXmlFile(doc, path)) {
        // Left in place: the next tick tries again.
        diagnostics::WriteTrace(QStringLiteral("Unable to load Data Server message file: ") + path);
        return false;
    }
    // Consumed before it is acted on: one file, one reaction.
    if (::unlink(QFile::encodeName(path).constData()) != 0) {
        const int code = errno;
        diagnostics::WriteTrace(QStringLiteral("Error deleting Data Server message file: ") + path +
                                QStringLiteral(". Error ") + QString::number(code) +
                                QStringLiteral(". ") + SystemErrorText(code));
        return false;
    }
    return actOn(common::NodeText(doc, QStringLiteral("/XML/Type")),
                 common::NodeText(doc, QStringLiteral("/XML/Code")),
                 common::NodeText(doc, QStringLiteral("/XML/Message")));
}

bool Watchdog::actOn(const QString& type, const QString& code, const QString& message) {
    if (type == QLatin1String(MESSAGE_CRITICAL)) {
        diagnostics::WriteTrace(
            QStringLiteral("A critical error was reported from the Data Server. Error ") + code +
            QStringLiteral(". ") + message);
        return false;
    }
    if (type == QLatin1String(MESSAGE_RESTART)) {
        diagnostics::WriteTrace(QStringLiteral("The Data Server has requested a restart. Code: ") +
                                code + QStringLiteral(" Message: ") + message);
        if (m_launch.RestartDataServer())
            return true;
        diagnostics::WriteTrace(QStringLiteral("The restart of the Data Server failed"));
        return false;
    }
    if (type == QLatin1String(MESSAGE_MESSAGE) && code == QLatin1String(CODE_UNABLE_TO_CONNECT_DB))
        return connectionFailed();
    return true; // "Done", other messages and unknown types need nothing
}

bool Watchdog::connectionFailed() {
    diagnostics::WriteTrace(
        QStringLiteral("The database server was unable to connect to the database"));
    // Nobody could answer the settings in a hidden run.
    if (!diagnostics::Diagnostics::instance().interactive())
        return true;
    diagnostics::NotifyUser(i18n::Translate(QStringLiteral("msgConnectDBError")),
                            common::MB_WARNING);
    // Ended while the warning was up: no settings program for a run that is going.
    if (m_config.stopRequested && m_config.stopRequested())
        return true;
    try {
        ShowDataConnectionSettings(m_config, m_launch.dataServerDebug());
    } catch (const common::Error& e) {
        // The web server goes on serving; a settings program that cannot start is no reason
        // to end it.
        diagnostics::WriteTrace(
            QStringLiteral("Unable to open the data connection settings. Error ") +
            QString::number(e.number()) + QStringLiteral(". ") + e.description());
    }
    return false;
}

} // namespace dataserver
