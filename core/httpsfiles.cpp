#include "core/httpsfiles.h"

#include <QFileInfo>

namespace core {

HttpsFiles HttpsFilesOf(const FolderSet& folders, const Settings& settings) {
    if (settings.HttpsCertificate.isEmpty() && settings.HttpsKey.isEmpty())
        return {folders.DataFolder + QLatin1Char('/') + QLatin1String(MADE_CERTIFICATE_FILE),
                folders.DataFolder + QLatin1Char('/') + QLatin1String(MADE_KEY_FILE), true};
    const QString base = QFileInfo(folders.SettingsFile).absolutePath();
    // One of the two left empty stays empty: loading says which is missing.
    const auto resolved = [&base](const QString& path) {
        return path.isEmpty() ? path : ResolvePath(path, base);
    };
    return {resolved(settings.HttpsCertificate), resolved(settings.HttpsKey), false};
}

} // namespace core
