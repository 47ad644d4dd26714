#include "common/error.h"
#include "diagnostics/log.h"
#include "diagnostics/trace.h"
#include "server/httpserver.h"
#include "server/tls/madecertificate.h"
#include "tests/support/loopbackclient.h"
#include "tests/support/tlsclient.h"
#include "webappapi/answertext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <openssl/ssl.h>

using diagnostics::Diagnostics;
using support::TlsAnswer;
using support::TlsFetch;

namespace {

class RecordingHandler final : public server::RequestHandler {
public:
    server::PageWork Prepare(const server::DynamicRequest& r) override {
        https.append(r.https);
        return [] { return bridge::ResponseFromText("<p>page</p>"); };
    }
    QList<bool> https;
};

// Everything but the Date and Expires lines, which may fall in the next second.
QByteArray withoutDates(QByteArray answer) {
    QList<QByteArray> lines = answer.split('\n');
    lines.removeIf([](const QByteArray& line) {
        return line.startsWith("Date: ") || line.startsWith("Expires: ");
    });
    return lines.join('\n');
}

class HttpsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        std::signal(SIGPIPE, SIG_IGN);
        Diagnostics::instance().reset();
        Diagnostics::instance().setInteractive(false);
        diagnostics::OpenLog(m_dir.path());
        Diagnostics::instance().setTraceSink(
            [this](const QString& text, const QString&) { m_trace.append(text); });
        m_config.webRootFolder = m_dir.filePath("wwwroot");
        ASSERT_TRUE(QDir().mkpath(m_config.webRootFolder));
        m_config.httpsEnabled = true;
        m_config.httpsCertificate = m_dir.filePath("cert.pem");
        m_config.httpsKey = m_dir.filePath("key.pem");
        makeCertificate(m_config.httpsCertificate, m_config.httpsKey);
        m_server = std::make_unique<server::HttpServer>(m_config, m_handler);
        ASSERT_EQ(m_server->tryListen(0), 0);
        m_server->loadCertificate();
        ASSERT_EQ(m_server->tryListen(0, server::Scheme::Https), 0);
        m_port = m_server->serverPort();
        m_securePort = m_server->serverPort(server::Scheme::Https);
    }
    void TearDown() override {
        m_server.reset();
        Diagnostics::instance().reset();
    }

    static void makeCertificate(const QString& certificate, const QString& key) {
        server::MakeSelfSignedCertificate(certificate, key, {{"localhost"}, {"127.0.0.1"}});
    }
    void writeFile(const QString& name, const QByteArray& content) {
        QFile f(m_config.webRootFolder + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QByteArray fetchPlain(const QByteArray& request) {
        support::LoopbackClient client(m_port);
        client.send(request);
        return client.readToEnd();
    }
    TlsAnswer fetch(const QByteArray& request, support::TlsClientOptions options = {}) {
        if (options.trustedCertificate.isEmpty())
            options.trustedCertificate = m_config.httpsCertificate;
        return TlsFetch(m_securePort, request, options);
    }
    bool traced(const QString& part) const {
        return std::any_of(m_trace.begin(), m_trace.end(),
                           [&](const QString& line) { return line.contains(part); });
    }

    QTemporaryDir m_dir;
    server::HttpConfig m_config;
    RecordingHandler m_handler;
    std::unique_ptr<server::HttpServer> m_server;
    quint16 m_port = 0;
    quint16 m_securePort = 0;
    QStringList m_trace;
};

support::TlsClientOptions upTo(int version) {
    support::TlsClientOptions options;
    options.maxVersion = version;
    return options;
}

support::TlsClientOptions resuming(std::shared_ptr<SSL_SESSION> session) {
    support::TlsClientOptions options;
    options.session = std::move(session);
    return options;
}

const QByteArray GET_FILE = "GET /file.htm HTTP/1.1\r\nHost: localhost\r\n\r\n";

} // namespace

TEST_F(HttpsTest, AnswersInsideTlsAreTheHttpAnswers) {
    writeFile("file.htm", "<p>caf\xe9</p>");
    QByteArray big(5 * 1024 * 1024 + 7, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7919 % 251);
    writeFile("big.bin", big);

    for (const QByteArray& request :
         {GET_FILE, QByteArray("GET /missing.htm HTTP/1.1\r\n\r\n"),
          QByteArray("GET /?page=x HTTP/1.1\r\n\r\n"), QByteArray("BREW /pot HTTP/1.1\r\n\r\n"),
          QByteArray("GET /big.bin HTTP/1.1\r\n\r\n")}) {
        const TlsAnswer secure = fetch(request);
        ASSERT_TRUE(secure.handshakeDone) << secure.failure.toStdString();
        EXPECT_EQ(withoutDates(secure.bytes), withoutDates(fetchPlain(request)))
            << request.toStdString();
        EXPECT_EQ(secure.protocol, "TLSv1.3");
        EXPECT_EQ(secure.alpn, "http/1.1"); // not h2, which the client offered first
        EXPECT_FALSE(secure.certificateRequested);
    }
    // The page knows how it was asked for: its cookies become Secure over HTTPS.
    EXPECT_EQ(m_handler.https, QList<bool>({true, false}));
    EXPECT_TRUE(fetch(GET_FILE, upTo(TLS1_2_VERSION)).protocol == "TLSv1.2");
}

TEST_F(HttpsTest, StrictTransportSecurityOnlyOverHttpsAndOnlyWhenSet) {
    writeFile("file.htm", "x");
    EXPECT_FALSE(fetch(GET_FILE).bytes.contains("Strict-Transport-Security"));
    m_config.hstsMaxAge = 31536000;
    const QByteArray secure = fetch(GET_FILE).bytes;
    EXPECT_TRUE(secure.contains("Connection: close\r\nStrict-Transport-Security: "
                                "max-age=31536000\r\n\r\nx"))
        << secure.toStdString();
    EXPECT_FALSE(fetchPlain(GET_FILE).contains("Strict-Transport"));
}

TEST_F(HttpsTest, OldProtocolsGarbageAndHalfHandshakesHoldNobodyUp) {
    m_config.handshakeTimeoutMs = 500;
    writeFile("file.htm", "x");
    for (const int old : {TLS1_VERSION, TLS1_1_VERSION}) {
        const TlsAnswer refused = fetch(GET_FILE, upTo(old));
        EXPECT_FALSE(refused.handshakeDone) << old;
    }
    EXPECT_TRUE(traced("TLS handshake failed: unsupported protocol"));

    // Connections that never finish a handshake, and some that send no TLS at all.
    std::vector<std::unique_ptr<support::LoopbackClient>> idle, garbage;
    for (int i = 0; i < 50; ++i)
        idle.push_back(std::make_unique<support::LoopbackClient>(m_securePort));
    for (int i = 0; i < 20; ++i) {
        garbage.push_back(std::make_unique<support::LoopbackClient>(m_securePort));
        garbage.back()->send(i % 2 ? QByteArray("GET / HTTP/1.1\r\n\r\n")
                                   : QByteArray(300, static_cast<char>(0x16 + i)));
    }
    // Answered while they are all held.
    const TlsAnswer answered = fetch(GET_FILE);
    EXPECT_TRUE(answered.bytes.startsWith("HTTP/1.1 200 OK")) << answered.failure.toStdString();
    // Then each is let go: the garbage at once, the silent ones after the handshake time-out.
    for (auto& client : garbage)
        EXPECT_TRUE(QTest::qWaitFor([&] { return client->poll(); }, 20000));
    for (auto& client : idle)
        EXPECT_TRUE(QTest::qWaitFor([&] { return client->poll(); }, 20000));
    EXPECT_TRUE(traced("TLS handshake not complete after 500 ms"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const auto& slots = m_server->connections();
            for (int k = 1; k <= slots.Count(); ++k)
                if (slots.Item(k).Used)
                    return false;
            return true;
        },
        20000));
}

TEST_F(HttpsTest, ARenewedCertificateIsServedFromTheNextConnection) {
    writeFile("file.htm", "x");
    const TlsAnswer first = fetch(GET_FILE);
    ASSERT_TRUE(first.handshakeDone) << first.failure.toStdString();
    const TlsAnswer again = fetch(GET_FILE, resuming(first.session));
    EXPECT_TRUE(again.resumed);

    // Made beside and renamed into place, as a renewal tool does.
    makeCertificate(m_config.httpsCertificate, m_config.httpsKey);
    const TlsAnswer renewed = fetch(GET_FILE);
    ASSERT_TRUE(renewed.handshakeDone) << renewed.failure.toStdString();
    EXPECT_NE(renewed.peerCertificate, first.peerCertificate);
    EXPECT_TRUE(traced("HTTPS certificate loaded again"));
    // The run's ticket keys stay: a ticket given with the old certificate still resumes
    // (each ticket once, as clients use them).
    EXPECT_TRUE(fetch(GET_FILE, resuming(again.session)).resumed);

    // A key of another certificate: the one in use stays, and the log says why.
    makeCertificate(m_dir.filePath("other.pem"), m_dir.filePath("otherkey.pem"));
    QFile::remove(m_config.httpsKey);
    ASSERT_TRUE(QFile::copy(m_dir.filePath("otherkey.pem"), m_config.httpsKey));
    const TlsAnswer kept = fetch(GET_FILE);
    EXPECT_EQ(kept.peerCertificate, renewed.peerCertificate);
    EXPECT_TRUE(traced("does not belong to the certificate"));
}

TEST_F(HttpsTest, UnusableFilesSayWhatIsWrong) {
    const auto loadError = [&](const QString& certificate, const QString& key) -> QString {
        m_config.httpsCertificate = certificate;
        m_config.httpsKey = key;
        try {
            m_server->loadCertificate();
        } catch (const common::Error& e) {
            return e.description();
        }
        return {};
    };
    makeCertificate(m_dir.filePath("a.pem"), m_dir.filePath("a.key"));
    makeCertificate(m_dir.filePath("b.pem"), m_dir.filePath("b.key"));
    QFile text(m_dir.filePath("text.pem"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a certificate\n");
    text.close();

    EXPECT_TRUE(
        loadError(m_dir.filePath("none.pem"), m_dir.filePath("a.key"))
            .contains("certificate file " + m_dir.filePath("none.pem") + " cannot be read"));
    EXPECT_TRUE(loadError(m_dir.filePath("text.pem"), m_dir.filePath("a.key"))
                    .contains("holds no usable certificate"));
    EXPECT_TRUE(loadError(m_dir.filePath("a.pem"), m_dir.filePath("text.pem"))
                    .contains("holds no usable private key"));
    EXPECT_TRUE(loadError(m_dir.filePath("a.pem"), m_dir.filePath("b.key"))
                    .contains("does not belong to the certificate"));
    EXPECT_TRUE(loadError(m_dir.filePath("a.pem"), "").contains("No HTTPS key file"));
    EXPECT_EQ(loadError(m_dir.filePath("a.pem"), m_dir.filePath("a.key")), "");
}

TEST_F(HttpsTest, HttpRedirectsEverythingToTheSameAddressOverHttps) {
    writeFile("file.htm", "x");
    m_config.httpRedirect = true;
    const QByteArray port = QByteArray::number(m_securePort);
    const auto location = [&](const QByteArray& request) {
        const support::HttpAnswer a = support::SplitAnswer(fetchPlain(request));
        EXPECT_EQ(a.head.value(0), "HTTP/1.1 301 Moved Permanently") << request.toStdString();
        for (const QString& line : a.head)
            if (line.startsWith("Location: "))
                return line.mid(10).toLatin1();
        return QByteArray();
    };
    EXPECT_EQ(location("GET /a/b.htm?c=d%20e HTTP/1.1\r\nHost: shop.example:8080\r\n\r\n"),
              "https://shop.example:" + port + "/a/b.htm?c=d%20e");
    EXPECT_EQ(location("POST /?page=x HTTP/1.1\r\nHost: [::1]:80\r\nContent-Length: 1\r\n\r\nx"),
              "https://[::1]:" + port + "/?page=x");
    // A Host that is no host name cannot lead elsewhere: this end's address stands for it.
    EXPECT_EQ(location("GET / HTTP/1.1\r\nHost: evil.example/x?@y\r\n\r\n"),
              "https://127.0.0.1:" + port + "/");
    EXPECT_EQ(location("GET / HTTP/1.1\r\n\r\n"), "https://127.0.0.1:" + port + "/");
    EXPECT_TRUE(fetch(GET_FILE).bytes.startsWith("HTTP/1.1 200 OK")); // HTTPS serves

    // Without the HTTPS listener there is nowhere to send anyone: HTTP serves.
    m_server->closeListener(server::Scheme::Https);
    EXPECT_TRUE(fetchPlain(GET_FILE).startsWith("HTTP/1.1 200 OK"));
}
