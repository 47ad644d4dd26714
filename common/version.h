#pragma once

#include <QString>

namespace common {

inline constexpr int VERSION_MAJOR = QV_VERSION_MAJOR;
inline constexpr int VERSION_MINOR = QV_VERSION_MINOR;
inline constexpr int VERSION_REVISION = QV_VERSION_REVISION;

inline QString ProductName() {
    return QStringLiteral("Quorvex");
}
// The application title, "Quorvex - Web Server": the per-user settings store's name.
inline QString ApplicationTitle() {
    return ProductName() + QStringLiteral(" - Web Server");
}
// The copyright line and the company of the program's version information.
inline QString Copyright() {
    return QStringLiteral("Copyright \u00A9 2026 The Quorvex developers");
}
inline QString CompanyName() {
    return QStringLiteral("The Quorvex developers");
}
// "1.0.202"
inline QString VersionText() {
    return QStringLiteral("%1.%2.%3").arg(VERSION_MAJOR).arg(VERSION_MINOR).arg(VERSION_REVISION);
}
// "Quorvex/1.0.202", the Server header.
inline QString ServerVersion() {
    return ProductName() + QLatin1Char('/') + VersionText();
}
// "Quorvex (1.0.202)", the title of message boxes.
inline QString MessageTitle() {
    return ProductName() + QStringLiteral(" (") + VersionText() + QLatin1Char(')');
}

} // namespace common
