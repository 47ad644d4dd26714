#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace core {
class SettingsForm;
}

namespace ui {

// The settings dialog (frmServerSettings): port, trusted proxies, application folder and debug
// mode. It only
// edits the values; SettingsForm in the core checks, saves and scans.
class SettingsDialog final : public QDialog {
    Q_OBJECT
public:
    // showHelp opens the help for a context (the Help button's tag, "ServerSettings").
    SettingsDialog(core::SettingsForm& form, std::function<void(const QString&)> showHelp,
                   QWidget* parent = nullptr);

    // Every way the dialog closes hands the port box to the form.
    void done(int result) override;

private:
    void translate();
    void confirm();
    void scan();
    void browse();

    core::SettingsForm& m_form;
    std::function<void(const QString&)> m_showHelp;
    QLineEdit* txtPortNo = nullptr;
    QLineEdit* txtTrustedProxies = nullptr;
    QLineEdit* txtApplicationFolder = nullptr;
    QCheckBox* chkDebug = nullptr;
    QPushButton* cmdHelp = nullptr;
};

} // namespace ui
