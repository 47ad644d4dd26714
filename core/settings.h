#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <pugixml.hpp>

namespace core {

// The values of the settings file "webserver.xml", one record for the whole run.
struct Settings {
    int32_t TCPPort = 0;
    QString ApplicationPath;
    bool DebugMode = false;
    bool FirstRun = false;
    int32_t SessionTimeout = 20;
    double CacheExpiresStatic = 1.0;  // days
    double CacheExpiresDynamic = 0.0; // days
    // The reverse proxies whose user names are believed: addresses and CIDR ranges separated
    // by blanks or commas, as written (parsed into the HTTP server's configuration).
    QString TrustedProxies;
    // HTTPS on websvr's own listener. The certificate and key are PEM files (the certificate
    // file may hold its chain), as written; both empty: the certificate websvr makes itself.
    bool HttpsEnabled = false;
    int32_t HttpsPort = 0; // 0: none chosen yet
    QString HttpsCertificate;
    QString HttpsKey;
    bool HttpRedirect = false; // send plain HTTP visitors to HTTPS
    int32_t HstsMaxAge = 0;    // seconds; 0: no HSTS
};

// Finds a free port in [start, end]; 0 when none.
using PortScanner = std::function<int(int start, int end)>;

inline constexpr int SCAN_FIRST_PORT = 80;
inline constexpr int SCAN_LAST_PORT = 100;
inline constexpr int SCAN_FIRST_HTTPS_PORT = 443;
inline constexpr int SCAN_LAST_HTTPS_PORT = 463;

// Fills doc with the default settings document: product name and version, "0" for
// DebugMode, the default application folder, "1", "0" and "20" for the cache and
// session values; TCPPort empty.
void CreateDefaultSettings(pugi::xml_document& doc, const QString& programFolder);

// Reads the settings file. A missing, empty or malformed file gives the defaults and
// is no error. When no usable port is set, scanPorts(80, 100) picks one; when HTTPS is on
// without a port, scanHttpsPorts(443, 463) picks one; either way the file is written at
// once (one write for both). Neither scan hands out the port the other listener has. An
// empty application folder becomes the default one in memory only. Raises common::Error
// when the file cannot be written.
Settings LoadSettings(const QString& path, const QString& programFolder,
                      const PortScanner& scanPorts, const PortScanner& scanHttpsPorts);

// The same without a port scan and without writing anything: the file's values as they
// are (a port of 0 stays 0), for a command that only reads them.
Settings ReadSettings(const QString& path, const QString& programFolder);

// The text of a value whose 0 means none (the HTTPS port, the HSTS max-age): empty for 0.
QString NumberOrNone(int32_t value);

// Writes the settings file as one line of XML: the default document with TCPPort,
// ApplicationPath, DebugMode and FirstRun taken from settings, TrustedProxies when it is
// not empty, and the six HTTPS values when any of them is not its default (HttpsPort and
// HstsMaxAge empty when 0). Cache and session values are always written with their
// defaults. Raises common::Error on failure.
void SaveSettings(const QString& path, const Settings& settings, const QString& programFolder);

} // namespace core
