#include "ui/appicon.h"

namespace ui {

QIcon AppIcon() {
    static const QIcon icon = [] {
        QIcon builtIn;
        for (const int size : {16, 24, 32, 48, 64, 128, 256})
            builtIn.addFile(QStringLiteral(":/icons/quorvex-%1.png").arg(size), QSize(size, size));
        return QIcon::fromTheme(QStringLiteral("quorvex"), builtIn);
    }();
    return icon;
}

} // namespace ui
