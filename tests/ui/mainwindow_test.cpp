#include "desktopfixture.h"

#include "common/files.h"
#include "common/usersettings.h"
#include "i18n/language.h"
#include "server/httpserver.h"
#include "ui/mainwindow.h"
#include "ui/tracelogwindow.h"
#include "webappapi/adminkey.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>
#include <QUrl>
#include <fcntl.h>
#include <unistd.h>

using namespace support;

namespace {

class MainWindowTest : public DesktopFixture {
protected:
    QAction* action(const char* name) const { return control<QAction>(name); }
    QString field(const char* name) const { return control<QLineEdit>(name)->text(); }
    QString site(const QString& host) const {
        return "HTTP://" + host + ":" + QString::number(m_program.port());
    }
    // The administration page carries this run's key.
    QString adminPage() const {
        return site("localhost") +
               "/?page=admin&key=" + bridge::AdminKey(m_core->values().RunSecret);
    }
};

} // namespace

TEST_F(MainWindowTest, MenusAndControlsCarryTheirNamesAccessKeysAndTranslatedTexts) {
    startCore();
    // Menu entries in order, separators as "-": name and label id.
    const std::vector<std::pair<QString, std::vector<std::pair<QString, QString>>>> menus = {
        {"mnuFile", {{"mnuFileExit", "mnuExit"}}},
        {"mnuLinks", {{"mnuLinksWebSite", "mnuLinkWeb"}, {"mnuLinksAdministration", "mnuLinkAdm"}}},
        {"mnuTools",
         {{"mnuServerSettings", "mnuSettings"},
          {"mnuDataConnectionSettings", "mnuDataConnectionSettings"},
          {"mnuToolsSep1", "-"},
          {"mnuTraceLog", "mnuTraceLog"}}},
        {"mnuHelp",
         {{"mnuHelpContents", "mnuHelpContents"},
          {"mnuHelpSep2", "-"},
          {"mnuHelpAbout", "mnuAbout"}}},
    };
    const QList<QAction*> bar = m_desktop->mainWindow()->menuBar()->actions();
    ASSERT_EQ(bar.size(), int(menus.size()));
    for (size_t m = 0; m < menus.size(); ++m) {
        QAction* top = bar[int(m)];
        EXPECT_EQ(top->objectName(), menus[m].first);
        EXPECT_EQ(top->text(), i18n::Translate(menus[m].first));
        const QList<QAction*> entries = top->menu()->actions();
        ASSERT_EQ(entries.size(), int(menus[m].second.size())) << menus[m].first.toStdString();
        for (size_t e = 0; e < menus[m].second.size(); ++e) {
            const auto& [name, labelId] = menus[m].second[e];
            EXPECT_EQ(entries[int(e)]->objectName(), name);
            if (labelId == "-") {
                EXPECT_TRUE(entries[int(e)]->isSeparator()) << name.toStdString();
                continue;
            }
            EXPECT_EQ(entries[int(e)]->property("labelId").toString(), labelId);
            EXPECT_EQ(entries[int(e)]->text(), i18n::Translate(labelId));
            EXPECT_TRUE(entries[int(e)]->text().contains('&')) << name.toStdString();
        }
    }
    // Frames and labels: their label id and its text.
    const std::pair<const char*, const char*> labelled[] = {
        {"frmStatus", "frmServerStatus"},      {"lblStatus", "lblServerStatus"},
        {"lblDebugging", "lblDebugging"},      {"lblRequests", "lblRequests"},
        {"frmInformation", "frmInformation"},  {"lblClientLink", "lblClickBrowseWeb"},
        {"lblAdminLink", "lblClickBrowseAdm"},
    };
    for (const auto& [name, labelId] : labelled) {
        QWidget* widget = control<QWidget>(name);
        ASSERT_TRUE(widget) << name;
        EXPECT_EQ(widget->property("labelId").toString(), labelId);
        const QString text =
            widget->property(qobject_cast<QLabel*>(widget) ? "text" : "title").toString();
        EXPECT_EQ(text, i18n::Translate(labelId)) << name;
        EXPECT_FALSE(text.startsWith("[Missing label")) << name;
    }
    EXPECT_EQ(m_desktop->mainWindow()->windowTitle(), "Quorvex");
    EXPECT_EQ(control<QLabel>("lblProductName")->text(), "Quorvex");
    EXPECT_EQ(control<QLabel>("lblVersion")->text(), "Version 1.0.202");
    EXPECT_EQ(
        field("txtServerStatus"),
        i18n::Translate("msgServerRunning").replace("{Port}", QString::number(m_program.port())));
    EXPECT_EQ(field("txtDebugMode"), "Off");
    EXPECT_TRUE(control<QLabel>("lblClientLink")->isVisible());
    // The interactive start ended by opening the administration page.
    EXPECT_TRUE(Eventually([this] { return !openedUrls().isEmpty(); }));
    EXPECT_EQ(openedUrls(), QStringList{adminPage()});

    // The size stays as designed in the normal state.
    const QSize size = m_desktop->mainWindow()->size();
    m_desktop->mainWindow()->resize(size.width() + 150, size.height() + 90);
    EXPECT_EQ(m_desktop->mainWindow()->size(), size);
}

TEST_F(MainWindowTest, TheRequestCounterFollowsRealRequests) {
    startCore();
    EXPECT_EQ(field("txtRequests"), "0");
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(fetch("/index.htm").startsWith("HTTP/1.1 200 OK"));
    EXPECT_TRUE(Eventually([this] { return field("txtRequests") == "3"; }));
}

TEST_F(MainWindowTest, LinksAndHelpOpenTheBrowserOnlyWhileTheServerListens) {
    startCore();
    ASSERT_TRUE(Eventually([this] { return openedUrls().size() == 1; }));
    action("mnuLinksWebSite")->trigger();
    QTest::mouseClick(control<QLabel>("lblAdminLink"), Qt::LeftButton);
    action("mnuHelpContents")->trigger();
    const QString help =
        QUrl::fromLocalFile(m_program.path("help/en/index.html")).toString(QUrl::FullyEncoded);
    EXPECT_TRUE(Eventually([this] { return openedUrls().size() == 4; }));
    // Each browser starts on its own: the order they note their address in is theirs.
    QStringList opened = openedUrls().mid(1);
    opened.sort();
    QStringList expected{site(common::ComputerName()) + "/", adminPage(), help};
    expected.sort();
    EXPECT_EQ(opened, expected);

    // Stopped: the links explain themselves, the settings menu says the server restarts.
    m_core->StopServer();
    m_modals.boxes.clear();
    action("mnuLinksWebSite")->trigger();
    action("mnuLinksAdministration")->trigger();
    action("mnuServerSettings")->trigger();
    ASSERT_EQ(m_modals.boxes.size(), 3u);
    for (int i : {0, 1}) {
        EXPECT_EQ(m_modals.boxes[i].text, i18n::Translate("msgServerNotStarted"));
        EXPECT_EQ(m_modals.boxes[i].icon, QMessageBox::Warning);
        EXPECT_EQ(m_modals.boxes[i].title, "Quorvex (1.0.202)");
    }
    EXPECT_EQ(m_modals.boxes[2].text, "The server is restarting. Please wait.");
    EXPECT_EQ(m_modals.boxes[2].title, "Restarting");
    EXPECT_EQ(m_modals.boxes[2].icon, QMessageBox::Information);
    EXPECT_FALSE(logText().contains("The server is restarting"));
    EXPECT_EQ(openedUrls().size(), 4);
}

TEST_F(MainWindowTest, AboutBoxShowsTheProgramsVersionInformation) {
    startCore();
    QStringList texts;
    m_modals.onDialog = [&](QWidget* dialog) {
        for (const char* name :
             {"lblProgramVersion", "lblProgramName", "lblCopyright", "lblDevelopedBy"})
            texts << dialog->findChild<QLabel*>(name)->text();
        static_cast<QDialog*>(dialog)->accept();
    };
    action("mnuHelpAbout")->trigger();
    ASSERT_EQ(texts.size(), 4);
    EXPECT_EQ(texts[0], "Program Version 1.0 (build 202)");
    EXPECT_EQ(texts[1], "Quorvex - Web Server");
    EXPECT_TRUE(texts[2].startsWith("Copyright"));
    EXPECT_TRUE(texts[3].startsWith("Developed by "));
}

TEST_F(MainWindowTest, ClosingTheWindowShutsDownInOrderAndUnloadsTheTraceLog) {
    startCore();
    action("mnuTraceLog")->trigger();
    EXPECT_TRUE(m_desktop->traceLog()->isVisible());
    const QString instance = m_program.instanceFolder(QCoreApplication::applicationPid());
    ASSERT_TRUE(QDir(instance).exists());
    action("mnuFileExit")->trigger();
    EXPECT_EQ(m_exitCode, 0);
    EXPECT_FALSE(QDir(instance).exists());
    EXPECT_FALSE(m_desktop->traceLog()->isVisible());
    EXPECT_FALSE(m_desktop->traceLog()->m_isvisible);
    EXPECT_FALSE(common::GetSetting("Quorvex - Web Server", "Settings", "Trace.Headers.Time.Width")
                     .isEmpty());
}

TEST_F(MainWindowTest, DataConnectionSettingsGetAFolderWithACommaWhole) {
    const QString app = m_program.beside("apps, europe");
    ASSERT_TRUE(QDir().rename(m_program.path("examples/microsoft access"), app));
    m_program.writeSettings("<ApplicationPath>" + app + "</ApplicationPath>");
    startCore();
    // The configuration mode, without a display, prints its configuration file; what the
    // data server prints reaches our standard error, sent to a file for the moment of the start.
    const QString printed = m_program.beside("printed");
    const int file = ::open(printed.toLocal8Bit(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(file, STDERR_FILENO);
    action("mnuDataConnectionSettings")->trigger();
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(file);
    EXPECT_TRUE(Eventually(
        [&] {
            return ReadFile(printed).contains("Configuration file: " + app.toUtf8() +
                                              "/dataserver.xml");
        },
        WAIT_MS))
        << ReadFile(printed).toStdString();
    EXPECT_TRUE(logText().contains("Data server config process id: "));
}
