#include "common/error.h"
#include "core/configuration.h"
#include "core/partconfiguration.h"
#include "core/settings.h"
#include "server/httpconfig.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"
#include "tests/support/recordeddiagnostics.h"

#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace core;

namespace {
const QString PROGRAM = "/prog";
const QString DEFAULT_APP = "/prog/examples/microsoft access";

class SettingsTest : public ::testing::Test {
protected:
    QString file() const { return m_dir.filePath("webserver.xml"); }
    void write(const QByteArray& bytes) { ASSERT_TRUE(support::WriteFile(file(), bytes)); }
    QByteArray content() const { return support::ReadFile(file()); }
    Settings load(int freePort = 8123) {
        return LoadSettings(file(), PROGRAM, [this, freePort](int start, int end) {
            m_scans.append(QString("%1-%2").arg(start).arg(end));
            return freePort;
        });
    }

    QTemporaryDir m_dir;
    QStringList m_scans;
};
} // namespace

TEST_F(SettingsTest, MissingFileScansAndWritesTheDefaultsOnOneLine) {
    const Settings s = load();
    EXPECT_EQ(m_scans, QStringList({"80-100"}));
    EXPECT_EQ(s.TCPPort, 8123);
    EXPECT_EQ(s.ApplicationPath, DEFAULT_APP);
    EXPECT_FALSE(s.DebugMode);
    EXPECT_EQ(s.SessionTimeout, 20);
    EXPECT_EQ(s.CacheExpiresStatic, 1.0);
    EXPECT_EQ(s.CacheExpiresDynamic, 0.0);
    EXPECT_EQ(content(), "<Settings><ProductName>Quorvex</ProductName><ProductVersion>1.0.202"
                         "</ProductVersion><TCPPort>8123</TCPPort><ApplicationPath>/prog/examples/"
                         "microsoft access</ApplicationPath><DebugMode>0</DebugMode>"
                         "<CacheExpiresStatic>1</CacheExpiresStatic><CacheExpiresDynamic>0"
                         "</CacheExpiresDynamic><SessionTimeout>20</SessionTimeout>"
                         "<FirstRun>0</FirstRun></Settings>");
    // Read back unchanged: no second scan.
    m_scans.clear();
    EXPECT_EQ(load().TCPPort, 8123);
    EXPECT_TRUE(m_scans.isEmpty());
}

TEST_F(SettingsTest, BrokenFilesNeverFailTheyGiveDefaults) {
    for (const QByteArray& bytes :
         {QByteArray(), QByteArray("not xml"), QByteArray("<a><b></a>")}) {
        write(bytes);
        m_scans.clear();
        const Settings s = load(90);
        EXPECT_EQ(m_scans.size(), 1);
        EXPECT_EQ(s.TCPPort, 90);
        EXPECT_TRUE(content().contains("<TCPPort>90</TCPPort>"));
    }
    write("<Settings><TCPPort>abc</TCPPort><ApplicationPath>/app</ApplicationPath></Settings>");
    EXPECT_EQ(load(91).TCPPort, 91);
    EXPECT_TRUE(content().contains("<TCPPort>91</TCPPort><ApplicationPath>/app</ApplicationPath>"));
}

TEST_F(SettingsTest, ValuesAreReadExactlyAndTolerantly) {
    write("<Other><x><TCPPort>8080</TCPPort></x><DebugMode>true</DebugMode><FirstRun>1</FirstRun>"
          "<SessionTimeout>-5</SessionTimeout><CacheExpiresStatic>0.5</CacheExpiresStatic>"
          "<CacheExpiresDynamic>x</CacheExpiresDynamic></Other>");
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German)); // a decimal comma must not matter
    Settings s = load();
    QLocale::setDefault(saved);
    EXPECT_TRUE(m_scans.isEmpty());
    EXPECT_EQ(s.TCPPort, 8080);
    EXPECT_FALSE(s.DebugMode);
    EXPECT_TRUE(s.FirstRun);
    EXPECT_EQ(s.SessionTimeout, 20);
    EXPECT_EQ(s.CacheExpiresStatic, 0.5);
    EXPECT_EQ(s.CacheExpiresDynamic, 0.0);
    EXPECT_EQ(s.ApplicationPath, DEFAULT_APP); // in memory only
    EXPECT_FALSE(content().contains("<ApplicationPath>"));

    write("<Settings><TCPPort>81</TCPPort><DebugMode> 1</DebugMode><SessionTimeout>0"
          "</SessionTimeout></Settings>");
    s = load();
    EXPECT_FALSE(s.DebugMode);
    EXPECT_EQ(s.SessionTimeout, 0);
    write("<Settings><TCPPort>81</TCPPort><DebugMode>1</DebugMode></Settings>");
    EXPECT_TRUE(load().DebugMode);
}

TEST_F(SettingsTest, SaveCarriesOnlyPortFolderDebugAndFirstRun) {
    write("<Settings><TCPPort>81</TCPPort><SessionTimeout>60</SessionTimeout>"
          "<CacheExpiresStatic>3</CacheExpiresStatic><FirstRun>1</FirstRun></Settings>");
    Settings s = load();
    EXPECT_EQ(s.SessionTimeout, 60);
    s.DebugMode = true;
    SaveSettings(file(), s, PROGRAM);
    SaveSettings(file(), load(), PROGRAM);
    const QByteArray saved = content();
    EXPECT_TRUE(saved.contains("<SessionTimeout>20</SessionTimeout>"));
    EXPECT_TRUE(saved.contains("<CacheExpiresStatic>1</CacheExpiresStatic>"));
    EXPECT_TRUE(saved.contains("<DebugMode>1</DebugMode>"));
    EXPECT_TRUE(saved.endsWith("<FirstRun>1</FirstRun></Settings>"));
    EXPECT_FALSE(saved.contains('\n'));
}

TEST_F(SettingsTest, UnsetPortWithEmptyFolderSavesTheFolderEmpty) {
    write("<Settings><ApplicationPath></ApplicationPath></Settings>");
    const Settings s = load();
    EXPECT_EQ(s.ApplicationPath, DEFAULT_APP);
    EXPECT_TRUE(content().contains("<TCPPort>8123</TCPPort><ApplicationPath></ApplicationPath>") ||
                content().contains("<TCPPort>8123</TCPPort><ApplicationPath/>"));
}

TEST_F(SettingsTest, AFileThatCannotBeWrittenRaises) {
    const QString missing = m_dir.filePath("no/such/folder/webserver.xml");
    EXPECT_THROW(LoadSettings(missing, PROGRAM, [](int, int) { return 80; }), common::Error);
    EXPECT_THROW(SaveSettings(missing, Settings{}, PROGRAM), common::Error);
}

TEST_F(SettingsTest, TrustedProxiesAreKeptThroughSavesAndParsedForTheServerSkippingWhatIsNone) {
    write("<Settings><TCPPort>81</TCPPort><TrustedProxies> 192.0.2.10,\n fd00::/8  proxy.lan "
          "10.0.0.0/33</TrustedProxies></Settings>");
    Settings s = load();
    EXPECT_EQ(s.TrustedProxies, "192.0.2.10, fd00::/8 proxy.lan 10.0.0.0/33");
    s.DebugMode = true; // any save, as the settings dialog's
    SaveSettings(file(), s, PROGRAM);
    EXPECT_TRUE(content().endsWith("<FirstRun>0</FirstRun><TrustedProxies>192.0.2.10, fd00::/8 "
                                   "proxy.lan 10.0.0.0/33</TrustedProxies></Settings>"))
        << content().toStdString();
    EXPECT_EQ(load().TrustedProxies, s.TrustedProxies);

    const support::RecordedDiagnostics diagnostics(m_dir.path());
    Configuration configuration;
    configuration.settings = s;
    server::HttpConfig http;
    ConfigureHttpServer(configuration, http);
    EXPECT_EQ(http.trustedProxies, server::ParseAddressRanges(u"192.0.2.10 fd00::/8").ranges);
    EXPECT_EQ(diagnostics.tracesStartingWith("TrustedProxies: \"proxy.lan\" is neither"), 1);
    EXPECT_EQ(diagnostics.tracesStartingWith("TrustedProxies: \"10.0.0.0/33\" is neither"), 1);

    // None by default, and none written.
    s.TrustedProxies.clear();
    SaveSettings(file(), s, PROGRAM);
    EXPECT_FALSE(content().contains("TrustedProxies"));
    EXPECT_EQ(load().TrustedProxies, "");
}
