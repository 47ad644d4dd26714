#include "core/settings.h"

#include "common/text.h"
#include "common/version.h"
#include "common/xml.h"
#include "core/folders.h"

#include <algorithm>

namespace core {

namespace {

const char* const DEFAULT_CONTENT =
    "<Settings><ProductName/><ProductVersion/><TCPPort/><ApplicationPath/><DebugMode/>"
    "<CacheExpiresStatic/><CacheExpiresDynamic/><SessionTimeout/></Settings>";

void setText(pugi::xml_node node, const QString& text) {
    node.text().set(common::ToUtf8(text).c_str());
}

void setChildText(pugi::xml_node parent, const char* name, const QString& text) {
    setText(parent.child(name), text);
}

// The element named name anywhere in the document, appended to the root when missing.
pugi::xml_node elementOrNew(pugi::xml_document& doc, const char* name) {
    const std::string xpath = std::string("//") + name;
    pugi::xml_node node = doc.select_node(xpath.c_str()).node();
    if (!node)
        node = doc.document_element().append_child(name);
    return node;
}

QString flag(bool value) {
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

void CreateDefaultSettings(pugi::xml_document& doc, const QString& programFolder) {
    common::LoadXmlString(doc, QString::fromLatin1(DEFAULT_CONTENT));
    const pugi::xml_node root = doc.select_node("/Settings").node();
    setChildText(root, "ProductName", common::ProductName());
    setChildText(root, "ProductVersion", common::VersionText());
    setChildText(root, "DebugMode", QStringLiteral("0"));
    setChildText(root, "ApplicationPath", GetDefaultApplicationFolder(programFolder));
    setChildText(root, "CacheExpiresStatic", QStringLiteral("1"));
    setChildText(root, "CacheExpiresDynamic", QStringLiteral("0"));
    setChildText(root, "SessionTimeout", QStringLiteral("20"));
}

namespace {

// The file's values as they stand; the defaults for a missing, empty or malformed file.
Settings readValues(const QString& path, const QString& programFolder) {
    pugi::xml_document doc;
    if (!common::LoadXmlFile(doc, path))
        CreateDefaultSettings(doc, programFolder);

    const auto text = [&doc](const char* name) {
        return common::NodeText(doc, QStringLiteral("//") + QLatin1String(name));
    };
    Settings s;
    s.TCPPort = common::ToLong(text("TCPPort"));
    s.ApplicationPath = text("ApplicationPath");
    s.DebugMode = text("DebugMode") == QLatin1String("1");
    s.FirstRun = text("FirstRun") == QLatin1String("1");
    s.TrustedProxies = text("TrustedProxies").simplified();
    s.HttpsEnabled = text("HttpsEnabled") == QLatin1String("1");
    s.HttpsPort = common::ToLong(text("HttpsPort"));
    s.HttpsCertificate = text("HttpsCertificate");
    s.HttpsKey = text("HttpsKey");
    s.HttpRedirect = text("HttpRedirect") == QLatin1String("1");
    s.HstsMaxAge = std::max(0, common::ToLong(text("HstsMaxAge")));
    const QString timeout = text("SessionTimeout");
    s.SessionTimeout = timeout.isEmpty() ? 20 : common::ToLong(timeout);
    if (s.SessionTimeout < 0)
        s.SessionTimeout = 20;
    const QString cacheStatic = text("CacheExpiresStatic");
    s.CacheExpiresStatic = cacheStatic.isEmpty() ? 1.0 : common::LeadingNumber(cacheStatic);
    const QString cacheDynamic = text("CacheExpiresDynamic");
    s.CacheExpiresDynamic = cacheDynamic.isEmpty() ? 0.0 : common::LeadingNumber(cacheDynamic);
    return s;
}

// Held in memory only: it reaches the file with a later save.
Settings withApplication(Settings s, const QString& programFolder) {
    if (s.ApplicationPath.isEmpty())
        s.ApplicationPath = GetDefaultApplicationFolder(programFolder);
    return s;
}

// A free port from first to last that is not taken. Neither listener is up while the
// settings load, so the port set for the other one looks free to the scan. A scanner that
// went past last (a user who may not listen below 1024) goes on as far past it.
int scanBesides(const PortScanner& scan, int first, int last, int taken) {
    const int port = scan(first, last);
    if (port == 0 || port != taken)
        return port;
    return scan(port + 1, port <= last ? last : port + (last - first));
}

bool hasHttpsSettings(const Settings& s) {
    const Settings defaults;
    return s.HttpsEnabled != defaults.HttpsEnabled || s.HttpsPort != defaults.HttpsPort ||
           s.HttpsCertificate != defaults.HttpsCertificate || s.HttpsKey != defaults.HttpsKey ||
           s.HttpRedirect != defaults.HttpRedirect || s.HstsMaxAge != defaults.HstsMaxAge;
}

} // namespace

Settings ReadSettings(const QString& path, const QString& programFolder) {
    return withApplication(readValues(path, programFolder), programFolder);
}

Settings LoadSettings(const QString& path, const QString& programFolder,
                      const PortScanner& scanPorts, const PortScanner& scanHttpsPorts) {
    Settings s = readValues(path, programFolder);
    bool scanned = false;
    if (s.TCPPort == 0) {
        const int httpsPort = s.HttpsEnabled ? s.HttpsPort : 0;
        s.TCPPort = scanBesides(scanPorts, SCAN_FIRST_PORT, SCAN_LAST_PORT, httpsPort);
        scanned = true;
    }
    if (s.HttpsEnabled && s.HttpsPort == 0) {
        s.HttpsPort =
            scanBesides(scanHttpsPorts, SCAN_FIRST_HTTPS_PORT, SCAN_LAST_HTTPS_PORT, s.TCPPort);
        scanned = true;
    }
    if (scanned)
        SaveSettings(path, s, programFolder);
    return withApplication(s, programFolder);
}

QString NumberOrNone(int32_t value) {
    return value == 0 ? QString() : QString::number(value);
}

void SaveSettings(const QString& path, const Settings& settings, const QString& programFolder) {
    pugi::xml_document doc;
    CreateDefaultSettings(doc, programFolder);
    setText(elementOrNew(doc, "TCPPort"), QString::number(settings.TCPPort));
    setText(elementOrNew(doc, "ApplicationPath"), settings.ApplicationPath);
    setText(elementOrNew(doc, "DebugMode"), flag(settings.DebugMode));
    setText(elementOrNew(doc, "FirstRun"), flag(settings.FirstRun));
    if (!settings.TrustedProxies.trimmed().isEmpty())
        setText(elementOrNew(doc, "TrustedProxies"), settings.TrustedProxies.simplified());
    // A file that never had HTTPS turned on stays as it was.
    if (hasHttpsSettings(settings)) {
        setText(elementOrNew(doc, "HttpsEnabled"), flag(settings.HttpsEnabled));
        setText(elementOrNew(doc, "HttpsPort"), NumberOrNone(settings.HttpsPort));
        setText(elementOrNew(doc, "HttpsCertificate"), settings.HttpsCertificate);
        setText(elementOrNew(doc, "HttpsKey"), settings.HttpsKey);
        setText(elementOrNew(doc, "HttpRedirect"), flag(settings.HttpRedirect));
        setText(elementOrNew(doc, "HstsMaxAge"), NumberOrNone(settings.HstsMaxAge));
    }
    common::SaveXmlFile(doc, path);
}

} // namespace core
