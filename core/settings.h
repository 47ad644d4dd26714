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
};

// Finds a free port in [start, end]; 0 when none.
using PortScanner = std::function<int(int start, int end)>;

inline constexpr int SCAN_FIRST_PORT = 80;
inline constexpr int SCAN_LAST_PORT = 100;

// Fills doc with the default settings document: product name and version, "0" for
// DebugMode, the default application folder, "1", "0" and "20" for the cache and
// session values; TCPPort empty.
void CreateDefaultSettings(pugi::xml_document& doc, const QString& programFolder);

// Reads the settings file. A missing, empty or malformed file gives the defaults and
// is no error. When no usable port is set, scanPorts(80, 100) picks one and the file
// is written at once. An empty application folder becomes the default one in memory
// only. Raises common::Error when the file cannot be written.
Settings LoadSettings(const QString& path, const QString& programFolder,
                      const PortScanner& scanPorts);

// The same without a port scan and without writing anything: the file's values as they
// are (a port of 0 stays 0), for a command that only reads them.
Settings ReadSettings(const QString& path, const QString& programFolder);

// Writes the settings file as one line of XML: the default document with TCPPort,
// ApplicationPath, DebugMode and FirstRun taken from settings, and TrustedProxies when it is
// not empty. Cache and session values are always written with their defaults. Raises
// common::Error on failure.
void SaveSettings(const QString& path, const Settings& settings, const QString& programFolder);

} // namespace core
