#include "core/applicationfolder.h"

#include "common/codepage.h"
#include "common/files.h"
#include "common/objectfactory.h"
#include "common/text.h"
#include "common/userinterface.h"
#include "common/version.h"
#include "diagnostics/trace.h"
#include "i18n/language.h"

#include <QFileInfo>

namespace core {

namespace {

QString element(const QString& path, const char* name) {
    return path + QLatin1Char('/') + QLatin1String(name);
}

bool folderExists(const QString& path) {
    return QFileInfo(path).isDir();
}

// Completes the folder; existing elements are left as they are.
void completeFolder(const QString& path) {
    if (!folderExists(element(path, "pages")))
        common::MkDirRecurse(element(path, "pages"));
    if (!folderExists(element(path, "forms")))
        common::MkDirRecurse(element(path, "forms"));
    if (!common::FileExists(element(path, "pages/home.htm")))
        WriteDefaultHomePage(path);
}

} // namespace

bool CheckApplicationFolder(const QString& path) {
    // Raises 429 when the file services are missing; the object itself is not needed.
    common::CreateObjectByName(QStringLiteral("Scripting.FileSystemObject"));

    if (path.isEmpty() || !folderExists(path)) {
        diagnostics::NotifyUser(i18n::Translate(QStringLiteral("msgInvalidAppFolder")),
                                common::MB_WARNING);
        return false;
    }
    if (folderExists(element(path, "pages")) &&
        common::FileExists(element(path, "pages/home.htm")) && folderExists(element(path, "forms")))
        return true;

    QString question = i18n::Translate(QStringLiteral("msgMissingAppElements"));
    question.replace(QStringLiteral("{AppPath}"), path);
    if (diagnostics::NotifyUser(question, common::MB_YES_NO_CANCEL) != common::ANSWER_YES)
        return false;
    completeFolder(path);
    return true;
}

void WriteDefaultHomePage(const QString& path) {
    const QString file = element(path, "pages/home.htm");
    const QString productName = common::XmlEscape(common::ProductName());
    QString content = QStringLiteral("<H1>") + productName + QStringLiteral("</H1>\r\n") +
                      i18n::Translate(QStringLiteral("HomePageText"));
    content.replace(QStringLiteral("{ProductName}"), productName);
    content.replace(QStringLiteral("{HomePageFile}"), common::XmlEscape(file));
    common::SaveFile(file, common::ToCodePage(content));
}

} // namespace core
