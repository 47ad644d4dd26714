#include "core/webserver.h"

#include "common/error.h"
#include "common/userinterface.h"
#include "core/httpsfiles.h"
#include "diagnostics/trace.h"
#include "i18n/language.h"
#include "server/httpserver.h"
#include "server/tls/madecertificate.h"

// HTTPS beside HTTP: the certificate, and the second listener.

namespace core {

namespace {
// A made certificate is made again when it is missing, broken or about to expire.
void makeCertificateWhenDue(const HttpsFiles& files, const QString& settingsFile) {
    const std::optional<QString> reason =
        server::MadeCertificateRenewalReason(files.certificate, files.key);
    if (!reason)
        return;
    const server::CertificateNames names = server::MachineCertificateNames();
    server::MakeSelfSignedCertificate(files.certificate, files.key, names);
    diagnostics::WriteTrace(
        QStringLiteral("HTTPS: a self-signed certificate was made (%1) for %2: %3. Browsers warn "
                       "about it until it is trusted. To serve a certificate of your own, set "
                       "HttpsCertificate and HttpsKey (PEM files) in %4 and restart.")
            .arg(*reason, (names.dnsNames + names.ipAddresses).join(QStringLiteral(", ")),
                 files.certificate, settingsFile),
        diagnostics::Severity::Warning);
}
} // namespace

void WebServer::prepareHttps() {
    const HttpsFiles files = HttpsFilesOf(m_config.folders, m_config.settings);
    if (files.made)
        makeCertificateWhenDue(files, m_config.folders.SettingsFile);
    m_http->loadCertificate();
    diagnostics::WriteTrace(QStringLiteral("HTTPS certificate: ") + files.certificate +
                            (files.made ? QStringLiteral(" (made by this program)") : QString()));
}

void WebServer::startHttps() {
    if (!m_httpConfig.httpsEnabled)
        return;
    // At start-up the certificate was prepared before the listeners (startServing); later
    // (the settings dialog) one that cannot be used leaves HTTPS off.
    if (m_startupComplete) {
        try {
            prepareHttps();
        } catch (const common::Error& e) {
            diagnostics::NotifyUser(e.description() +
                                        QStringLiteral(".\r\n\r\nHTTPS stays off until this is "
                                                       "mended."),
                                    common::MB_WARNING);
            return;
        }
    }
    const int port = m_httpConfig.httpsPort;
    switch (m_http->StartSecureServer()) {
    case server::ListenOutcome::NoPort:
        diagnostics::NotifyUser(QStringLiteral("You must specify the HTTPS port number of this "
                                               "server."),
                                common::MB_WARNING);
        break;
    case server::ListenOutcome::PortInUse:
        diagnostics::NotifyUser(i18n::Translate(QStringLiteral("msgPortInUse"))
                                    .replace(QStringLiteral("{Port}"), QString::number(port)),
                                common::MB_WARNING);
        break;
    case server::ListenOutcome::Listening:
    case server::ListenOutcome::OtherError:
        break;
    }
}

} // namespace core
