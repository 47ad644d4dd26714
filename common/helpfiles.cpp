#include "common/helpfiles.h"

#include <QFileInfo>
#include <QUrl>

namespace common {

namespace {
const QString CONTENTS = QStringLiteral("index.html");

// Letters, digits, "-" and "_": a name that never leads out of its folder.
bool plainName(const QString& text) {
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('-') &&
            c != QLatin1Char('_'))
            return false;
    return true;
}
} // namespace

QString HelpFileName(const QString& context) {
    if (!plainName(context))
        return CONTENTS;
    return context + QStringLiteral(".html");
}

QString HelpFileAddress(const QString& programFolder, const QString& language,
                        const QString& context) {
    const QString help =
        programFolder + QLatin1Char('/') + QLatin1String(HELP_FOLDER) + QLatin1Char('/');
    QString folder = help + language;
    if (!plainName(language) || !QFileInfo(folder).isDir())
        folder = help + QLatin1String(HELP_FALLBACK_LANGUAGE);
    QString file = folder + QLatin1Char('/') + HelpFileName(context);
    if (!QFileInfo(file).isFile())
        file = folder + QLatin1Char('/') + CONTENTS;
    return QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
}

} // namespace common
