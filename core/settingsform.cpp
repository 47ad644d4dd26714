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

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <optional>

namespace core {

namespace {
const QString BROWSE_SECTION = QStringLiteral("Settings");
const QString BROWSE_KEY = QStringLiteral("Application Folder");
constexpr int LAST_PORT = 65535;

// Digits only (no sign, no fraction) and within 32 bits.
std::optional<int32_t> wholeNumber(const QString& text) {
    if (text.isEmpty() ||
        !std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    bool ok = false;
    const int32_t number = text.toInt(&ok);
    return ok ? std::optional(number) : std::nullopt;
}

// The label id of the message that says what is wrong with the HTTPS boxes; empty when
// nothing is, or when HTTPS is off.
QString httpsRefusal(const SettingsFormValues& values) {
    if (!values.httpsEnabled)
        return {};
    const QString portText = values.httpsPortText.trimmed();
    if (!portText.isEmpty()) {
        const std::optional<int32_t> port = wholeNumber(portText);
        if (!port || *port < 1 || *port > LAST_PORT)
            return QStringLiteral("msgHttpsPortInvalid");
        if (*port == common::ToLong(values.portText))
            return QStringLiteral("msgHttpsPortSameAsHttp");
    }
    if (values.httpsCertificate.trimmed().isEmpty() != values.httpsKey.trimmed().isEmpty())
        return QStringLiteral("msgHttpsCertificateAndKey");
    const QString maxAge = values.hstsMaxAgeText.trimmed();
    if (!maxAge.isEmpty() && !wholeNumber(maxAge))
        return QStringLiteral("msgHttpsHstsInvalid");
    return {};
}

void takeHttps(const SettingsFormValues& values, Settings& settings) {
    settings.HttpsEnabled = values.httpsEnabled;
    settings.HttpsPort = common::ToLong(values.httpsPortText.trimmed());
    settings.HttpsCertificate = values.httpsCertificate.trimmed();
    settings.HttpsKey = values.httpsKey.trimmed();
    settings.HttpRedirect = values.httpRedirect;
    settings.HstsMaxAge = std::max(0, common::ToLong(values.hstsMaxAgeText.trimmed()));
}
} // namespace

SettingsFormValues SettingsForm::load() const {
    const Settings& settings = m_core.settings();
    return {.portText = QString::number(settings.TCPPort),
            .applicationFolder = settings.ApplicationPath,
            .debugMode = settings.DebugMode,
            .trustedProxies = settings.TrustedProxies,
            .httpsEnabled = settings.HttpsEnabled,
            .httpsPortText = NumberOrNone(settings.HttpsPort),
            .httpsCertificate = settings.HttpsCertificate,
            .httpsKey = settings.HttpsKey,
            .httpRedirect = settings.HttpRedirect,
            .hstsMaxAgeText = NumberOrNone(settings.HstsMaxAge)};
}

bool SettingsForm::confirm(const SettingsFormValues& values) {
    const QString refusal = httpsRefusal(values);
    if (!refusal.isEmpty()) {
        diagnostics::NotifyUser(i18n::Translate(refusal), common::MB_WARNING);
        return false;
    }
    if (!CheckApplicationFolder(values.applicationFolder))
        return false;
    Settings settings = m_core.settings();
    settings.TCPPort = common::ToLong(values.portText);
    settings.DebugMode = values.debugMode;
    settings.ApplicationPath = values.applicationFolder;
    settings.TrustedProxies = values.trustedProxies;
    takeHttps(values, settings);
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

QString SettingsForm::fileBrowseStart(const QString& fileText) const {
    const QDir settingsFolder = QFileInfo(m_core.folders().SettingsFile).absoluteDir();
    const QString file = fileText.trimmed();
    return file.isEmpty() ? settingsFolder.path() : settingsFolder.absoluteFilePath(file);
}

} // namespace core
