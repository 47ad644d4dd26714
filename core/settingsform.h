#pragma once

#include <QString>

namespace core {

class CoreFace;

// What the settings dialog edits: the texts of its boxes and its check boxes.
struct SettingsFormValues {
    QString portText;
    QString applicationFolder;
    bool debugMode = false;
    QString trustedProxies;
    bool httpsEnabled = false;
    QString httpsPortText; // empty: none chosen yet
    QString httpsCertificate;
    QString httpsKey;
    bool httpRedirect = false;
    QString hstsMaxAgeText; // empty: none
};

// The settings dialog's logic on the core's settings: the dialog shows and edits the
// values, its buttons call these. One per opening of the dialog.
class SettingsForm final {
public:
    explicit SettingsForm(CoreFace& core) : m_core(core) {}

    // The dialog's load: the current port, application folder, debug mode, trusted proxies
    // and HTTPS values (a port or max-age of 0 as an empty box).
    SettingsFormValues load() const;
    // OK. With HTTPS on, its boxes are checked first: the port empty or 1 to 65535 and not
    // the TCP port, certificate and key both given or both empty, the max-age empty or a
    // whole number of seconds. Then the application folder (it may be completed on the
    // user's consent). A refusal is told to the user, nothing changes and false keeps the
    // dialog open. Otherwise the values are taken and the settings file saved; a file that
    // cannot be written is told to the user and keeps the dialog open too. With HTTPS off,
    // its boxes are kept as they convert, unchecked: they are not in use.
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
    // Where the certificate and key pickers open: the file in the box (a relative one taken
    // from the settings file's folder, as the server takes it), else that folder.
    QString fileBrowseStart(const QString& fileText) const;

private:
    CoreFace& m_core;
};

} // namespace core
