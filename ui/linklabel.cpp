#include "ui/linklabel.h"

#include <QMouseEvent>

namespace ui {

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    QPalette linkColour = palette();
    linkColour.setColor(QPalette::WindowText, linkColour.color(QPalette::Link));
    setPalette(linkColour);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
    QLabel::mouseReleaseEvent(event);
}

} // namespace ui
