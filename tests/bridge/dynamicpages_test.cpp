// Dynamic pages through a scripted web application component registered with the real
// object factory, with the real trace and a real language document.
#include "bridge/dynamicpages.h"
#include "bridge/pagecontext.h"
#include "common/dictionary.h"
#include "common/error.h"
#include "common/objectfactory.h"
#include "common/text.h"
#include "diagnostics/trace.h"
#include "i18n/language.h"
#include "server/requesthandler.h"
#include "tests/support/qtprinters.h"
#include "tests/support/recordeddiagnostics.h"
#include "webappapi/answertext.h"
#include "webappapi/webapplication.h"

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

using Script = std::function<common::Value(common::DictionaryPtr& context)>;

// What the scripted component saw, per request.
struct Seen {
    QStringList calls;
    QStringList contextKeys;
    common::DictionaryPtr context;
    QString translationCode; // the "code" of the root SetTranslation got
};

class ScriptedApplication final : public bridge::WebApplication {
public:
    ScriptedApplication(Script script, Seen& seen) : m_script(std::move(script)), m_seen(seen) {}
    QString className() const override { return QStringLiteral("Quorvex.WebApp"); }
    void SetTranslation(pugi::xml_node root) override {
        m_seen.calls.append(QStringLiteral("SetTranslation"));
        m_seen.translationCode = QString::fromUtf8(root.attribute("code").value());
    }
    common::Value ProcessRequest(common::DictionaryPtr& context) override {
        m_seen.calls.append(QStringLiteral("ProcessRequest"));
        m_seen.contextKeys = context->keys();
        m_seen.context = context;
        return m_script(context);
    }

private:
    Script m_script;
    Seen& m_seen;
};

class DynamicPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_context.ApplicationDictionary = common::NewDictionary();
        m_context.ApplicationPath = "/apps/shop";
        m_context.ExcelInstalled = true;
        m_context.Server = [] {
            bridge::ServerStatus s;
            s.Version = "1.0.202";
            s.Port = 8080;
            s.TraceEntries = {"first", "second"};
            return s;
        };
        setScript([](common::DictionaryPtr&) { return common::Value("<p>page</p>"); });
    }
    void TearDown() override {
        i18n::UnloadLanguage();
        common::ObjectFactory::instance().removeClass(
            QString::fromLatin1(bridge::WEB_APPLICATION_CLASS));
    }
    void setScript(Script script) {
        common::ObjectFactory::instance().registerClass(
            QString::fromLatin1(bridge::WEB_APPLICATION_CLASS),
            [this, script] { return std::make_shared<ScriptedApplication>(script, m_seen); });
    }
    QString get(const QString& query = {}) {
        server::DynamicRequest r;
        r.method = "GET";
        r.query = query;
        r.userAgent = "curl/7.88";
        r.remoteAddress = "127.0.0.1";
        // The answer's text, as the wire has it.
        return bridge::ResponseText(m_pages.ProcessRequest(r));
    }
    // The number of the error a request raises; 0 when it raises none.
    int errorOf(const QString& query = {}) {
        try {
            get(query);
        } catch (const common::Error& e) {
            m_error = e.description();
            return e.number();
        }
        return 0;
    }

    QTemporaryDir m_dir;
    support::RecordedDiagnostics m_diagnostics{m_dir.path()};
    bool m_running = true;
    bridge::PageContext m_context;
    bridge::DynamicPages m_pages{m_context, [this] { return m_running; }};
    Seen m_seen;
    QString m_error;
};

TEST_F(DynamicPagesTest, TheComponentGetsAFullContextAndItsTextIsTheAnswer) {
    const QString language = m_dir.filePath("xx.xml");
    QFile file(language);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<Language code=\"xx\"><Label id=\"a\">A</Label></Language>");
    file.close();
    i18n::SetLanguageOverrides(language, QString());
    i18n::LoadLanguage("xx");
    EXPECT_EQ(get("a=1&b=x+y"), "<p>page</p>");
    EXPECT_EQ(m_seen.calls, QStringList({"SetTranslation", "ProcessRequest"}));
    EXPECT_EQ(m_seen.translationCode, "xx"); // the loaded document's root
    EXPECT_EQ(m_seen.contextKeys,
              QStringList({"PhysicalServerRoot", "PhysicalDocumentRoot", "Application", "Request",
                           "Messages", "ThemeFolder", "ImageFolder", "AdminFolder", "RelativePath",
                           "Debug", "DefaultUserMode", "Secret", "TempFolder", "SessionTimeout",
                           "InQueueFolder", "OutQueueFolder", "session", "Server"}));
    const common::DictionaryPtr request = m_seen.context->item("Request").dictionary();
    EXPECT_EQ(request->keys(), QStringList({"a", "b", "ServerVariables"}));
    const common::DictionaryPtr variables = request->item("ServerVariables").dictionary();
    EXPECT_EQ(variables->keys(), QStringList({"PATH_TRANSLATED", "SCRIPT_NAME", "HTTP_USER_AGENT",
                                              "REQUEST_METHOD", "HTTP_COOKIE", "REMOTE_ADDR",
                                              "REMOTE_USER", "AUTH_TYPE", "HTTPS", "REMOTE_HOST"}));
    EXPECT_EQ(common::ToText(variables->item("REQUEST_METHOD")), "GET");
    EXPECT_EQ(common::ToText(variables->item("REMOTE_HOST")), "127.0.0.1");

    const common::DictionaryPtr server = m_seen.context->item("Server").dictionary();
    EXPECT_EQ(server->keys(),
              QStringList({"Version", "StartTime", "Port", "TotalRequests", "InstanceName",
                           "LanguageCode", "DataServerRunning", "DataServerProcessId",
                           "DataServerLastAlive", "DataServerRestarts", "TraceEntries"}));
    EXPECT_TRUE(server->item("Port").isInt());
    EXPECT_TRUE(server->item("DataServerLastAlive").isEmpty()); // never seen
    ASSERT_TRUE(server->item("TraceEntries").isArray());
    EXPECT_EQ(common::ToText(server->item("TraceEntries").array().at(1)), "second");
    // Measured and traced for every page.
    EXPECT_EQ(m_diagnostics.tracesStartingWith("Processing time"), 1);
    EXPECT_TRUE(m_diagnostics.traceTimes.last().endsWith(" ms"));
}

TEST_F(DynamicPagesTest, TheApplicationIsSharedAndItsServerEntriesRewrittenPerRequest) {
    setScript([](common::DictionaryPtr& context) {
        const common::DictionaryPtr app = context->item("Application").dictionary();
        app->setItem("Counter", common::ToLong(app->item("Counter")) + 1);
        app->setItem("ApplicationFolder", "changed");
        app->setItem("ExcelInstalled", false);
        context->item("session").dictionary()->setItem("user", "x");
        context->item("Messages").dictionary()->setItem("m", "x");
        return common::Value();
    });
    EXPECT_EQ(get(), ""); // no value: an empty page
    const common::DictionaryPtr firstSession = m_seen.context->item("session").dictionary();
    EXPECT_EQ(get(), "");
    const common::DictionaryPtr app = m_context.ApplicationDictionary;
    EXPECT_EQ(common::ToLong(app->item("Counter")), 2);
    EXPECT_NE(m_seen.context->item("session").dictionary(), firstSession);
    // What the component changed is set again before its next call.
    get();
    EXPECT_EQ(common::ToText(app->item("ApplicationFolder")), "changed");
    int requests = 0;
    setScript([&requests](common::DictionaryPtr& context) {
        const common::DictionaryPtr a = context->item("Application").dictionary();
        requests += common::ToText(a->item("ApplicationFolder")) == "/apps/shop" &&
                    a->item("ExcelInstalled").isBool() && a->item("ExcelInstalled").boolean() &&
                    context->item("session").dictionary()->count() == 0 &&
                    context->item("Messages").dictionary()->count() == 0;
        return common::Value();
    });
    get();
    EXPECT_EQ(requests, 1);
}

TEST_F(DynamicPagesTest, EachContextIsNewAndFollowsThePageContextAsItStandsNow) {
    // A component that changes its context leaves the next one untouched.
    setScript([](common::DictionaryPtr& context) {
        context->setItem("Secret", "spoiled");
        context->setItem("Extra", 1);
        return common::Value();
    });
    m_context.RunSecret = "s1";
    get();
    setScript([](common::DictionaryPtr&) { return common::Value(); });
    get();
    EXPECT_EQ(common::ToText(m_seen.context->item("Secret")), "s1");
    EXPECT_FALSE(m_seen.context->Exists("Extra"));

    m_context.RunSecret = "s2";
    m_context.UrlPrefix = "/shop";
    m_context.DebugMode = true;
    m_context.SessionTimeout = 5;
    m_context.ApplicationDictionary = common::NewDictionary();
    get();
    const common::DictionaryPtr& context = m_seen.context;
    EXPECT_EQ(common::ToText(context->item("Secret")), "s2");
    EXPECT_EQ(common::ToText(context->item("ThemeFolder")), "/shop/themes");
    EXPECT_EQ(common::ToText(context->item("RelativePath")), "/shop");
    EXPECT_TRUE(context->item("Debug").boolean());
    EXPECT_EQ(context->item("SessionTimeout").toInt(), 5);
    EXPECT_EQ(context->item("Application").dictionary(), m_context.ApplicationDictionary);
}

TEST_F(DynamicPagesTest, ARedirectReplacesThePageOneWithALineBreakIsRefused) {
    struct Case {
        QString redirect;
        QString answer; // "" : refused with error 1000
    };
    const Case cases[] = {
        {"/login", "HTTP/1.0 302 Redirect\r\nStatus: 302 Moved\r\nLocation: /login\r\n"
                   "Connection: close\r\n\r\n"},
        {"", "<p>page</p>"},
        {"/x\r\nSet-Cookie: a=b", ""},
        {"/x\nX: y", ""},
        {"/x\r", ""},
    };
    for (const Case& c : cases) {
        setScript([&c](common::DictionaryPtr& context) {
            context->setItem("Redirect", c.redirect);
            return common::Value("<p>page</p>");
        });
        if (c.answer.isEmpty())
            EXPECT_EQ(errorOf(), common::ERR_PROGRAM) << c.redirect.toStdString();
        else
            EXPECT_EQ(get(), c.answer) << c.redirect.toStdString();
    }
}

TEST_F(DynamicPagesTest, ErrorsOfTheComponentAndOfItsCreationPassWithTheirNumbers) {
    setScript([](common::DictionaryPtr&) -> common::Value {
        throw common::Error(5, "Invalid procedure call", "WebApp");
    });
    EXPECT_EQ(errorOf(), 5);
    EXPECT_EQ(m_error, "Invalid procedure call");

    // Registered under the name but no web application.
    common::ObjectFactory::instance().registerClass(
        QString::fromLatin1(bridge::WEB_APPLICATION_CLASS), [] { return common::NewDictionary(); });
    EXPECT_EQ(errorOf(), common::ERR_CANNOT_CREATE);
    common::ObjectFactory::instance().removeClass(
        QString::fromLatin1(bridge::WEB_APPLICATION_CLASS));
    EXPECT_EQ(errorOf(), common::ERR_CANNOT_CREATE);
    EXPECT_EQ(m_error, "Error creating object: Quorvex.WebApp");
}

TEST_F(DynamicPagesTest, WhileTheDataServerIsDownNoComponentIsMade) {
    m_running = false;
    EXPECT_EQ(get(), "HTTP/1.1 500 Data Server is not running.\r\nConnection: close\r\n\r\nData "
                     "Server is not running. Check the database options and restart the web "
                     "server.\r\n\r\n");
    EXPECT_TRUE(m_seen.calls.isEmpty());
}

} // namespace
