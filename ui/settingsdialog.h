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

// The settings dialog (frmServerSettings): port, trusted proxies, HTTPS, application folder
// and debug mode. It only edits the values; SettingsForm in the core checks, saves and scans.
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
    // A certificate or key file picked into box; titleId names the picker.
    void browseFile(QLineEdit* box, const char* titleId);
    QWidget* makeHttpsGroup();

    core::SettingsForm& m_form;
    std::function<void(const QString&)> m_showHelp;
    QLineEdit* txtPortNo = nullptr;
    QLineEdit* txtTrustedProxies = nullptr;
    QLineEdit* txtApplicationFolder = nullptr;
    QCheckBox* chkDebug = nullptr;
    QCheckBox* chkHttpsEnabled = nullptr;
    QWidget* httpsFields = nullptr; // enabled while chkHttpsEnabled is checked
    QLineEdit* txtHttpsPort = nullptr;
    QLineEdit* txtHttpsCertificate = nullptr;
    QLineEdit* txtHttpsKey = nullptr;
    QCheckBox* chkHttpsRedirect = nullptr;
    QLineEdit* txtHstsMaxAge = nullptr;
    QPushButton* cmdHelp = nullptr;
};

} // namespace ui
