#include "common/error.h"
#include "common/webdate.h"
#include "diagnostics/log.h"
#include "diagnostics/trace.h"
#include "server/httpserver.h"
#include "tests/support/loopbackclient.h"
#include "tests/support/qtprinters.h"
#include "webappapi/answertext.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <latch>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using diagnostics::Diagnostics;

namespace {

// Answers with the text of a page, as a web application component does.
class TestHandler final : public server::RequestHandler {
public:
    server::PageWork Prepare(const server::DynamicRequest& r) override {
        calls.append({r.query, r.body, r.userAgent, r.method, r.remoteAddress});
        return [fail = fail, answer = answer, page = page, during = during] {
            if (during)
                during();
            if (fail)
                throw common::Error(common::ERR_PROGRAM, "page failed");
            return answer ? *answer : bridge::ResponseFromText(page);
        };
    }

    bool fail = false;
    std::optional<common::Response> answer; // instead of the page's text
    QString page = "<p>hi</p>";
    QList<QStringList> calls;
    std::function<void()> during; // runs on the worker while the page is made, as a wait would
};

using Client = support::LoopbackClient;
using Answer = support::HttpAnswer;
using support::SplitAnswer;

QDateTime parseWebDate(const QString& text) {
    QDateTime d = QLocale::c().toDateTime(text, "ddd, dd MMM yyyy HH:mm:ss 'GMT'");
    d.setTimeZone(QTimeZone::utc());
    return d;
}

// The value of "Name: value" in a head, checked to be a date near now.
QDateTime headerDate(const QStringList& head, const QString& name) {
    for (const QString& line : head)
        if (line.startsWith(name + ": "))
            return parseWebDate(line.mid(name.size() + 2));
    return {};
}

class HttpServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        std::signal(SIGPIPE, SIG_IGN); // as websvr's main does

        Diagnostics::instance().reset();
        Diagnostics::instance().setInteractive(false);
        diagnostics::OpenLog(m_dir.path());
        Diagnostics::instance().setTraceSink(
            [this](const QString& text, const QString&) { m_trace.append(text); });
        m_root = m_dir.filePath("wwwroot");
        ASSERT_TRUE(QDir().mkpath(m_root));
        m_config.webRootFolder = m_root;
        m_server = std::make_unique<server::HttpServer>(m_config, m_handler);
        QObject::connect(m_server.get(), &server::HttpServer::connectionCounted,
                         [this] { ++m_counted; });
        ASSERT_EQ(m_server->tryListen(0), 0);
        m_port = m_server->serverPort();
        ASSERT_NE(m_port, 0);
    }
    void TearDown() override {
        m_server.reset();
        Diagnostics::instance().reset();
    }

    void writeFile(const QString& name, const QByteArray& content, const QDateTime& modified = {}) {
        const QString path = m_root + "/" + name;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.flush();
        if (modified.isValid())
            f.setFileTime(modified, QFileDevice::FileModificationTime);
    }

    QByteArray fetch(const QByteArray& request) {
        Client client(m_port);
        EXPECT_TRUE(client.connected());
        client.send(request);
        return client.readToEnd();
    }

    bool traced(const QString& text) const { return m_trace.contains(text); }
    bool slotUsed(int k) const {
        return k <= m_server->connections().Count() && m_server->connections().Item(k).Used;
    }
    bool waitFor(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 10000);
    }

    QTemporaryDir m_dir;
    QString m_root;
    server::HttpConfig m_config;
    TestHandler m_handler;
    int m_counted = 0; // connectionCounted signals
    std::unique_ptr<server::HttpServer> m_server;
    quint16 m_port = 0;
    QStringList m_trace;
};

const QString SERVER = "Server: Quorvex/1.0.202";

} // namespace

TEST_F(HttpServerTest, StaticFileAnswerIsByteExactAndTraced) {
    const QByteArray content = "<html>caf\xe9</html>\r\n";
    const QDateTime modified(QDate(2026, 7, 15), QTime(10, 0, 0), QTimeZone::utc());
    writeFile("index.htm", content, modified);
    // In a zone with daylight saving, a summer file date still shows its own UTC time.
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    const Answer a = SplitAnswer(fetch("GET /index.htm?x=1 HTTP/1.1\r\nHost: t\r\n\r\n"));
    oldTz.isNull() ? qunsetenv("TZ") : qputenv("TZ", oldTz);

    ASSERT_EQ(a.head.size(), 9);
    const QDateTime date = headerDate(a.head, "Date");
    ASSERT_TRUE(date.isValid()) << a.head.join("|").toStdString();
    EXPECT_LE(std::abs(date.secsTo(QDateTime::currentDateTimeUtc())), 5);
    const QStringList expected = {"HTTP/1.1 200 OK",
                                  SERVER,
                                  "Date: " + common::FormatWebDate(date, false),
                                  "Content-Type: text/html",
                                  "Accept-Ranges: bytes",
                                  "Expires: " + common::FormatWebDate(date.addDays(1), false),
                                  "Last-Modified: Wed, 15 Jul 2026 10:00:00 GMT",
                                  "Content-Length: " + QString::number(content.size()),
                                  "Connection: close"};
    EXPECT_EQ(a.head, expected);
    EXPECT_EQ(a.body, content);
    // Path and query joined as they are.
    EXPECT_TRUE(traced("[127.0.0.1] HTTP GET: /index.htmx=1")) << m_trace.join("\n").toStdString();
    EXPECT_EQ(m_counted, 1);
}

TEST_F(HttpServerTest, NotModifiedOnlyForTheExactLastModifiedText) {
    writeFile("logo.gif", "GIF89a", QDateTime(QDate(2026, 12, 7), QTime(12, 42, 21), Qt::UTC));
    m_config.cacheExpiresStatic = 0.5;
    const QByteArray request = "GET /logo.gif HTTP/1.1\r\nIf-Modified-Since: ";

    const Answer same = SplitAnswer(fetch(request + "Mon, 07 Dec 2026 12:42:21 GMT\r\n\r\n"));
    ASSERT_EQ(same.head.size(), 7);
    const QDateTime date = headerDate(same.head, "Date");
    EXPECT_EQ(same.head,
              QStringList({"HTTP/1.1 304 Not Modified", SERVER,
                           "Date: " + common::FormatWebDate(date, false),
                           "Expires: " + common::FormatWebDate(date.addSecs(12 * 3600), false),
                           "Last-Modified: Mon, 07 Dec 2026 12:42:21 GMT", "Content-Length: 0",
                           "Connection: close"}));
    EXPECT_TRUE(same.body.isEmpty());

    for (const char* other : {"Mon, 07 Dec 2026 12:42:22 GMT", "mon, 07 dec 2026 12:42:21 gmt",
                              "Monday, 07-Dec-26 12:42:21 GMT"}) {
        const Answer a = SplitAnswer(fetch(request + other + "\r\n\r\n"));
        EXPECT_EQ(a.head.value(0), "HTTP/1.1 200 OK") << other;
        EXPECT_EQ(a.head.value(3), "Content-Type: image/gif");
        EXPECT_EQ(a.body, "GIF89a");
    }
}

TEST_F(HttpServerTest, MissingHiddenAndRelativePaths) {
    writeFile("index.htm", "x");
    writeFile(".secret.htm", "hidden");
    writeFile(".git/config", "hidden");
    writeFile("sub/page.htm", "sub");

    const Answer missing = SplitAnswer(fetch("GET /a%26b%3C%3E%22.htm HTTP/1.1\r\n\r\n"));
    const QByteArray body404 = "<html><head><title>File Not Found</title></head><body>File not "
                               "found.<br/>" +
                               m_root.toUtf8() + "/a&amp;b&lt;&gt;&quot;.htm</body></html>";
    ASSERT_EQ(missing.head.size(), 8);
    EXPECT_EQ(missing.head.value(0), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(
        missing.head.mid(3),
        QStringList({"Content-Type: text/html", "Accept-Ranges: bytes",
                     "Last-Modified: Sat, 30 Dec 1899 00:00:00 GMT",
                     "Content-Length: " + QString::number(body404.size()), "Connection: close"}));
    EXPECT_EQ(missing.body, body404);

    for (const char* path : {"/.secret.htm", "/.git/config", "/sub", "/sub/page.htm/x"})
        EXPECT_EQ(SplitAnswer(fetch(QByteArray("GET ") + path + " HTTP/1.1\r\n\r\n")).head.value(0),
                  "HTTP/1.1 404 Not Found")
            << path;

    // A parent step anywhere, also one made by decoding, even when the file exists.
    for (const char* path : {"/sub/../index.htm", "/%2E%2E/%2e%2e/etc/passwd", "/sub/.."}) {
        const Answer a = SplitAnswer(fetch(QByteArray("GET ") + path + " HTTP/1.1\r\n\r\n"));
        EXPECT_EQ(a.head.value(0), "HTTP/1.1 500 Relative Path") << path;
        EXPECT_EQ(a.head.value(6), "X-Powered-By: Quorvex");
        EXPECT_TRUE(a.body.startsWith("Relative paths are not supported in request for " +
                                      m_root.toUtf8() + "/"))
            << a.body.toStdString();
    }
    // A NUL, or a path that would continue the web root's own name, never reaches a file.
    writeFile("../wwwroot-private.htm", "private");
    for (const char* path : {"/index.htm%00.gif", "-private.htm"})
        EXPECT_EQ(SplitAnswer(fetch(QByteArray("GET ") + path + " HTTP/1.1\r\n\r\n")).head.value(0),
                  "HTTP/1.1 400 Bad Request")
            << path;
}

TEST_F(HttpServerTest, EmptyAndDecodedFileNames) {
    writeFile("empty.txt", "");
    writeFile("a b.htm", "spaced");
    writeFile("images/logo.gif", "gif");
    const Answer empty = SplitAnswer(fetch("GET /empty.txt HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(empty.head.value(0), "HTTP/1.1 200 OK");
    EXPECT_EQ(empty.head.value(7), "Content-Length: 0");
    EXPECT_TRUE(empty.body.isEmpty());
    EXPECT_EQ(SplitAnswer(fetch("GET /a%20b.htm HTTP/1.1\r\n\r\n")).body, "spaced");
    EXPECT_EQ(SplitAnswer(fetch("GET /images/logo.gif?v=2 HTTP/1.1\r\n\r\n")).body, "gif");
    // A POST to a file is served as the file; the body is not looked at.
    EXPECT_EQ(SplitAnswer(fetch("POST /a%20b.htm HTTP/1.1\r\nContent-Length: 3\r\n\r\nx=1")).body,
              "spaced");
}

TEST_F(HttpServerTest, BigFileArrivesIntactAlsoToAHalfClosedClient) {
    QByteArray content(20 * 1024 * 1024 + 17, Qt::Uninitialized);
    QRandomGenerator generator(42);
    generator.fillRange(reinterpret_cast<quint32*>(content.data()), content.size() / 4);
    writeFile("big.bin", content);

    const Answer a = SplitAnswer(fetch("GET /big.bin HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(a.head.value(3), "Content-Type: application/octet-stream");
    EXPECT_EQ(a.head.value(7), "Content-Length: " + QString::number(content.size()));
    EXPECT_TRUE(a.body == content) << a.body.size();

    Client client(m_port);
    client.send("GET /big.bin HTTP/1.1\r\n\r\n");
    client.shutdownWrite();
    EXPECT_TRUE(SplitAnswer(client.readToEnd()).body == content) << client.received().size();

    // A client that gives up halfway frees its slot and takes nobody down with it.
    Client quitter(m_port);
    quitter.send("GET /big.bin HTTP/1.1\r\n\r\n");
    quitter.shutdownWrite(); // after its FIN, a reset reports EPIPE to the next send
    ASSERT_TRUE(waitFor([&] {
        quitter.poll();
        return quitter.received().size() > 100000;
    }));
    quitter.reset();
    ASSERT_TRUE(waitFor([&] { return !slotUsed(1); }));
    EXPECT_EQ(SplitAnswer(fetch("GET /big.bin HTTP/1.1\r\n\r\n")).body.size(), content.size());
}

TEST_F(HttpServerTest, AnswersThatMakeNoProgressAreDroppedAndTheirSlotsFreed) {
    m_config.sendTimeoutMs = 300;
    writeFile("big.bin", QByteArray(32 * 1024 * 1024, 'b'));
    std::vector<std::unique_ptr<Client>> stalled;
    for (int i = 0; i < 3; ++i) {
        stalled.push_back(std::make_unique<Client>(m_port));
        stalled.back()->send("GET /big.bin HTTP/1.1\r\n\r\n");
    }
    ASSERT_TRUE(waitFor([&] { return slotUsed(1) && slotUsed(2) && slotUsed(3); }));
    // A client that reads slowly but steadily gets everything.
    Client steady(m_port);
    steady.send("GET /big.bin HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(waitFor([&] {
        QTest::qWait(100);
        return steady.poll();
    }));
    EXPECT_EQ(SplitAnswer(steady.received()).body.size(), 32 * 1024 * 1024);

    ASSERT_TRUE(waitFor([&] { return !slotUsed(1) && !slotUsed(2) && !slotUsed(3); }));
    EXPECT_TRUE(std::any_of(m_trace.begin(), m_trace.end(), [](const QString& t) {
        return t == "[127.0.0.1] Answer made no progress for 300 ms: connection dropped";
    }));
    EXPECT_EQ(SplitAnswer(fetch("GET / HTTP/1.1\r\n\r\n")).body, "<p>hi</p>");
}

TEST_F(HttpServerTest, RequestsInPiecesAndPostBodies) {
    Client client(m_port);
    client.send("GET / HTTP/1.1\r\nUser-Agent: Te");
    QTest::qWait(100);
    client.send("st/1\r\n\r");
    QTest::qWait(100);
    EXPECT_FALSE(client.poll());
    EXPECT_TRUE(client.received().isEmpty());
    EXPECT_TRUE(m_handler.calls.isEmpty());
    client.send("\n");
    EXPECT_EQ(SplitAnswer(client.readToEnd()).body, "<p>hi</p>");
    ASSERT_EQ(m_handler.calls.size(), 1);
    EXPECT_EQ(m_handler.calls[0], QStringList({"", "", "Test/1", "GET", "127.0.0.1"}));

    Client post(m_port);
    post.send("POST /?fn=save HTTP/1.1\r\nContent-Length: 7\r\n\r\n");
    QTest::qWait(100);
    post.send("a=1&");
    QTest::qWait(100);
    EXPECT_EQ(m_handler.calls.size(), 1);
    post.send("b=2");
    EXPECT_EQ(SplitAnswer(post.readToEnd()).head.value(0), "HTTP/1.1 200 OK");
    ASSERT_EQ(m_handler.calls.size(), 2);
    EXPECT_EQ(m_handler.calls[1], QStringList({"", "a=1&b=2", "", "POST", "127.0.0.1"}));

    // The method passed depends on the Content-Length line only.
    fetch("POST /sub/ HTTP/1.1\r\n\r\n");
    fetch("GET /?fn=list HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
    ASSERT_EQ(m_handler.calls.size(), 4);
    EXPECT_EQ(m_handler.calls[2].value(3), "GET");
    EXPECT_EQ(m_handler.calls[3].mid(0, 1), QStringList({"fn=list"}));
    EXPECT_EQ(m_handler.calls[3].value(3), "POST");
    EXPECT_TRUE(traced("[127.0.0.1] HTTP GET: /fn=list"));
}

TEST_F(HttpServerTest, DynamicPages) {
    m_handler.page = QString::fromUtf8("<p>café</p>");
    const Answer page = SplitAnswer(fetch("GET /?fn=list HTTP/1.1\r\n\r\n"));
    ASSERT_EQ(page.head.size(), 10);
    const QDateTime date = headerDate(page.head, "Date");
    EXPECT_EQ(page.head,
              QStringList({"HTTP/1.1 200 OK", SERVER, "Date: " + common::FormatWebDate(date, false),
                           "Content-Type: text/html", "Accept-Ranges: bytes",
                           "Expires: " + common::FormatWebDate(date, false), "Content-Length: 11",
                           "X-Frame-Options: SAMEORIGIN", "X-Content-Type-Options: nosniff",
                           "Connection: close"}));
    EXPECT_EQ(page.body, "<p>caf\xe9</p>"); // Windows-1252 on the wire, counted in bytes

    // Lines kept for the second follow the settings at once, each kind of answer its own.
    m_config.cacheExpiresDynamic = 2;
    m_config.serverVersion = "Other/2";
    const Answer later = SplitAnswer(fetch("GET / HTTP/1.1\r\n\r\n"));
    const QDateTime laterDate = headerDate(later.head, "Date");
    EXPECT_EQ(later.head.value(1), "Server: Other/2");
    EXPECT_EQ(later.head.value(5),
              "Expires: " + common::FormatWebDate(laterDate.addDays(2), false));
    writeFile("index.htm", "static");
    const Answer file = SplitAnswer(fetch("GET /index.htm HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(file.head.value(5),
              "Expires: " + common::FormatWebDate(headerDate(file.head, "Date").addDays(1), false));

    m_handler.page = "http/1.1 302 Found\r\nLocation: /x\r\n\r\n";
    EXPECT_EQ(fetch("GET /sub/ HTTP/1.1\r\n\r\n"), "http/1.1 302 Found\r\nLocation: /x\r\n\r\n");

    m_handler.fail = true;
    const Answer failed = SplitAnswer(fetch("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(failed.head.value(0), "HTTP/1.1 500 Internal Server Error");
    EXPECT_TRUE(std::any_of(m_trace.begin(), m_trace.end(),
                            [](const QString& t) { return t.contains("page failed"); }));
}

TEST_F(HttpServerTest, APageWhoseClientLeftNeverAnswersTheNextClient) {
    writeFile("index.htm", "static");
    // The client gives up while its page is made, and a new client takes its
    // socket: neither the page nor its 500 may reach the new client.
    const auto takeOverDuring = [&](const QByteArray& request) {
        Client first(m_port);
        std::latch made(1);
        m_handler.during = [&] { made.wait(); };
        const qsizetype calls = m_handler.calls.size();
        first.send(request);
        EXPECT_TRUE(waitFor([&] { return m_handler.calls.size() > calls; }));
        m_handler.during = nullptr;
        first.reset();
        EXPECT_TRUE(waitFor([&] { return !slotUsed(1); }));
        auto next = std::make_unique<Client>(m_port);
        EXPECT_TRUE(waitFor([&] { return slotUsed(1); }));
        m_trace.clear();
        made.count_down();
        EXPECT_TRUE(waitFor([&] { return traced("A page was made for a client that has gone"); }));
        EXPECT_FALSE(next->poll());
        EXPECT_TRUE(next->received().isEmpty());
        return next;
    };
    const auto next = takeOverDuring("GET /?slow=1 HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(next);
    next->send("GET /index.htm HTTP/1.1\r\n\r\n");
    EXPECT_EQ(SplitAnswer(next->readToEnd()).body, "static");

    m_handler.fail = true;
    EXPECT_TRUE(takeOverDuring("GET / HTTP/1.1\r\n\r\n"));
}

// Pages are made on the workers: pages that wait hold neither files nor the loop, and a
// page beyond the pool's queue is refused at once.
TEST_F(HttpServerTest, PagesAtOnceHoldNoOtherClientAndAFullQueueIsRefused) {
    writeFile("index.htm", "static");
    m_config.workerThreads = 2;
    m_config.workerQueueLimit = 1;
    std::latch release(1);
    m_handler.during = [&] { release.wait(); };
    std::vector<std::unique_ptr<Client>> waiting;
    for (const char* query : {"a=1", "b=2", "c=3"}) { // two being made, one queued
        waiting.push_back(std::make_unique<Client>(m_port));
        waiting.back()->send("GET /?" + QByteArray(query) + " HTTP/1.1\r\n\r\n");
    }
    ASSERT_TRUE(waitFor([&] { return m_handler.calls.size() == 3; }));
    m_handler.during = nullptr;

    EXPECT_EQ(SplitAnswer(fetch("GET /index.htm HTTP/1.1\r\n\r\n")).body, "static");
    const Answer refused = SplitAnswer(fetch("GET /?d=4 HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(refused.head.value(0), "HTTP/1.1 503 Service Unavailable");
    EXPECT_TRUE(refused.head.contains("Retry-After: 5"));
    EXPECT_EQ(refused.head.last(), "Connection: close");
    EXPECT_TRUE(std::any_of(m_trace.begin(), m_trace.end(), [](const QString& t) {
        return t.startsWith("[127.0.0.1] HTTP 503 Service Unavailable: 2 pages are being made");
    }));
    for (const auto& client : waiting)
        EXPECT_FALSE(client->poll());

    release.count_down();
    for (const auto& client : waiting)
        EXPECT_EQ(SplitAnswer(client->readToEnd()).body, "<p>hi</p>");
}

TEST_F(HttpServerTest, MethodsAndMalformedRequests) {
    EXPECT_EQ(fetch("OPTIONS * HTTP/1.1\r\nHost: x\r\n\r\n"),
              "HTTP/1.1 405 Method Not Allowed\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(SplitAnswer(fetch("HEAD / HTTP/1.1\r\n\r\n")).head.value(0),
              "HTTP/1.1 501 Not Implemented");
    EXPECT_EQ(SplitAnswer(fetch("get / HTTP/1.1\r\n\r\n")).head.value(0),
              "HTTP/1.1 501 Not Implemented");
    for (const char* bad : {"GET /\r\n\r\n", "POST /x\r\n\r\n", "GET  HTTP/1.1\r\n\r\n"}) {
        const Answer a = SplitAnswer(fetch(bad));
        EXPECT_EQ(a.head.value(0), "HTTP/1.1 400 Bad Request") << bad;
        EXPECT_TRUE(a.head.contains("Connection: close"));
    }
    EXPECT_TRUE(m_handler.calls.isEmpty());

    const QByteArray filler = "X-Filler: " + QByteArray(1000, 'a') + "\r\n";
    EXPECT_EQ(SplitAnswer(fetch("GET / HTTP/1.1\r\n" + filler.repeated(80) + "\r\n")).head.value(0),
              "HTTP/1.1 431 Request Header Fields Too Large");
    EXPECT_EQ(
        SplitAnswer(fetch("POST / HTTP/1.1\r\nContent-Length: 20000000\r\n\r\nabc")).head.value(0),
        "HTTP/1.1 413 Payload Too Large");
    EXPECT_TRUE(m_handler.calls.isEmpty());
}

// Raw bytes in; the status line, header lines that must be there, and what
// reached the web application. Every answer ends its header with
// "Connection: close".
TEST_F(HttpServerTest, HttpCorrectnessTable) {
    writeFile("index.htm", "static", QDateTime(QDate(2026, 12, 7), QTime(12, 42, 21), Qt::UTC));
    writeFile("sub/page.htm", "sub");
    writeFile(QString::fromUtf8("café.htm"), "utf-8 name");
    const QString outside = m_dir.filePath("outside");
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(QFile(outside + "/secret.txt").open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link("index.htm", m_root + "/in-link.htm"));
    ASSERT_TRUE(QFile::link(m_root + "/index.htm", m_root + "/abs-in-link.htm"));
    ASSERT_TRUE(QFile::link(m_root + "/sub", m_root + "/sub-link"));
    ASSERT_TRUE(QFile::link(outside + "/secret.txt", m_root + "/out-link.txt"));
    ASSERT_TRUE(QFile::link(outside, m_root + "/out-dir"));
    const auto post = [](const QByteArray& headers, const QByteArray& body) {
        return "POST /?fn=save HTTP/1.1\r\n" + headers + "\r\n" + body;
    };
    const QByteArray bodyLines = "User-Agent: forged\r\nContent-Length: 1";

    struct Case {
        QByteArray request;
        QString status;
        QStringList lines = {};
        QByteArray body = {};
        QStringList call = {}; // getdata, postdata, useragent, method, remoteip
    };
    const QString ip = "127.0.0.1";
    const Case cases[] = {
        {"GET /index.htm HTTP/1.1\r\nif-modified-since: Mon, 07 Dec 2026 12:42:21 GMT\r\n\r\n",
         "HTTP/1.1 304 Not Modified"},
        {post("content-length: 7\r\nUser-Agent: T\r\n", "a=1&b=2"),
         "HTTP/1.1 200 OK",
         {},
         {},
         {"", "a=1&b=2", "T", "POST", ip}},
        {post("Content-Length: 37\r\nUser-Agent: real\r\n", bodyLines),
         "HTTP/1.1 200 OK",
         {},
         {},
         {"", bodyLines, "real", "POST", ip}},
        {post("Transfer-Encoding: chunked\r\n", "7\r\na=1&b=2\r\n0\r\n\r\n"),
         "HTTP/1.1 411 Length Required"},
        {post("Content-Length: 3\r\ncontent-length: 7\r\n", "a=1&b=2"), "HTTP/1.1 400 Bad Request"},
        {post("Content-Length: 7\r\nContent-Length: 7\r\n", "a=1&b=2"), "HTTP/1.1 200 OK"},
        // The body is Content-Length bytes, however many follow, of a length in digits only.
        {post("Content-Length: 7\r\n", "a=1&b=2&c=3"),
         "HTTP/1.1 200 OK",
         {},
         {},
         {"", "a=1&b=2", "", "POST", ip}},
        {post("Content-Length: +7\r\n", "a=1&b=2"), "HTTP/1.1 400 Bad Request"},
        {post("Content-Length: 0x07\r\n", "a=1&b=2"), "HTTP/1.1 400 Bad Request"},
        {post("Transfer-Encoding : chunked\r\nContent-Length: 7\r\n", "a=1&b=2"),
         "HTTP/1.1 400 Bad Request"},
        {"GET http://example.com/index.htm HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", {}, "static"},
        {"GET HTTP://example.com?fn=list HTTP/1.1\r\n\r\n",
         "HTTP/1.1 200 OK",
         {},
         {},
         {"fn=list", "", "", "GET", ip}},
        {"GET /index.htm HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK", {}, "static"},
        {"GET /index.htm HTTP/2.0\r\n\r\n", "HTTP/1.1 505 HTTP Version Not Supported"},
        {"PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n", "HTTP/1.1 505 HTTP Version Not Supported"},
        {"GET /index.htm FOO/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request"},
        {"GET /index.htm HTTP/0.9\r\n\r\n", "HTTP/1.1 400 Bad Request"},
        {"GET /index.htm\r\n", "HTTP/1.1 400 Bad Request"}, // HTTP/0.9: no blank line follows
        {"GET /index.htm HTTP/1.1\nHost: x\n\n", "HTTP/1.1 400 Bad Request"},
        {"GET /caf%C3%A9.htm HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", {}, "utf-8 name"},
        {"GET /in-link.htm HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", {}, "static"},
        {"GET /abs-in-link.htm HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", {}, "static"},
        {"GET /sub-link/page.htm HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", {}, "sub"},
        {"GET /out-link.txt HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
        {"GET /out-dir/secret.txt HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
        {"GET /sub/../index.htm HTTP/1.1\r\n\r\n",
         "HTTP/1.1 500 Relative Path",
         {"X-Powered-By: Quorvex"}},
        {"OPTIONS * HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed"},
    };
    for (const Case& c : cases) {
        const int calls = m_handler.calls.size();
        const Answer a = SplitAnswer(fetch(c.request));
        const std::string name = c.request.left(60).toStdString();
        EXPECT_EQ(a.head.value(0), c.status) << name;
        EXPECT_EQ(a.head.last(), "Connection: close") << name;
        for (const QString& line : c.lines)
            EXPECT_TRUE(a.head.contains(line)) << name << ": " << line.toStdString();
        if (!c.body.isEmpty()) {
            EXPECT_EQ(a.body, c.body) << name;
        }
        if (!c.call.isEmpty()) {
            EXPECT_EQ(m_handler.calls.value(calls), c.call) << name;
        }
    }

    // A file name shows as it did: the decoded characters, one per byte.
    EXPECT_TRUE(fetch("GET /%C3%A9t%C3%A9.htm HTTP/1.1\r\n\r\n")
                    .contains("File not found.<br/>" + m_root.toUtf8() + "/\xc3\xa9t\xc3\xa9.htm"));
    m_config.followSymlinksOutsideWebRoot = true;
    EXPECT_EQ(SplitAnswer(fetch("GET /out-link.txt HTTP/1.1\r\n\r\n")).head.value(0),
              "HTTP/1.1 200 OK");
}

// Expect: 100-continue, and the memory of bodies being received capped in total.
TEST_F(HttpServerTest, ContinueOnlyForBodiesWithinTheLimits) {
    m_config.maxBodyMemory = 1000;
    Client first(m_port);
    first.send("POST /?fn=save HTTP/1.1\r\nContent-Length: 800\r\nExpect: 100-continue\r\n\r\n");
    EXPECT_TRUE(waitFor([&] {
        first.poll();
        return first.received() == "HTTP/1.1 100 Continue\r\n\r\n";
    })) << first.received().toStdString();

    // 800 of 1000 taken until the first body is in: 300 more would pass the cap.
    const Answer busy = SplitAnswer(fetch("POST /?fn=save HTTP/1.1\r\nContent-Length: 300\r\n"
                                          "Expect: 100-continue\r\n\r\n"));
    EXPECT_EQ(busy.head.value(0), "HTTP/1.1 503 Service Unavailable");
    EXPECT_EQ(SplitAnswer(fetch("POST / HTTP/1.1\r\nContent-Length: 99999999\r\n"
                                "Expect: 100-continue\r\n\r\n"))
                  .head.value(0),
              "HTTP/1.1 413 Payload Too Large");

    first.send(QByteArray(800, 'x'));
    const Answer done = SplitAnswer(first.readToEnd().mid(25));
    EXPECT_EQ(done.head.value(0), "HTTP/1.1 200 OK");
    ASSERT_FALSE(m_handler.calls.isEmpty());
    EXPECT_EQ(m_handler.calls.last().value(1), QString(800, 'x'));
    // Released: the same request now fits.
    EXPECT_EQ(SplitAnswer(fetch("POST /?fn=save HTTP/1.1\r\nContent-Length: 300\r\n\r\n" +
                                QByteArray(300, 'y')))
                  .head.value(0),
              "HTTP/1.1 200 OK");
}

// The server's own refusals are traced as refusals; dates stay within their range.
TEST_F(HttpServerTest, RefusalsTracesAndDatesStayInBounds) {
    writeFile("index.htm", "x");
    fetch("GET -private.htm HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(traced("[127.0.0.1] HTTP 400 Bad Request: GET -private.htm HTTP/1.1"))
        << m_trace.join("\n").toStdString();
    EXPECT_FALSE(std::any_of(m_trace.begin(), m_trace.end(),
                             [](const QString& t) { return t.contains("HTTP GET: -private"); }));

    m_config.cacheExpiresStatic = 1e300;
    const Answer a = SplitAnswer(fetch("GET /index.htm HTTP/1.1\r\n\r\n"));
    const QDateTime expires = headerDate(a.head, "Expires");
    ASSERT_TRUE(expires.isValid()) << a.head.join("|").toStdString();
    EXPECT_NEAR(expires.date().year(), QDate::currentDate().year() + 100, 1);
}

// The administration key goes into no trace line, however a request carries it.
TEST_F(HttpServerTest, TheKeyIsHiddenWhereverARequestIsTraced) {
    const QByteArray requests[] = {
        "GET /?page=admin&k%65y=secret1 HTTP/1.1\r\n\r\n",
        "POST /?page=admin&key=secret2 HTTP/1.1\r\nContent-Length: 0\r\n\r\n",
        "GET /?page=admin&key=secret3 HTTP/2.0\r\n\r\n",
        "GET /?key=secret4 HTTP/1.1\r\nContent-Length: x\r\n\r\n",
    };
    for (const QByteArray& request : requests)
        fetch(request);
    EXPECT_TRUE(traced("[127.0.0.1] HTTP GET: /page=admin&k%65y=(hidden)"));
    EXPECT_TRUE(traced("[127.0.0.1] HTTP GET: /?page=admin&key=(hidden)"));
    EXPECT_TRUE(traced("[127.0.0.1] HTTP 505 HTTP Version Not Supported: "
                       "GET /?page=admin&key=(hidden) HTTP/2.0"));
    EXPECT_TRUE(traced("[127.0.0.1] HTTP 400 Bad Request: GET /?key=(hidden) HTTP/1.1"));
    QFile log(Diagnostics::instance().log()->LogFilePath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_FALSE(log.readAll().contains("secret")) << m_trace.join("\n").toStdString();
}

// Answers that clients do not read are held in memory up to a total: past it, 503.
TEST_F(HttpServerTest, AnswersWaitingToBeSentAreCappedInTotal) {
    // Far more than the kernel takes in for a client that does not read.
    const qsizetype pageBytes = 16 * 1024 * 1024;
    m_config.maxAnswerMemory = 24 * 1024 * 1024;
    m_handler.page = QString(pageBytes, QLatin1Char('p'));
    Client unread(m_port);
    unread.send("GET /?fn=big HTTP/1.1\r\n\r\n");
    // Its page is made on a worker: the answer counts once it is going out.
    ASSERT_TRUE(waitFor([&] {
        unread.poll();
        return !unread.received().isEmpty();
    }));

    const Answer refused = SplitAnswer(fetch("GET /?fn=big HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(refused.head.value(0), "HTTP/1.1 503 Service Unavailable");
    EXPECT_EQ(refused.head.last(), "Connection: close");
    EXPECT_TRUE(std::any_of(m_trace.begin(), m_trace.end(), [](const QString& t) {
        return t.startsWith("[127.0.0.1] HTTP 503 Service Unavailable: an answer of ");
    }));
    // Small answers still fit beside the first.
    m_handler.page = "<p>hi</p>";
    EXPECT_EQ(SplitAnswer(fetch("GET / HTTP/1.1\r\n\r\n")).body, "<p>hi</p>");

    // Once read, the first answer's memory is free again.
    EXPECT_EQ(SplitAnswer(unread.readToEnd()).body.size(), pageBytes);
    m_handler.page = QString(pageBytes, QLatin1Char('q'));
    EXPECT_EQ(SplitAnswer(fetch("GET /?fn=big HTTP/1.1\r\n\r\n")).body.size(), pageBytes);
}

// An answer whose body is a file goes out from the file as the client reads it: it takes
// none of the memory kept for answers.
TEST_F(HttpServerTest, AFileBodyIsStreamedAndNotHeldInTheAnswerMemory) {
    m_config.maxAnswerMemory = 64 * 1024;
    QByteArray content(8 * 1024 * 1024 + 3, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(content.data()), content.size() / 4);
    auto file = std::make_shared<QFile>(m_dir.filePath("export.bin"));
    ASSERT_TRUE(file->open(QIODevice::ReadWrite));
    ASSERT_EQ(file->write(content), content.size());
    ASSERT_TRUE(file->seek(0));
    common::Response r(200);
    r.setFile(file, content.size());
    r.add("Content-Type", QByteArray("application/octet-stream")).addContentLength();
    m_handler.answer = r;

    const Answer a = SplitAnswer(fetch("GET /?page=export HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(a.head, QStringList({"HTTP/1.1 200 OK", "Content-Type: application/octet-stream",
                                   "Content-Length: " + QString::number(content.size())}));
    EXPECT_TRUE(a.body == content) << a.body.size();
    EXPECT_FALSE(std::any_of(m_trace.begin(), m_trace.end(),
                             [](const QString& t) { return t.contains("HTTP 503"); }));
}

// A page may ask to be sent late (a refused sign-in): its connection waits, nobody else does.
TEST_F(HttpServerTest, AHeldAnswerGoesOutLateWhileOthersAreAnswered) {
    common::Response held = bridge::ResponseFromText("<p>late</p>");
    held.holdMs = 300;
    m_handler.answer = held;
    QElapsedTimer clock;
    clock.start();
    Client late(m_port);
    late.send("GET /?late HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_handler.calls.size() == 1; }, 10000));
    m_handler.answer.reset();
    EXPECT_EQ(SplitAnswer(fetch("GET /?soon HTTP/1.1\r\n\r\n")).body, "<p>hi</p>");
    const Answer a = SplitAnswer(late.readToEnd());
    EXPECT_EQ(a.head.value(0), "HTTP/1.1 200 OK");
    EXPECT_EQ(a.body, "<p>late</p>");
    EXPECT_GE(clock.elapsed(), 300);
}

TEST_F(HttpServerTest, TraceLineCannotBeForged) {
    fetch("GET /x%0D%0A[6.6.6.6]%20HTTP%20GET:%20/forged?a=%0A HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(traced("[127.0.0.1] HTTP GET: /x\\r\\n[6.6.6.6] HTTP GET: /forgeda=%0A"))
        << m_trace.join("\n").toStdString();
    QFile log(Diagnostics::instance().log()->LogFilePath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    for (const QByteArray& line : log.readAll().split('\n'))
        EXPECT_FALSE(line.startsWith("[6.6.6.6]"));
}

TEST_F(HttpServerTest, LowestFreeSlotIsReusedAndGoneClientsFreeTheirSlots) {
    Client a(m_port);
    ASSERT_TRUE(waitFor([&] { return slotUsed(1); }));
    Client b(m_port);
    ASSERT_TRUE(waitFor([&] { return slotUsed(2); }));
    Client c(m_port);
    ASSERT_TRUE(waitFor([&] { return slotUsed(3); }));
    EXPECT_EQ(m_counted, 3);

    // Answered: slot 1 free. Went away before its request was complete: slot 3 free.
    a.send("GET / HTTP/1.1\r\n\r\n");
    a.readToEnd();
    c.send("GET / HT");
    c.close();
    ASSERT_TRUE(waitFor([&] { return !slotUsed(1) && !slotUsed(3); }));
    EXPECT_TRUE(slotUsed(2));

    Client d(m_port);
    ASSERT_TRUE(waitFor([&] { return slotUsed(1); }));
    Client e(m_port);
    ASSERT_TRUE(waitFor([&] { return slotUsed(3); }));
    EXPECT_EQ(m_server->connections().Count(), 3);
    EXPECT_EQ(m_server->GetConnection(3), 3);
    EXPECT_EQ(m_server->GetConnection(9), 0);
    d.send("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(SplitAnswer(d.readToEnd()).body, "<p>hi</p>");
}

TEST_F(HttpServerTest, IncompleteRequestsTimeOutAndFullTablesRefuse) {
    m_config.requestTimeoutMs = 300;
    m_config.maxConnections = 2;
    Client slow(m_port);
    slow.send("GET / HTTP/1.1\r\n");
    Client idle(m_port);
    ASSERT_TRUE(waitFor([&] { return slotUsed(1) && slotUsed(2); }));

    Client refused(m_port);
    EXPECT_TRUE(refused.readToEnd().isEmpty());
    EXPECT_TRUE(refused.closedByServer());
    EXPECT_TRUE(slotUsed(1) && slotUsed(2));

    EXPECT_TRUE(slow.readToEnd().isEmpty());
    EXPECT_TRUE(idle.readToEnd().isEmpty());
    ASSERT_TRUE(waitFor([&] { return !slotUsed(1) && !slotUsed(2); }));
    EXPECT_TRUE(std::any_of(m_trace.begin(), m_trace.end(), [](const QString& t) {
        return t.contains("not complete") && t.startsWith("[127.0.0.1]");
    }));
    EXPECT_EQ(SplitAnswer(fetch("GET / HTTP/1.1\r\n\r\n")).body, "<p>hi</p>");
}

TEST_F(HttpServerTest, ManyConnectionsAtOnce) {
    writeFile("page.htm", QByteArray(3000, 'p'));
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 200; ++i) {
        clients.push_back(std::make_unique<Client>(m_port));
        ASSERT_TRUE(clients.back()->connected());
        clients.back()->send(i % 2 ? "GET /page.htm HTTP/1.1\r\n\r\n"
                                   : "GET /?n=1 HTTP/1.1\r\n\r\n");
    }
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::all_of(clients.begin(), clients.end(), [](auto& c) { return c->poll(); });
        },
        30000));
    for (size_t i = 0; i < clients.size(); ++i)
        EXPECT_EQ(SplitAnswer(clients[i]->received()).body,
                  i % 2 ? QByteArray(3000, 'p') : QByteArray("<p>hi</p>"))
            << i;
    EXPECT_EQ(m_counted, 200);
    ASSERT_TRUE(waitFor([&] {
        return std::none_of(m_server->connections().begin(), m_server->connections().end(),
                            [](const auto& slot) { return slot->Used; });
    }));
}

TEST_F(HttpServerTest, StartServerReportsItsOutcomeAndStopServerCloses) {
    m_server->closeListener();
    EXPECT_EQ(m_server->serverPort(), 0);
    EXPECT_EQ(m_server->StartServer(), server::ListenOutcome::NoPort);
    EXPECT_EQ(m_server->serverPort(), 0);

    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::Any, 0));
    m_config.tcpPort = holder.serverPort();
    EXPECT_EQ(m_server->tryListen(m_config.tcpPort), 10048);
    EXPECT_EQ(m_server->StartServer(), server::ListenOutcome::PortInUse);
    holder.close();

    EXPECT_EQ(m_server->StartServer(), server::ListenOutcome::Listening);
    EXPECT_EQ(m_server->serverPort(), m_config.tcpPort);
    writeFile("index.htm", "up");
    m_port = m_server->serverPort();
    EXPECT_EQ(SplitAnswer(fetch("GET /index.htm HTTP/1.1\r\n\r\n")).body, "up");

    m_server->StopServer();
    EXPECT_EQ(m_server->serverPort(), 0);
    Client none(m_port);
    EXPECT_FALSE(none.connected());
}
