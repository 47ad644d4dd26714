#pragma once

#include <QLabel>

namespace ui {

// A label that reads and acts like a link: underlined, a pointing hand, clicked on release.
class LinkLabel final : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(QWidget* parent = nullptr);

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace ui
