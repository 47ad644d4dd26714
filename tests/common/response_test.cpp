#include "common/response.h"
#include "tests/support/qtprinters.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using common::Response;

// The head as it goes on the wire, for each way an answer is built.
TEST(Response, HeadsAreWrittenLineByLineInTheOrderGiven) {
    Response withReason(404);
    withReason.add("Content-Type", QString::fromUtf8("text/plain; name=\"caf\u00e9\""));
    withReason.body = "missing";
    withReason.addContentLength().add("Connection", QByteArray("close"));
    Response ownReason(500, "Relative Path");
    Response unknown(418);
    Response verbatim = Response::Verbatim("http/1.1 302 Found\r\nLocation: /x\r\n\r\n");
    const struct {
        const Response& response;
        QByteArray head;
    } cases[] = {
        {withReason, "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain; name=\"caf\xe9\"\r\n"
                     "Content-Length: 7\r\nConnection: close\r\n\r\n"},
        {ownReason, "HTTP/1.1 500 Relative Path\r\n\r\n"},
        {unknown, "HTTP/1.1 418 \r\n\r\n"}, // no reason known, the blank still there
        {Response::redirectTo("/?page=saved"),
         "HTTP/1.0 302 Redirect\r\nStatus: 302 Moved\r\nLocation: /?page=saved\r\n"
         "Connection: close\r\n\r\n"},
        {verbatim, ""}, // all of it is the body
        {Response::PageBody("<p>x</p>"), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.response.head(), c.head) << c.head.constData();
    EXPECT_EQ(verbatim.body, "http/1.1 302 Found\r\nLocation: /x\r\n\r\n");
    EXPECT_EQ(withReason.header("content-length"), "7");
    EXPECT_EQ(withReason.header("X-None"), "");
}

TEST(Response, APageIsUtf8HtmlAndAFileBodyCountsTheFilesLength) {
    const Response page = Response::page(QString::fromUtf8("<p>\u20ac</p>"), 503);
    EXPECT_EQ(page.status, 503);
    EXPECT_EQ(page.body, "<p>\xe2\x82\xac</p>");
    EXPECT_EQ(page.header("Content-Type"), "text/html; charset=utf-8");

    QTemporaryDir dir;
    auto file = std::make_shared<QFile>(dir.filePath("body"));
    ASSERT_TRUE(file->open(QIODevice::ReadWrite));
    file->write("0123456789");
    Response r;
    r.body = "dropped";
    r.setFile(file, 10).addContentLength();
    EXPECT_TRUE(r.hasFile());
    EXPECT_TRUE(r.body.isEmpty());
    EXPECT_EQ(r.header("Content-Length"), "10");
}
