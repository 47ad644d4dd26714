#include "core/settingsform.h"

#include "common/error.h"
#include "common/text.h"
#include "common/userinterface.h"
#include "common/usersettings.h"
#include "common/version.h"
#include "core/applicationfolder.h"
#include "core/coreface.h"
#include "core/folders.h"
#include "diagnostics/trace.h"
#include "i18n/language.h"

namespace core {

namespace {
const QString BROWSE_SECTION = QStringLiteral("Settings");
const QString BROWSE_KEY = QStringLiteral("Application Folder");
} // namespace

SettingsFormValues SettingsForm::load() const {
    const Settings& settings = m_core.settings();
    return {QString::number(settings.TCPPort), settings.ApplicationPath, settings.DebugMode,
            settings.TrustedProxies};
}

bool SettingsForm::confirm(const SettingsFormValues& values) {
    if (!CheckApplicationFolder(values.applicationFolder))
        return false;
    Settings settings = m_core.settings();
    settings.TCPPort = common::ToLong(values.portText);
    settings.DebugMode = values.debugMode;
    settings.ApplicationPath = values.applicationFolder;
    settings.TrustedProxies = values.trustedProxies;
    try {
        SaveSettings(m_core.folders().SettingsFile, settings, m_core.folders().ProgramFolder);
    } catch (const common::Error& e) {
        // Unsaved values are not taken: the user may correct the cause or cancel.
        diagnostics::NotifyUser(e.description(), common::MB_ERROR);
        return false;
    }
    m_core.applySettings(settings);
    return true;
}

void SettingsForm::close(const QString& portText) {
    Settings settings = m_core.settings();
    settings.TCPPort = common::ToLong(portText);
    m_core.applySettings(settings);
}

int SettingsForm::scan() {
    const int port = m_core.ScanForFreePort(SCAN_FIRST_PORT, SCAN_LAST_PORT);
    if (port > 0)
        diagnostics::NotifyUser(i18n::Translate(QStringLiteral("msgPortOk"))
                                    .replace(QStringLiteral("{Port}"), QString::number(port)),
                                common::MB_INFORMATION);
    else
        diagnostics::NotifyUser(i18n::Translate(QStringLiteral("NoPort")), common::MB_WARNING);
    return port;
}

QString SettingsForm::browseStart(const QString& folderText) const {
    if (!folderText.isEmpty())
        return folderText;
    return common::GetSetting(common::ProductName(), BROWSE_SECTION, BROWSE_KEY,
                              GetDefaultApplicationFolder(m_core.folders().ProgramFolder));
}

void SettingsForm::rememberBrowseFolder(const QString& folder) {
    common::SaveSetting(common::ProductName(), BROWSE_SECTION, BROWSE_KEY, folder);
}

} // namespace core
