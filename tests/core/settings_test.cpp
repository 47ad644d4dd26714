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
#include <algorithm>
#include <functional>
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
    // Each scan is recorded as "first-last" ("https first-last"). The first free port is
    // freePort (m_httpsFree) or the first one asked for above it; 0: none is free.
    Settings load(int freePort = 8123) {
        return LoadSettings(file(), PROGRAM, scanner("", freePort), scanner("https ", m_httpsFree));
    }
    PortScanner scanner(const QString& kind, int freePort) {
        return [this, kind, freePort](int start, int end) {
            m_scans.append(kind + QString("%1-%2").arg(start).arg(end));
            return freePort == 0 ? 0 : std::max(freePort, start);
        };
    }

    QTemporaryDir m_dir;
    QStringList m_scans;
    int m_httpsFree = 443;
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
    const PortScanner scanner = [](int, int) { return 80; };
    EXPECT_THROW(LoadSettings(missing, PROGRAM, scanner, scanner), common::Error);
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

namespace {
const QByteArray HTTPS_DEFAULTS = "<HttpsEnabled>0</HttpsEnabled><HttpsPort/><HttpsCertificate/>"
                                  "<HttpsKey/><HttpRedirect>0</HttpRedirect><HstsMaxAge/>";
} // namespace

TEST_F(SettingsTest, HttpsValuesGoThroughSavesAsWritten) {
    write("<Settings><TCPPort>81</TCPPort></Settings>");
    Settings s = load();
    s.HttpsEnabled = true;
    s.HttpsPort = 8443;
    s.HttpsCertificate = "certs/Zertifikat & Kette.pem"; // relative: kept, not resolved here
    s.HttpsKey = "/etc/quorvex/site.key";
    s.HttpRedirect = true;
    s.HstsMaxAge = 31536000;
    SaveSettings(file(), s, PROGRAM);
    EXPECT_TRUE(content().endsWith(
        "<FirstRun>0</FirstRun><HttpsEnabled>1</HttpsEnabled><HttpsPort>8443</HttpsPort>"
        "<HttpsCertificate>certs/Zertifikat &amp; Kette.pem</HttpsCertificate><HttpsKey>"
        "/etc/quorvex/site.key</HttpsKey><HttpRedirect>1</HttpRedirect><HstsMaxAge>31536000"
        "</HstsMaxAge></Settings>"))
        << content().toStdString();
    EXPECT_FALSE(content().contains('\n'));
    const Settings back = load();
    EXPECT_TRUE(m_scans.isEmpty());
    EXPECT_TRUE(back.HttpsEnabled);
    EXPECT_EQ(back.HttpsPort, 8443);
    EXPECT_EQ(back.HttpsCertificate, s.HttpsCertificate);
    EXPECT_EQ(back.HttpsKey, s.HttpsKey);
    EXPECT_TRUE(back.HttpRedirect);
    EXPECT_EQ(back.HstsMaxAge, 31536000);
    // A command that only reads sees them too.
    EXPECT_EQ(ReadSettings(file(), PROGRAM).HttpsCertificate, s.HttpsCertificate);
}

TEST_F(SettingsTest, HttpsIsWrittenOnlyOnceAnyOfItsValuesIsSetAndThenWhole) {
    write("<Settings><TCPPort>81</TCPPort></Settings>");
    const Settings loaded = load();
    SaveSettings(file(), loaded, PROGRAM);
    EXPECT_FALSE(content().contains("Http")) << content().toStdString();

    const std::vector<std::pair<const char*, std::function<void(Settings&)>>> changes = {
        {"<HttpsEnabled>1</HttpsEnabled>", [](Settings& s) { s.HttpsEnabled = true; }},
        {"<HttpsPort>443</HttpsPort>", [](Settings& s) { s.HttpsPort = 443; }},
        {"<HttpsCertificate>c.pem</HttpsCertificate>",
         [](Settings& s) { s.HttpsCertificate = "c.pem"; }},
        {"<HttpsKey>k.pem</HttpsKey>", [](Settings& s) { s.HttpsKey = "k.pem"; }},
        {"<HttpRedirect>1</HttpRedirect>", [](Settings& s) { s.HttpRedirect = true; }},
        {"<HstsMaxAge>60</HstsMaxAge>", [](Settings& s) { s.HstsMaxAge = 60; }},
    };
    for (const auto& [element, change] : changes) {
        Settings s = loaded;
        change(s);
        SaveSettings(file(), s, PROGRAM);
        const QByteArray saved = content();
        EXPECT_TRUE(saved.contains(element)) << saved.toStdString();
        for (const char* name : {"<HttpsEnabled>", "<HttpsPort", "<HttpsCertificate", "<HttpsKey",
                                 "<HttpRedirect>", "<HstsMaxAge"})
            EXPECT_TRUE(saved.contains(name)) << element << " without " << name;
        EXPECT_TRUE(saved.endsWith("</Settings>"));
    }

    // All six back at their defaults, as a hand-edited file may hold them: gone at the save.
    write("<Settings><TCPPort>81</TCPPort>" + HTTPS_DEFAULTS + "</Settings>");
    SaveSettings(file(), load(), PROGRAM);
    EXPECT_FALSE(content().contains("Http")) << content().toStdString();
}

TEST_F(SettingsTest, HttpsOnWithoutAPortScansForOneAndWritesItBack) {
    write("<Settings><TCPPort>81</TCPPort><HttpsEnabled>1</HttpsEnabled></Settings>");
    Settings s = load();
    EXPECT_EQ(m_scans, QStringList({"https 443-463"}));
    EXPECT_EQ(s.HttpsPort, 443);
    EXPECT_EQ(s.TCPPort, 81);
    EXPECT_TRUE(content().contains("<TCPPort>81</TCPPort>"));
    EXPECT_TRUE(content().contains("<HttpsEnabled>1</HttpsEnabled><HttpsPort>443</HttpsPort>"));
    m_scans.clear();
    EXPECT_EQ(load().HttpsPort, 443);
    EXPECT_TRUE(m_scans.isEmpty());

    // Both ports missing: both scans, both ports in the file.
    write("<Settings><HttpsEnabled>1</HttpsEnabled><HttpsPort>abc</HttpsPort></Settings>");
    m_scans.clear();
    s = load(90);
    EXPECT_EQ(m_scans, QStringList({"80-100", "https 443-463"}));
    EXPECT_TRUE(content().contains("<TCPPort>90</TCPPort>"));
    EXPECT_TRUE(content().contains("<HttpsPort>443</HttpsPort>"));

    // None free: written without a port, and looked for again at the next start.
    m_httpsFree = 0;
    write("<Settings><TCPPort>81</TCPPort><HttpsEnabled>1</HttpsEnabled></Settings>");
    m_scans.clear();
    EXPECT_EQ(load().HttpsPort, 0);
    EXPECT_TRUE(content().contains("<HttpsEnabled>1</HttpsEnabled><HttpsPort/>") ||
                content().contains("<HttpsEnabled>1</HttpsEnabled><HttpsPort></HttpsPort>"))
        << content().toStdString();
    load();
    EXPECT_EQ(m_scans, QStringList({"https 443-463", "https 443-463"}));

    // HTTPS off, or its port set: no scan, nothing written; nor when only reading.
    for (const QByteArray& https :
         {QByteArray("<HttpsEnabled>0</HttpsEnabled>"),
          QByteArray("<HttpsEnabled>1</HttpsEnabled><HttpsPort>4443</HttpsPort>")}) {
        const QByteArray file = "<Settings><TCPPort>81</TCPPort>" + https + "</Settings>";
        write(file);
        m_scans.clear();
        load();
        EXPECT_TRUE(m_scans.isEmpty()) << https.toStdString();
        EXPECT_EQ(content(), file);
    }
    const QByteArray unset = "<Settings><HttpsEnabled>1</HttpsEnabled></Settings>";
    write(unset);
    EXPECT_EQ(ReadSettings(this->file(), PROGRAM).HttpsPort, 0);
    EXPECT_EQ(ReadSettings(this->file(), PROGRAM).TCPPort, 0);
    EXPECT_EQ(content(), unset);
}

TEST_F(SettingsTest, AScanNeverHandsOutThePortTheOtherListenerHas) {
    // The HTTP port lies in the HTTPS range: the HTTPS scan goes on after it.
    write("<Settings><TCPPort>443</TCPPort><HttpsEnabled>1</HttpsEnabled></Settings>");
    EXPECT_EQ(load().HttpsPort, 444);
    EXPECT_EQ(m_scans, QStringList({"https 443-463", "https 444-463"}));
    // The HTTPS port is where an unprivileged user's HTTP scan ends up: the scan goes on as
    // far past it.
    write("<Settings><HttpsEnabled>1</HttpsEnabled><HttpsPort>8080</HttpsPort></Settings>");
    m_scans.clear();
    EXPECT_EQ(load(8080).TCPPort, 8081);
    EXPECT_EQ(m_scans, QStringList({"80-100", "8081-8100"}));
    // With HTTPS off its port is nobody's.
    write("<Settings><HttpsPort>8080</HttpsPort></Settings>");
    m_scans.clear();
    EXPECT_EQ(load(8080).TCPPort, 8080);
}

TEST_F(SettingsTest, UnusableHttpsValuesReadAsTheirDefaults) {
    struct Case {
        const char* elements;
        bool enabled;
        int32_t port;
        bool redirect;
        int32_t maxAge;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"<HttpsEnabled>true</HttpsEnabled><HttpRedirect>yes</HttpRedirect>", false, 0, false,
              0},
             {"<HttpsEnabled> 1</HttpsEnabled><HttpRedirect>1 </HttpRedirect>", false, 0, false, 0},
             {"<HttpsPort>x</HttpsPort><HstsMaxAge>-5</HstsMaxAge>", false, 0, false, 0},
             {"<HttpsPort>4443</HttpsPort><HstsMaxAge>soon</HstsMaxAge>", false, 4443, false, 0},
             {"<HttpsPort></HttpsPort><HstsMaxAge>0</HstsMaxAge><HttpRedirect>1</HttpRedirect>",
              false, 0, true, 0},
             {"<HttpsEnabled>1</HttpsEnabled><HttpsPort>4443</HttpsPort><HstsMaxAge>300"
              "</HstsMaxAge>",
              true, 4443, false, 300},
         }) {
        write(QByteArray("<Settings><TCPPort>81</TCPPort>") + c.elements + "</Settings>");
        const Settings s = load();
        EXPECT_EQ(s.HttpsEnabled, c.enabled) << c.elements;
        EXPECT_EQ(s.HttpsPort, c.port) << c.elements;
        EXPECT_EQ(s.HttpRedirect, c.redirect) << c.elements;
        EXPECT_EQ(s.HstsMaxAge, c.maxAge) << c.elements;
    }
}
