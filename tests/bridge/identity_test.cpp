// What the web server hands a web application component of its client (cookies, address, user)
// and what it sends of the component's cookies, through the real HTTP server on loopback with
// a component that echoes its server variables.
#include "bridge/dynamicpages.h"
#include "bridge/pagecontext.h"
#include "common/dictionary.h"
#include "common/files.h"
#include "common/objectfactory.h"
#include "common/text.h"
#include "server/httpserver.h"
#include "tests/support/loopbackclient.h"
#include "tests/support/processes.h"
#include "tests/support/qtprinters.h"
#include "tests/support/recordeddiagnostics.h"
#include "webappapi/contextkeys.h"
#include "webappapi/webapplication.h"

#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <map>

namespace {

using Variables = std::map<QString, QString>;
using Answering = std::function<common::Response(common::DictionaryPtr& context)>;

// Answers with its ServerVariables, one "NAME=value" line each, unless told otherwise.
class EchoApplication final : public bridge::WebApplication {
public:
    explicit EchoApplication(const Answering& answering) : m_answering(answering) {}
    QString className() const override { return QStringLiteral("Quorvex.WebApp"); }
    void SetTranslation(pugi::xml_node) override {}
    common::Value ProcessRequest(common::DictionaryPtr&) override { return {}; }
    common::Response Answer(common::DictionaryPtr& context) override {
        return m_answering ? m_answering(context) : echo(context);
    }

    static common::Response echo(const common::DictionaryPtr& context) {
        const common::DictionaryPtr variables = context->item(bridge::keys::REQUEST)
                                                    .dictionary()
                                                    ->item(bridge::keys::SERVER_VARIABLES)
                                                    .dictionary();
        QString lines;
        for (const QString& key : variables->keys())
            lines += key + QLatin1Char('=') + common::ToText(variables->item(key)) + '\n';
        return common::Response::PageBody(lines.toUtf8());
    }

private:
    Answering m_answering;
};

Variables variablesOf(const QByteArray& answer) {
    Variables variables;
    for (const QString& line : QString::fromUtf8(support::SplitAnswer(answer).body).split('\n'))
        if (const qsizetype equals = line.indexOf('='); equals > 0)
            variables[line.left(equals)] = line.mid(equals + 1);
    return variables;
}

class IdentityTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        std::signal(SIGPIPE, SIG_IGN);
        m_context.ApplicationDictionary = common::NewDictionary();
        m_context.ApplicationPath = m_dir.path();
        answerWith({});
        m_config.webRootFolder = m_dir.path();
        m_server = std::make_unique<server::HttpServer>(m_config, m_pages);
        ASSERT_EQ(m_server->tryListen(0), 0);
        m_port = m_server->serverPort();
    }
    void TearDown() override {
        m_server.reset();
        common::ObjectFactory::instance().removeClass(
            QString::fromLatin1(bridge::WEB_APPLICATION_CLASS));
    }
    void answerWith(const Answering& answering) {
        common::ObjectFactory::instance().registerClass(
            QString::fromLatin1(bridge::WEB_APPLICATION_CLASS),
            [answering] { return std::make_shared<EchoApplication>(answering); });
    }
    void trust(const QString& proxies) {
        m_config.trustedProxies = server::ParseAddressRanges(proxies).ranges;
    }
    // The whole answer to a GET of "/" with these header lines.
    QByteArray fetch(const QByteArray& headerLines = {}, bool ipv6 = false) {
        support::LoopbackClient client(m_port, ipv6);
        EXPECT_TRUE(client.connected());
        client.send("GET /?page=x HTTP/1.1\r\nHost: t\r\n" + headerLines + "\r\n");
        return client.readToEnd();
    }
    Variables variables(const QByteArray& headerLines = {}) {
        return variablesOf(fetch(headerLines));
    }
    // The answer's header lines after its first (status) line.
    QStringList headOf(const QByteArray& answer) { return support::SplitAnswer(answer).head; }

    QTemporaryDir m_dir;
    support::RecordedDiagnostics m_diagnostics{m_dir.path()};
    bridge::PageContext m_context;
    bridge::DynamicPages m_pages{m_context, [] { return true; }};
    server::HttpConfig m_config;
    std::unique_ptr<server::HttpServer> m_server;
    quint16 m_port = 0;
};

const QByteArray FROM_A_CLIENT = "Cookie: a=1\r\nUser-Agent: t\r\ncookie: b=2; c=3\r\n"
                                 "Remote-User: alice\r\nX-Forwarded-For: 203.0.113.9\r\n";

} // namespace

TEST_F(IdentityTest, ALoopbackClientIsTheAccountThatOwnsItsSocketWhateverItClaims) {
    const Variables v = variables(FROM_A_CLIENT);
    EXPECT_EQ(v.at("REMOTE_USER"), common::CurrentUserName());
    EXPECT_FALSE(v.at("REMOTE_USER").isEmpty());
    EXPECT_EQ(v.at("AUTH_TYPE"), "Local");
    EXPECT_EQ(v.at("REMOTE_ADDR"), "127.0.0.1"); // not the address it forwarded
    EXPECT_EQ(v.at("REMOTE_HOST"), "127.0.0.1");
    EXPECT_EQ(v.at("HTTP_COOKIE"), "a=1; b=2; c=3");
    EXPECT_EQ(v.at("HTTPS"), "off");

    const Variables none = variables();
    EXPECT_EQ(none.at("HTTP_COOKIE"), "");
    EXPECT_EQ(none.at("REMOTE_USER"), common::CurrentUserName());

    support::LoopbackClient probe(m_port, true);
    if (!probe.connected())
        return; // no IPv6 loopback here
    const Variables v6 = variablesOf(fetch({}, true));
    EXPECT_EQ(v6.at("REMOTE_ADDR"), "::1");
    EXPECT_EQ(v6.at("AUTH_TYPE"), "Local");
}

TEST_F(IdentityTest, AClientOfAnotherAccountIsThatAccount) {
    const auto nobody = support::SecondUser();
    if (!nobody || !QFile::exists("/usr/bin/curl"))
        GTEST_SKIP() << "needs root (to run a client as nobody) and curl";
    support::ChildProcess curl("/usr/bin/curl",
                               {"-q", "-s", "--noproxy", "*", "-H", "Remote-User: root",
                                QStringLiteral("http://127.0.0.1:%1/?page=x").arg(m_port)},
                               {}, {}, support::RunAs(*nobody));
    ASSERT_TRUE(curl.started());
    ASSERT_TRUE(
        support::Eventually([&curl] { return curl.process().state() == QProcess::NotRunning; }));
    const QString body = QString::fromUtf8(curl.process().readAllStandardOutput());
    EXPECT_TRUE(body.contains("\nREMOTE_USER=" + common::AccountName(nobody->uid) + "\n"))
        << body.toStdString();
    EXPECT_TRUE(body.contains("\nAUTH_TYPE=Local\n"));
}

TEST_F(IdentityTest, ATrustedProxyNamesTheUserAndTheClientAndWithoutANameItIsAnonymous) {
    trust("192.0.2.1, 127.0.0.0/8");
    Variables v = variables(FROM_A_CLIENT);
    EXPECT_EQ(v.at("REMOTE_USER"), "alice");
    EXPECT_EQ(v.at("AUTH_TYPE"), "Proxy");
    EXPECT_EQ(v.at("REMOTE_ADDR"), "203.0.113.9");
    EXPECT_EQ(v.at("REMOTE_HOST"), "127.0.0.1");
    EXPECT_EQ(v.at("HTTP_COOKIE"), "a=1; b=2; c=3");

    // Never the proxy's own account: it speaks for its clients.
    v = variables("X-Forwarded-For: 203.0.113.9\r\n");
    EXPECT_EQ(v.at("REMOTE_USER"), "");
    EXPECT_EQ(v.at("AUTH_TYPE"), "");
    v = variables("Remote-User: al\x01ice\r\n");
    EXPECT_EQ(v.at("REMOTE_USER"), "");
    EXPECT_EQ(v.at("REMOTE_ADDR"), "127.0.0.1");
    EXPECT_EQ(m_diagnostics.tracesStartingWith("[127.0.0.1] Remote-User of a trusted proxy"), 1);

    // Trusting another address leaves this peer what it is.
    trust("192.0.2.1");
    v = variables(FROM_A_CLIENT);
    EXPECT_EQ(v.at("REMOTE_USER"), common::CurrentUserName());
    EXPECT_EQ(v.at("AUTH_TYPE"), "Local");
}

TEST_F(IdentityTest, CookiesTheComponentSetsGoOutOnItsPageAndOnlyThoseFitForAHeaderLine) {
    answerWith([](common::DictionaryPtr& context) {
        context->setItem(bridge::keys::SET_COOKIE,
                         QString::fromUtf8("sid=abc; Path=/; HttpOnly\n\n  \nlang=de\n"
                                           "evil=1\rSet-Cookie: admin=1\nname=m\u00fcller\n"
                                           "tab=a\tb\n"));
        return common::Response::PageBody("<p>page</p>");
    });
    const QByteArray answer = fetch();
    const QStringList head = headOf(answer);
    ASSERT_GE(head.size(), 7);
    EXPECT_EQ(head.mid(head.size() - 7),
              QStringList({"Content-Length: 11", "Set-Cookie: sid=abc; Path=/; HttpOnly",
                           "Set-Cookie: lang=de", "Cache-Control: no-store",
                           "X-Frame-Options: SAMEORIGIN", "X-Content-Type-Options: nosniff",
                           "Connection: close"}));
    EXPECT_EQ(head.first(), "HTTP/1.1 200 OK");
    EXPECT_TRUE(answer.endsWith("\r\n\r\n<p>page</p>"));
    EXPECT_EQ(m_diagnostics.tracesStartingWith("A cookie the web application set"), 3);

    // A page without cookies keeps the head it always had.
    answerWith({});
    const QStringList plain = headOf(fetch());
    EXPECT_EQ(plain.filter("Set-Cookie").size() + plain.filter("Cache-Control").size(), 0);
    EXPECT_EQ(plain.last(), "Connection: close");
}

TEST_F(IdentityTest, CookiesGoOutOnRedirectsAndOnAnswersTheComponentMadeWhole) {
    answerWith([](common::DictionaryPtr& context) {
        context->setItem(bridge::keys::REDIRECT, "/?page=home");
        context->setItem(bridge::keys::SET_COOKIE, "sid=new; Path=/\r\n");
        return common::Response::PageBody({});
    });
    EXPECT_EQ(headOf(fetch()), QStringList({"HTTP/1.0 302 Redirect", "Status: 302 Moved",
                                            "Location: /?page=home", "Connection: close"}))
        << "a line ended by CR LF holds a CR: it is not sent";
    answerWith([](common::DictionaryPtr& context) {
        context->setItem(bridge::keys::REDIRECT, "/?page=home");
        context->setItem(bridge::keys::SET_COOKIE, "sid=; Max-Age=0\nother=1");
        return common::Response::PageBody({});
    });
    EXPECT_EQ(headOf(fetch()),
              QStringList({"HTTP/1.0 302 Redirect", "Status: 302 Moved", "Location: /?page=home",
                           "Set-Cookie: sid=; Max-Age=0", "Set-Cookie: other=1",
                           "Cache-Control: no-store", "Connection: close"}));

    // A complete answer of its own: the cookie before its Connection line, and whatever it
    // said of caches replaced, since a cached cookie would reach other users.
    answerWith([](common::DictionaryPtr& context) {
        context->setItem(bridge::keys::SET_COOKIE, "sid=1");
        common::Response r(403);
        r.add("Cache-Control", QByteArrayLiteral("max-age=600"))
            .add("Content-Length", QByteArrayLiteral("0"))
            .add("Connection", QByteArrayLiteral("close"));
        return r;
    });
    EXPECT_EQ(headOf(fetch()),
              QStringList({"HTTP/1.1 403 Forbidden", "Cache-Control: no-store", "Content-Length: 0",
                           "Set-Cookie: sid=1", "Connection: close"}));

    // An answer written whole as text cannot take them: sent as written, and the loss traced.
    answerWith([](common::DictionaryPtr& context) {
        context->setItem(bridge::keys::SET_COOKIE, "sid=1");
        return common::Response::Verbatim("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
    });
    EXPECT_EQ(fetch(), "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(m_diagnostics.tracesStartingWith("The web application wrote its whole answer"), 1);
}
