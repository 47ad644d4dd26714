#include "desktopfixture.h"

#include "core/folders.h"
#include "i18n/language.h"
#include "server/httpserver.h"
#include "ui/mainwindow.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace support;

namespace {

// The web application's service as the core sees it: what it was told, and how often reset.
class RecordingWebApplication final : public bridge::WebApplicationService {
public:
    void configure(const bridge::ApplicationSettings& s) override { settings = s; }
    void reset() override { ++resets; }

    bridge::ApplicationSettings settings;
    int resets = 0;
};

class SettingsDialogTest : public DesktopFixture {
protected:
    // Opens the dialog from the menu and lets fill() work in it while it is shown.
    void openSettings(const std::function<void(QDialog&)>& fill) {
        driveSettings(fill);
        control<QAction>("mnuServerSettings")->trigger();
        EXPECT_TRUE(m_filled);
    }
    // The next settings dialog is handed to fill() once.
    void driveSettings(const std::function<void(QDialog&)>& fill) {
        m_filled = false;
        m_modals.onDialog = [this, fill](QWidget* modal) {
            if (modal->objectName() != "frmServerSettings" || m_filled)
                return;
            m_filled = true;
            fill(*static_cast<QDialog*>(modal));
        };
    }
    static QLineEdit* box(QDialog& d, const char* name) { return d.findChild<QLineEdit*>(name); }
    static void press(QDialog& d, const char* name) { d.findChild<QPushButton*>(name)->click(); }

    QByteArray settingsFile() const {
        return ReadFile(m_program.path("data/config/webserver.xml"));
    }
    static bool listensOn(int port) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, quint16(port));
        return s.waitForConnected(2000);
    }

    bool m_filled = false;
};

} // namespace

TEST_F(SettingsDialogTest, OkSavesAndRestartsTheServerOnTheNewPort) {
    startCore();
    const common::DictionaryPtr before = m_core->values().ApplicationDictionary;
    const int port = FreePort();
    openSettings([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), i18n::Translate("wndServerSettings"));
        EXPECT_EQ(box(d, "txtPortNo")->text(), QString::number(m_program.port()));
        EXPECT_EQ(box(d, "txtApplicationFolder")->text(),
                  m_program.path("examples/microsoft access"));
        EXPECT_EQ(d.findChild<QLabel*>("lblTCPPort")->text(), i18n::Translate("lblTCPPort") + ":");
        EXPECT_EQ(d.findChild<QPushButton*>("cmdHelp")->property("tag").toString(),
                  "ServerSettings");
        EXPECT_EQ(box(d, "txtTrustedProxies")->text(), "");
        EXPECT_EQ(d.findChild<QLabel*>("lblTrustedProxies")->text(),
                  i18n::Translate("lblTrustedProxies") + ":");
        box(d, "txtPortNo")->setText(QString::number(port));
        box(d, "txtTrustedProxies")->setText("192.0.2.10, 10.0.0.0/8");
        d.findChild<QCheckBox*>("chkDebug")->setChecked(true);
        press(d, "cmdOk");
    });
    EXPECT_TRUE(settingsFile().contains("<TCPPort>" + QByteArray::number(port) + "</TCPPort>"));
    EXPECT_TRUE(settingsFile().contains("<TrustedProxies>192.0.2.10, 10.0.0.0/8</TrustedProxies>"));
    EXPECT_EQ(m_core->settings().TrustedProxies, "192.0.2.10, 10.0.0.0/8");
    EXPECT_TRUE(settingsFile().contains("<DebugMode>1</DebugMode>"))
        << settingsFile().toStdString();
    EXPECT_EQ(m_core->serverPort(), port);
    EXPECT_TRUE(listensOn(port));
    EXPECT_NE(m_core->values().ApplicationDictionary, before);
    m_desktop->mainWindow()->refresh();
    EXPECT_EQ(control<QLineEdit>("txtDebugMode")->text(), i18n::Translate("On"));
    EXPECT_TRUE(m_core->windowState().serverStarted);
}

TEST_F(SettingsDialogTest, TheWebApplicationHasTheRunsSettingsAndIsResetWithTheApplication) {
    const auto application = std::make_shared<RecordingWebApplication>();
    m_webApplication = application;
    startCore();
    const core::FolderSet& folders = m_core->folders();
    EXPECT_EQ(application->settings,
              (bridge::ApplicationSettings{.applicationFolder = m_core->settings().ApplicationPath,
                                           .inQueueFolder = folders.InQueueFolder,
                                           .outQueueFolder = folders.OutQueueFolder,
                                           .instanceFolder = folders.InstanceFolder,
                                           .urlPrefix = {}}));
    EXPECT_EQ(application->settings.applicationFolder, m_program.path("examples/microsoft access"));
    EXPECT_EQ(application->resets, 0);

    openSettings([&](QDialog& d) { press(d, "cmdCancel"); });
    EXPECT_EQ(application->resets, 1);
    EXPECT_EQ(application->settings.instanceFolder, folders.InstanceFolder);
}

TEST_F(SettingsDialogTest, CancelRestartsOnATypedPortWithoutSavingIt) {
    startCore();
    const QByteArray saved = settingsFile();
    const int port = FreePort();
    openSettings([&](QDialog& d) {
        box(d, "txtPortNo")->setText(QString::number(port));
        box(d, "txtApplicationFolder")->setText("/elsewhere");
        press(d, "cmdCancel");
    });
    EXPECT_EQ(m_core->serverPort(), port);
    EXPECT_EQ(settingsFile(), saved);
    EXPECT_EQ(m_core->settings().ApplicationPath, m_program.path("examples/microsoft access"));
}

TEST_F(SettingsDialogTest, AnUnusableFolderKeepsTheDialogOpen) {
    startCore();
    bool stillOpen = false;
    openSettings([&](QDialog& d) {
        box(d, "txtApplicationFolder")->setText(m_program.beside("missing"));
        press(d, "cmdOk");
        stillOpen = d.isVisible();
        press(d, "cmdCancel");
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(m_modals.boxesWith(i18n::Translate("msgInvalidAppFolder")), 1);
}

TEST_F(SettingsDialogTest, ScanFindsTheFirstFreePortOrSaysThereIsNone) {
    startCore();
    QString found;
    openSettings([&](QDialog& d) {
        press(d, "cmdScanPorts");
        found = box(d, "txtPortNo")->text();
        // Back on a port outside the scanned ranges for what follows.
        box(d, "txtPortNo")->setText(QString::number(m_program.port()));
        press(d, "cmdCancel");
    });
    ASSERT_GT(found.toInt(), 0);
    EXPECT_EQ(m_modals.boxesWith(i18n::Translate("msgPortOk").replace("{Port}", found)), 1);

    // Every port of both ranges taken (by us, or refused to us): none, and the box unchanged.
    std::vector<std::unique_ptr<QTcpServer>> holders;
    for (const auto& [first, last] : {std::pair{80, 100}, std::pair{8080, 8100}})
        for (int p = first; p <= last; ++p) {
            holders.push_back(std::make_unique<QTcpServer>());
            holders.back()->listen(QHostAddress::Any, quint16(p));
        }
    QString kept;
    openSettings([&](QDialog& d) {
        box(d, "txtPortNo")->setText("12345");
        press(d, "cmdScanPorts");
        kept = box(d, "txtPortNo")->text();
        press(d, "cmdCancel");
    });
    EXPECT_EQ(kept, "12345");
    EXPECT_EQ(m_modals.boxesWith(i18n::Translate("NoPort")), 1);
}

TEST_F(SettingsDialogTest, TheFolderPickerOpensWhereExpectedAndIsRemembered) {
    startCore();
    const QString chosen = m_program.beside("picked");
    ASSERT_TRUE(QDir().mkpath(chosen));
    QStringList startedIn;
    const auto pick = [&](QWidget* modal) {
        auto* picker = qobject_cast<QFileDialog*>(modal);
        if (!picker)
            return false;
        startedIn << picker->directory().absolutePath();
        picker->setDirectory(chosen);
        static_cast<QDialog*>(picker)->accept();
        return true;
    };
    QString inBox;
    const auto browse = [&](QDialog& d) {
        box(d, "txtApplicationFolder")->clear();
        m_modals.onDialog = [&](QWidget* modal) { pick(modal); };
        press(d, "cmdBrowse");
        inBox = box(d, "txtApplicationFolder")->text();
        press(d, "cmdCancel");
    };
    openSettings(browse);
    openSettings(browse);
    ASSERT_EQ(startedIn.size(), 2);
    EXPECT_EQ(startedIn[0], core::GetDefaultApplicationFolder(m_program.path()));
    EXPECT_EQ(startedIn[1], chosen); // remembered from the first time
    EXPECT_EQ(inBox, chosen);
    EXPECT_EQ(QSettings(QSettings::IniFormat, QSettings::UserScope, "Quorvex")
                  .value("Settings/Application Folder")
                  .toString(),
              chosen);
}

TEST_F(SettingsDialogTest, StartUpAsksForAFolderAndAPortWhenItHasNoUsableOnes) {
    // An application folder that is not there, and a port another program holds.
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::Any, quint16(m_program.port())));
    m_program.writeSettings("<ApplicationPath>" + m_program.beside("missing") +
                            "</ApplicationPath>");
    const int port = FreePort();
    int dialogs = 0;
    m_modals.onDialog = [&](QWidget* modal) {
        if (modal->objectName() != "frmServerSettings")
            return;
        auto& d = *static_cast<QDialog*>(modal);
        if (++dialogs == 1)
            box(d, "txtApplicationFolder")->setText(m_program.path("examples/microsoft access"));
        else
            box(d, "txtPortNo")->setText(QString::number(port));
        press(d, "cmdOk");
    };
    startCore();
    EXPECT_EQ(dialogs, 2);
    EXPECT_EQ(m_modals.boxesWith(i18n::Translate("msgInvalidAppFolder")), 1);
    EXPECT_EQ(
        m_modals.boxesWith(
            i18n::Translate("msgPortInUse").replace("{Port}", QString::number(m_program.port()))),
        1);
    EXPECT_EQ(m_core->serverPort(), port);
    EXPECT_EQ(m_core->windowState().statusText,
              i18n::Translate("msgServerRunning").replace("{Port}", QString::number(port)));
    // The start-up ran once: one listener start after the dialog, one data server.
    EXPECT_EQ(logText().count("Start serving pages"), 1);
}

namespace {
// The HTTPS group's boxes and check boxes that follow "Use HTTPS", in keyboard order.
const std::vector<const char*> HTTPS_FIELDS = {
    "txtHttpsPort", "txtHttpsCertificate", "cmdBrowseCertificate", "txtHttpsKey",
    "cmdBrowseKey", "chkHttpsRedirect",    "txtHstsMaxAge"};

QCheckBox* check(QDialog& d, const char* name) {
    return d.findChild<QCheckBox*>(name);
}

// The settings file with every empty element written <Name/>, however the writer wrote it.
QByteArray shortEmpties(QByteArray xml) {
    static const QRegularExpression empty("<(\\w+)></\\1>");
    return QString::fromUtf8(xml).replace(empty, "<\\1/>").toUtf8();
}

QString accessibleName(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QString();
}
} // namespace

TEST_F(SettingsDialogTest, TheHttpsBoxesAreUsableOnlyWithHttpsOnAndTheirValuesAreSaved) {
    startCore();
    const int httpsPort = FreePort();
    openSettings([&](QDialog& d) {
        EXPECT_EQ(d.findChild<QGroupBox*>("frmHttps")->title(), i18n::Translate("frmHttps"));
        EXPECT_EQ(check(d, "chkHttpsEnabled")->text(), i18n::Translate("chkHttpsEnabled"));
        EXPECT_FALSE(check(d, "chkHttpsEnabled")->isChecked());
        for (const char* name : HTTPS_FIELDS)
            EXPECT_FALSE(d.findChild<QWidget*>(name)->isEnabled()) << name;
        check(d, "chkHttpsEnabled")->setChecked(true);
        for (const char* name : HTTPS_FIELDS)
            EXPECT_TRUE(d.findChild<QWidget*>(name)->isEnabled()) << name;
        box(d, "txtHttpsPort")->setText(QString::number(httpsPort));
        check(d, "chkHttpsRedirect")->setChecked(true);
        box(d, "txtHstsMaxAge")->setText(" 600 ");
        press(d, "cmdOk");
    });
    const QByteArray port = QByteArray::number(httpsPort);
    EXPECT_TRUE(
        shortEmpties(settingsFile())
            .endsWith("<HttpsEnabled>1</HttpsEnabled><HttpsPort>" + port +
                      "</HttpsPort><HttpsCertificate/><HttpsKey/><HttpRedirect>1</HttpRedirect>"
                      "<HstsMaxAge>600</HstsMaxAge></Settings>"))
        << settingsFile().toStdString();
    EXPECT_TRUE(m_core->settings().HttpsEnabled);
    EXPECT_EQ(m_core->settings().HttpsPort, httpsPort);
    EXPECT_EQ(m_core->settings().HstsMaxAge, 600);

    // Shown again as saved; turned off, what was typed is kept for the next time.
    openSettings([&](QDialog& d) {
        EXPECT_TRUE(check(d, "chkHttpsEnabled")->isChecked());
        EXPECT_TRUE(box(d, "txtHttpsPort")->isEnabled());
        EXPECT_EQ(box(d, "txtHttpsPort")->text(), QString::number(httpsPort));
        EXPECT_TRUE(check(d, "chkHttpsRedirect")->isChecked());
        EXPECT_EQ(box(d, "txtHstsMaxAge")->text(), "600");
        box(d, "txtHttpsCertificate")->setText("certs/site.pem");
        box(d, "txtHttpsKey")->setText("/etc/ssl/private/site.key");
        check(d, "chkHttpsEnabled")->setChecked(false);
        EXPECT_FALSE(box(d, "txtHttpsKey")->isEnabled());
        press(d, "cmdOk");
    });
    EXPECT_TRUE(settingsFile().contains("<HttpsEnabled>0</HttpsEnabled>"));
    EXPECT_TRUE(settingsFile().contains("<HttpsCertificate>certs/site.pem</HttpsCertificate>"
                                        "<HttpsKey>/etc/ssl/private/site.key</HttpsKey>"));
    EXPECT_FALSE(m_core->settings().HttpsEnabled);
    EXPECT_EQ(m_core->settings().HttpsKey, "/etc/ssl/private/site.key");
}

TEST_F(SettingsDialogTest, UnusableHttpsValuesKeepTheDialogOpenAndSayWhy) {
    startCore();
    const QByteArray saved = settingsFile();
    const QString httpPort = QString::number(m_program.port());
    struct Case {
        const char* port;
        const char* certificate;
        const char* key;
        const char* maxAge;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"0", "", "", "", "msgHttpsPortInvalid"},
        {"65536", "", "", "", "msgHttpsPortInvalid"},
        {"44x", "", "", "", "msgHttpsPortInvalid"},
        {"+443", "", "", "", "msgHttpsPortInvalid"},
        {"", "site.pem", "", "", "msgHttpsCertificateAndKey"},
        {"", " ", "site.key", "", "msgHttpsCertificateAndKey"},
        {"", "", "", "-1", "msgHttpsHstsInvalid"},
        {"", "", "", "1.5", "msgHttpsHstsInvalid"},
        {"", "", "", "99999999999", "msgHttpsHstsInvalid"},
    };
    std::vector<std::pair<std::string, bool>> stayedOpen;
    bool sameAsHttpStayedOpen = false;
    openSettings([&](QDialog& d) {
        check(d, "chkHttpsEnabled")->setChecked(true);
        for (const Case& c : cases) {
            box(d, "txtHttpsPort")->setText(c.port);
            box(d, "txtHttpsCertificate")->setText(c.certificate);
            box(d, "txtHttpsKey")->setText(c.key);
            box(d, "txtHstsMaxAge")->setText(c.maxAge);
            const int before = m_modals.boxesWith(i18n::Translate(c.message));
            press(d, "cmdOk");
            stayedOpen.emplace_back(
                std::string(c.port) + "|" + c.certificate + "|" + c.key + "|" + c.maxAge,
                d.isVisible() && m_modals.boxesWith(i18n::Translate(c.message)) == before + 1);
        }
        box(d, "txtHstsMaxAge")->clear();
        box(d, "txtHttpsPort")->setText(httpPort);
        press(d, "cmdOk");
        sameAsHttpStayedOpen = d.isVisible();
        press(d, "cmdCancel");
    });
    for (const auto& [values, open] : stayedOpen)
        EXPECT_TRUE(open) << values;
    EXPECT_TRUE(sameAsHttpStayedOpen);
    EXPECT_EQ(m_modals.boxesWith(i18n::Translate("msgHttpsPortSameAsHttp")), 1);
    EXPECT_EQ(settingsFile(), saved);
    EXPECT_FALSE(m_core->settings().HttpsEnabled);

    // With HTTPS on, an empty port is left for the next start to find; with HTTPS off the
    // boxes are not in use, so what they hold refuses nothing.
    openSettings([&](QDialog& d) {
        check(d, "chkHttpsEnabled")->setChecked(true);
        press(d, "cmdOk");
    });
    EXPECT_TRUE(shortEmpties(settingsFile())
                    .contains("<HttpsEnabled>1</HttpsEnabled><HttpsPort/><HttpsCertificate/>"))
        << settingsFile().toStdString();
    bool closed = false;
    openSettings([&](QDialog& d) {
        box(d, "txtHttpsPort")->setText(httpPort);
        box(d, "txtHttpsCertificate")->setText(" certs/site.pem ");
        check(d, "chkHttpsEnabled")->setChecked(false);
        press(d, "cmdOk");
        closed = !d.isVisible();
        if (!closed)
            press(d, "cmdCancel");
    });
    EXPECT_TRUE(closed);
    EXPECT_FALSE(m_core->settings().HttpsEnabled);
    EXPECT_EQ(m_core->settings().HttpsCertificate, "certs/site.pem");
}

TEST_F(SettingsDialogTest, CertificateAndKeyPickersOpenBesideTheSettingsFile) {
    startCore();
    const QString config = QFileInfo(m_core->folders().SettingsFile).absolutePath();
    const QString certificate = config + "/site.pem";
    ASSERT_TRUE(WriteFile(certificate, "-----BEGIN CERTIFICATE-----\n"));
    struct Opened {
        QString folder;
        QStringList selected;
        QStringList filters;
        QString title;
    };
    std::vector<Opened> opened;
    // Picks file, or cancels when it is empty.
    const auto pickerChoosing = [&](const QString& file) {
        return [&, file](QWidget* modal) {
            auto* picker = qobject_cast<QFileDialog*>(modal);
            if (!picker)
                return;
            opened.push_back({picker->directory().absolutePath(), picker->selectedFiles(),
                              picker->nameFilters(), picker->windowTitle()});
            if (file.isEmpty()) {
                picker->reject();
                return;
            }
            // Typed, as selectFile leaves alone the name box that has the focus.
            picker->findChild<QLineEdit*>("fileNameEdit")->setText(file);
            static_cast<QDialog*>(picker)->accept();
        };
    };
    QString certificateBox, keyBox, cancelledBox;
    openSettings([&](QDialog& d) {
        check(d, "chkHttpsEnabled")->setChecked(true);
        m_modals.onDialog = pickerChoosing(certificate);
        press(d, "cmdBrowseCertificate");
        certificateBox = box(d, "txtHttpsCertificate")->text();
        // A relative file is taken from the settings file's folder, as the server takes it.
        box(d, "txtHttpsKey")->setText("site.pem");
        m_modals.onDialog = pickerChoosing("");
        press(d, "cmdBrowseKey");
        cancelledBox = box(d, "txtHttpsKey")->text();
        m_modals.onDialog = pickerChoosing(certificate);
        press(d, "cmdBrowseKey");
        keyBox = box(d, "txtHttpsKey")->text();
        press(d, "cmdCancel");
    });
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0].folder, config);
    EXPECT_EQ(opened[0].title, i18n::Translate("lblHttpsCertificate"));
    EXPECT_EQ(opened[0].filters,
              QStringList({i18n::Translate("lblHttpsPemFiles") + " (*.pem *.crt *.cer *.key)",
                           i18n::Translate("lblHttpsAllFiles") + " (*)"}));
    EXPECT_EQ(opened[1].folder, config);
    EXPECT_EQ(opened[1].selected, QStringList({certificate}));
    EXPECT_EQ(opened[1].title, i18n::Translate("lblHttpsKey"));
    EXPECT_EQ(certificateBox, certificate);
    EXPECT_EQ(cancelledBox, "site.pem");
    EXPECT_EQ(keyBox, certificate);
}

TEST_F(SettingsDialogTest, TheHttpsBoxesAreNamedByTheirLabelsAndFollowInKeyboardOrder) {
    startCore();
    QStringList names, order;
    openSettings([&](QDialog& d) {
        for (const char* name :
             {"txtPortNo", "txtHttpsPort", "txtHttpsCertificate", "txtHttpsKey", "txtHstsMaxAge"})
            names << accessibleName(d.findChild<QWidget*>(name));
        check(d, "chkHttpsEnabled")->setChecked(true);
        d.activateWindow();
        check(d, "chkHttpsEnabled")->setFocus();
        for (size_t i = 0; i <= HTTPS_FIELDS.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                                  : QString());
        }
        press(d, "cmdCancel");
    });
    EXPECT_EQ(names, QStringList({i18n::Translate("lblTCPPort") + ":",
                                  i18n::Translate("lblHttpsPort") + ":",
                                  i18n::Translate("lblHttpsCertificate") + ":",
                                  i18n::Translate("lblHttpsKey") + ":",
                                  i18n::Translate("lblHttpsHstsMaxAge") + ":"}));
    QStringList expected;
    for (const char* name : HTTPS_FIELDS)
        expected << name;
    expected << "txtApplicationFolder";
    EXPECT_EQ(order, expected);
}
