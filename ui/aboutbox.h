#pragma once

#include <QDialog>

namespace ui {

// The About box (frmAbout): program version, name, copyright and maker, not translated.
class AboutBox final : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
};

} // namespace ui
