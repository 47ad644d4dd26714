#include "ui/browser.h"

#include <QProcess>

namespace ui {

bool OpenInBrowser(const QString& url) {
    return QProcess::startDetached(QStringLiteral("xdg-open"), {url});
}

} // namespace ui
