#include "common/usersettings.h"

#include <QSettings>

namespace common {

namespace {
QSettings store(const QString& application) {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, application);
}
QString path(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}
} // namespace

QString GetSetting(const QString& application, const QString& section, const QString& key,
                   const QString& defaultValue) {
    return store(application).value(path(section, key), defaultValue).toString();
}

void SaveSetting(const QString& application, const QString& section, const QString& key,
                 const QString& value) {
    QSettings settings = store(application);
    settings.setValue(path(section, key), value);
    settings.sync();
}

} // namespace common
