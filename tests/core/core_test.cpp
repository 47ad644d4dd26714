#include "bridge/pagecontext.h"
#include "core/webserver.h"
#include "server/httpconfig.h"
#include "startupfixture.h"
#include "supervision/supervisor.h"
#include "webappapi/adminkey.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUrl>
#include <climits>

namespace {

// The core with the texts of the listener's outcomes.
class CoreTest : public StartupFixture {
protected:
    void SetUp() override {
        StartupFixture::SetUp();
        ASSERT_TRUE(support::WriteFile(
            path("core.xml"),
            "<Language><Label id=\"msgPortInUse\">Port {Port} is already in use.</Label>"
            "<Label id=\"msgServerRunning\">Server is running on port {Port}</Label></Language>"));
        i18n::SetLanguageOverrides(path("core.xml"), QString());
        i18n::LoadLanguage("en");
    }
    bool traced(const QString& text) const { return m_diagnostics.traces.contains(text); }
    static void setPort(core::WebServer& core, int port) {
        core::Settings settings = core.settings();
        settings.TCPPort = port;
        core.applySettings(settings);
    }
};

} // namespace

TEST_F(CoreTest, StartServerShowsWhatTheListenerFoundAndStopServerTheStop) {
    core::WebServer hidden(m_ui, {"hidden"});
    hidden.StartServer(); // no port
    EXPECT_TRUE(traced("You must specify the port number of this server."));
    EXPECT_FALSE(hidden.windowState().serverStarted);

    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::Any, 0));
    const QString port = QString::number(holder.serverPort());
    setPort(hidden, holder.serverPort());
    hidden.StartServer();
    EXPECT_TRUE(traced("Port " + port + " is already in use."));
    EXPECT_EQ(hidden.windowState().statusText, "Server is running on port " + port);
    EXPECT_TRUE(hidden.windowState().serverStarted && hidden.windowState().linksVisible);
    EXPECT_EQ(m_ui.settingsShown, 0); // hidden: nobody could answer the dialog

    core::WebServer shown(m_ui, {});
    setPort(shown, holder.serverPort());
    shown.StartServer();
    EXPECT_EQ(m_ui.settingsShown, 1);
    holder.close();
    shown.StartServer();
    EXPECT_EQ(QString::number(shown.serverPort()), port);

    shown.StopServer();
    EXPECT_EQ(shown.windowState().statusText, "Server is stopped");
    EXPECT_FALSE(shown.windowState().serverStarted);
    EXPECT_EQ(shown.serverPort(), 0);
}

TEST_F(CoreTest, EveryConnectionIsCountedAndTheCounterWrapsToZero) {
    core::WebServer core(m_ui, {"hidden"});
    setPort(core, core.ScanPorts(20000, 40000));
    core.StartServer();
    ASSERT_GT(core.serverPort(), 0);
    QSignalSpy changes(&core, &core::WebServer::stateChanged);
    for (const int expected : {1, 2}) {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, core.serverPort());
        EXPECT_TRUE(QTest::qWaitFor([&] { return core.windowState().totalRequests == expected; }));
    }
    EXPECT_EQ(changes.count(), 2);

    core::WindowState state;
    state.totalRequests = INT_MAX;
    state.countRequest();
    EXPECT_EQ(state.totalRequests, 0);
}

TEST_F(CoreTest, TheSiteAddressWritesItsSchemeInCapitalsAndParsesAsHttp) {
    core::WebServer core(m_ui, {});
    setPort(core, 8081);
    EXPECT_EQ(core.LocalSiteAddress(true), "HTTP://localhost:8081/");
    // No computer name known yet: localhost stands in.
    EXPECT_EQ(core.LocalSiteAddress(false), "HTTP://localhost:8081/");
    const QUrl url(core.LocalSiteAddress(true) + "?page=admin");
    EXPECT_TRUE(url.isValid());
    EXPECT_EQ(url.scheme(), "http");
    EXPECT_EQ(url.host(), "localhost");
    EXPECT_EQ(url.port(), 8081);
    EXPECT_EQ(url.query(), "page=admin");

    // With HTTPS on, the window's links go there.
    core::Settings settings = core.settings();
    settings.HttpsEnabled = true;
    settings.HttpsPort = 8443;
    core.applySettings(settings);
    EXPECT_EQ(core.LocalSiteAddress(true), "https://localhost:8443/");
}

TEST_F(CoreTest, AdministrationOpensThisServersOwnPageWithTheRunsKey) {
    core::WebServer core(m_ui, {});
    setPort(core, 8081);
    core.ShowAdminPage();
    EXPECT_EQ(m_ui.opened, QStringList({"HTTP://localhost:8081/?page=admin&key=" +
                                        bridge::AdminKey(core.values().RunSecret)}));
}

// The settings dialog hands its values to the core once; the HTTP server, the data server's
// supervision and the dynamic pages each see them from then on, and the same Application
// Dictionary.
TEST_F(CoreTest, EveryPartSeesTheSettingsTheCoreTakes) {
    core::WebServer core(m_ui, {"hidden"});
    core::Settings settings = core.settings();
    settings.TCPPort = 8123;
    settings.ApplicationPath = path("app");
    settings.DebugMode = true;
    settings.SessionTimeout = 45;
    settings.CacheExpiresStatic = 2.5;
    settings.CacheExpiresDynamic = 0.25;
    core.applySettings(settings);

    const server::HttpConfig& http = core.httpConfig();
    EXPECT_EQ(http.tcpPort, 8123);
    EXPECT_EQ(http.cacheExpiresStatic, 2.5);
    EXPECT_EQ(http.cacheExpiresDynamic, 0.25);
    const dataserver::SupervisorConfig& supervision = core.supervisor().config();
    EXPECT_EQ(supervision.ApplicationPath, path("app"));
    EXPECT_TRUE(supervision.stopRequested) << "the core's stop stays known to the supervision";
    const bridge::PageContext& pages = core.pageContext();
    EXPECT_EQ(pages.ApplicationPath, path("app"));
    EXPECT_TRUE(pages.DebugMode);
    EXPECT_EQ(pages.SessionTimeout, 45);
    EXPECT_TRUE(pages.Server) << "the core's status stays known to the pages";
    ASSERT_TRUE(core.values().ApplicationDictionary);
    EXPECT_EQ(pages.ApplicationDictionary, core.values().ApplicationDictionary);
    EXPECT_EQ(supervision.ApplicationDictionary, core.values().ApplicationDictionary);
}
