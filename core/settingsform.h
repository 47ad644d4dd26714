#pragma once

#include <QString>

namespace core {

class CoreFace;

// What the settings dialog edits: the texts of its boxes and its check box.
struct SettingsFormValues {
    QString portText;
    QString applicationFolder;
    bool debugMode = false;
    QString trustedProxies;
};

// The settings dialog's logic on the core's settings: the dialog shows and edits the
// values, its buttons call these. One per opening of the dialog.
class SettingsForm final {
public:
    explicit SettingsForm(CoreFace& core) : m_core(core) {}

    // The dialog's load: the current port, application folder, debug mode and trusted proxies.
    SettingsFormValues load() const;
    // OK. The application folder is checked first (it may be completed on the user's
    // consent); refused, nothing changes and false keeps the dialog open. Otherwise the
    // values are taken and the settings file saved; a file that cannot be written is told
    // to the user and keeps the dialog open too.
    bool confirm(const SettingsFormValues& values);
    // Every way the dialog closes, OK, Cancel or the close box: the port box becomes the
    // port (text that is no number gives 0). After Cancel the listener restarts on it,
    // but it is not saved.
    void close(const QString& portText);
    // Scan: the first free port from 80 (as the settings load finds one), told to the user
    // with "msgPortOk"; 0 and "NoPort" when there is none. Leaves the listener closed.
    int scan();
    // Where the folder picker opens: the folder box, else the folder picked last time,
    // else the default application folder.
    QString browseStart(const QString& folderText) const;
    // Remembers a folder picked with the picker, per user.
    void rememberBrowseFolder(const QString& folder);

private:
    CoreFace& m_core;
};

} // namespace core
