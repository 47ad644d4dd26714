#include "core/checks.h"

#include "common/error.h"
#include "common/objectfactory.h"
#include "diagnostics/trace.h"

namespace core {

namespace {

struct ComponentRow {
    const char* className;
    const char* messageTemplate;
};

const char* const SCRIPTING_MESSAGE_START =
    "Your system is missing the Microsoft Scripting Engine component %1. The Scripting Engine "
    "can be downloaded and installed from ";
const char* const SCRIPTING_MESSAGE_END =
    ". Please install the Scripting Engine and run this program again.";
const char* const REINSTALL_MESSAGE = "Your system is missing the %1 object. Reinstalling the "
                                      "application might solve this problem.";

QString scriptingMessage() {
    return QString::fromLatin1(SCRIPTING_MESSAGE_START) +
           QString::fromLatin1(SCRIPTING_DOWNLOAD_LOCATION) +
           QString::fromLatin1(SCRIPTING_MESSAGE_END);
}

struct Attempt {
    int number = 0;
    QString description;
};

// Creates and at once releases one object; the outcome is all that is kept.
Attempt tryCreate(const QString& className) {
    try {
        common::CreateObjectByName(className);
        return {};
    } catch (const common::Error& e) {
        return {e.number(), e.description()};
    }
}

const int EXCEL_NEWEST = 15;
const int EXCEL_OLDEST = 9;

} // namespace

void CheckComponents() {
    const QString reinstall = QString::fromLatin1(REINSTALL_MESSAGE);
    const struct {
        QString className;
        QString messageTemplate;
    } rows[] = {
        {QStringLiteral("VBScript.RegExp"), scriptingMessage()},
        {QStringLiteral("Scripting.FileSystemObject"), scriptingMessage()},
        {QStringLiteral("Halvik.Queue"), reinstall},
        {QStringLiteral("Halvik.Dictionary"), reinstall},
    };
    for (const auto& row : rows) {
        diagnostics::WriteTrace(QStringLiteral("Check component ") + row.className);
        const Attempt attempt = tryCreate(row.className);
        if (attempt.number == common::ERR_CANNOT_CREATE) {
            QString message = row.messageTemplate;
            throw common::Error(common::ERR_CANNOT_CREATE,
                                message.replace(QStringLiteral("%1"), row.className));
        }
        if (attempt.number != 0)
            throw common::Error(attempt.number,
                                QStringLiteral("Error while checking prerequisit component ") +
                                    row.className + QStringLiteral(". ") + attempt.description);
    }
}

bool CheckExcel(QString& reason, bool& ok) {
    reason.clear();
    ok = true;
    const Attempt any = tryCreate(QStringLiteral("Excel.Application"));
    if (any.number != 0) {
        reason = any.number == common::ERR_CANNOT_CREATE
                     ? QStringLiteral("Excel is not installed.")
                     : QStringLiteral("Error ") + QString::number(any.number) +
                           QStringLiteral(". ") + any.description;
        ok = false;
        return ok;
    }
    int version = EXCEL_NEWEST;
    Attempt attempt = tryCreate(QStringLiteral("Excel.Application.%1").arg(version));
    while (attempt.number == common::ERR_CANNOT_CREATE && version - 1 >= EXCEL_OLDEST) {
        --version;
        attempt = tryCreate(QStringLiteral("Excel.Application.%1").arg(version));
    }
    if (attempt.number == common::ERR_CANNOT_CREATE) {
        reason = QStringLiteral("You need Microsoft Excel 2000/XP/2003 or later. The version on "
                                "this computer is too old to be used with Quorvex.");
        ok = false;
    } else if (attempt.number != 0) {
        reason = QStringLiteral("Error detecting Excel version (") + QString::number(version) +
                 QStringLiteral("). ") + QString::number(attempt.number) + QStringLiteral(". ") +
                 attempt.description;
        ok = false;
    }
    return ok;
}

} // namespace core
