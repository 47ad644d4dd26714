// The text form of answers, as a web application component's ProcessRequest gives it.
#include "tests/support/qtprinters.h"
#include "webappapi/answertext.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using common::Response;

TEST(AnswerText, AStatusLineInAnyCaseMakesAVerbatimAnswerAnythingElseAPageBody) {
    const struct {
        const char* text;
        Response::Form form;
    } cases[] = {
        {"<p>caf\u00e9</p>", Response::Form::Page},
        {"", Response::Form::Page},
        {"http/1.1 302 Found\r\nLocation: /x\r\n\r\n", Response::Form::Verbatim},
        {"HTTP/1.0 200 OK\r\n\r\nbody", Response::Form::Verbatim},
        {"HTTP/2 200\r\n\r\n", Response::Form::Page},
        {" HTTP/1.1 200 OK", Response::Form::Page},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        const Response r = bridge::ResponseFromText(text);
        EXPECT_EQ(r.form, c.form) << c.text;
        EXPECT_TRUE(r.head().isEmpty()) << c.text; // nothing added to what the text says
        EXPECT_EQ(bridge::ResponseText(r), text) << c.text;
    }
    // One byte per character on the wire, Windows-1252.
    EXPECT_EQ(bridge::ResponseFromText(QString::fromUtf8("caf\u00e9 \u20ac")).body, "caf\xe9 \x80");
}

TEST(AnswerText, ACompleteAnswerIsItsHeadAndBodyAlsoFromAFile) {
    Response r(404);
    r.body = "gone";
    r.addContentLength();
    EXPECT_EQ(bridge::ResponseText(r), "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone");

    QTemporaryDir dir;
    auto file = std::make_shared<QFile>(dir.filePath("export.csv"));
    ASSERT_TRUE(file->open(QIODevice::ReadWrite));
    file->write("a,b\r\n1,2\r\n");
    ASSERT_TRUE(file->seek(0));
    Response fromFile(200);
    fromFile.setFile(file, 10).addContentLength();
    EXPECT_EQ(bridge::ResponseText(fromFile),
              "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\na,b\r\n1,2\r\n");
}
