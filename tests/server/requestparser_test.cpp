#include "common/text.h"
#include "server/requestparser.h"
#include "server/requestreader.h"
#include "server/staticfiles.h"
#include "server/tracetext.h"
#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

using server::ProcessDataRequest;
using server::RequestReader;
using server::RequestStatus;

namespace {
QString param(const server::clsHeader& h, const QString& name) {
    return common::ToText(h.Parameters->item(name));
}
} // namespace

TEST(RequestParser, GetSplitsTheQueryAndDecodesOnlyThePath) {
    const auto h =
        ProcessDataRequest("GET /a%20b/x.htm?fn=list&q=%41 HTTP/1.1\r\n"
                           "Host:example\r\nUser-Agent: T/1 : x\r\nHost: second\r\n\r\n");
    ASSERT_TRUE(h);
    EXPECT_EQ(h->Request, "GET /a%20b/x.htm?fn=list&q=%41 HTTP/1.1");
    EXPECT_EQ(h->FilePath, "/a b/x.htm");
    EXPECT_EQ(h->Command, "fn=list&q=%41");
    EXPECT_EQ(param(*h, "Host"), "second"); // a later line wins
    EXPECT_EQ(param(*h, "User-Agent"), "T/1 : x");
    EXPECT_FALSE(h->Parameters->Exists("Content"));

    // The ":" and exactly one more character are skipped.
    const auto bare = ProcessDataRequest("GET / HTTP/1.1\r\nHost:example\r\nX:\r\n\r\n");
    ASSERT_TRUE(bare);
    EXPECT_EQ(param(*bare, "Host"), "xample");
    EXPECT_TRUE(bare->Parameters->Exists("X"));
    EXPECT_EQ(param(*bare, "X"), "");
}

TEST(RequestParser, PostKeepsTheQueryInThePathAndTakesTheBody) {
    const auto h =
        ProcessDataRequest("POST /?fn=save HTTP/1.1\r\nContent-Length: 7\r\n\r\na=1&b=2");
    ASSERT_TRUE(h);
    EXPECT_EQ(h->FilePath, "/?fn=save");
    EXPECT_EQ(h->Command, "");
    EXPECT_EQ(param(*h, "Content"), "a=1&b=2");
    EXPECT_EQ(param(*h, "Content-Length"), "7");

    // Body lines are never header lines, nor can they replace one.
    const auto body = ProcessDataRequest(
        "POST /x HTTP/1.0\r\nUser-Agent: real\r\n\r\nline1\r\nNote: hi\r\nUser-Agent: forged");
    ASSERT_TRUE(body);
    EXPECT_EQ(param(*body, "Content"), "line1\r\nNote: hi\r\nUser-Agent: forged");
    EXPECT_FALSE(body->Parameters->Exists("Note"));
    EXPECT_EQ(param(*body, "User-Agent"), "real");
}

TEST(RequestParser, HeaderValuesGivesEveryLineOfANameInOrderAndNoBodyLine) {
    const QByteArray request = "POST / HTTP/1.1\r\nCookie: a=1\r\nHost: h\r\ncookie:b=2 \t\r\n"
                               "Cookies: no\r\nCOOKIE: \r\nContent-Length: 13\r\n\r\n"
                               "Cookie: forged";
    EXPECT_EQ(server::HeaderValues(request, "Cookie"), QList<QByteArray>({"a=1", "b=2", ""}));
    EXPECT_EQ(server::HeaderValues(request, "Host"), QList<QByteArray>({"h"}));
    EXPECT_TRUE(server::HeaderValues(request, "Remote-User").isEmpty());
    // The request line is never a header line.
    EXPECT_TRUE(server::HeaderValues("Cookie: x HTTP/1.1\r\n\r\n", "Cookie").isEmpty());
}

TEST(RequestParser, RequestLinesThatCannotBeCut) {
    EXPECT_FALSE(ProcessDataRequest("GET /\r\n\r\n"));
    EXPECT_FALSE(ProcessDataRequest("GET\r\n\r\n"));
    EXPECT_FALSE(ProcessDataRequest("POST /x\r\n\r\nbody HTTP"));
    const auto empty = ProcessDataRequest("GET  HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->FilePath, "");
    const auto options = ProcessDataRequest("OPTIONS * HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(options);
    EXPECT_EQ(options->FilePath, "");
    EXPECT_EQ(options->Request, "OPTIONS * HTTP/1.1");
}

TEST(RequestReader, CompletesAtTheBlankLineEvenWhenItIsSplit) {
    RequestReader r;
    EXPECT_EQ(r.append("GET / HTTP/1.1\r\nHost: x\r"), RequestStatus::Incomplete);
    EXPECT_EQ(r.append("\n\r"), RequestStatus::Incomplete);
    EXPECT_EQ(r.append("\n"), RequestStatus::Complete);
    EXPECT_EQ(r.append("more"), RequestStatus::Complete);
    EXPECT_EQ(r.take(), "GET / HTTP/1.1\r\nHost: x\r\n\r\n");

    RequestReader options;
    EXPECT_EQ(options.append("OPTIONS * HTTP/1.1\r\n\r\n"), RequestStatus::Complete);
    RequestReader head;
    EXPECT_EQ(head.append("HEAD / HTTP/1.1\r\n"), RequestStatus::Incomplete);
    EXPECT_EQ(head.append("\r\n"), RequestStatus::NotImplemented);
}

TEST(RequestReader, PostWaitsForContentLengthBytesOfBody) {
    RequestReader r;
    EXPECT_EQ(r.append("POST /?fn=save HTTP/1.1\r\nContent-Length: 7\r\n\r\n"),
              RequestStatus::Incomplete);
    EXPECT_EQ(r.append("a=1&"), RequestStatus::Incomplete);
    EXPECT_EQ(r.append("b=2"), RequestStatus::Complete);

    RequestReader none;
    EXPECT_EQ(none.append("POST / HTTP/1.1\r\n\r\n"), RequestStatus::Complete);
    // A body line cannot move the end of its own body.
    RequestReader bodyLine;
    EXPECT_EQ(bodyLine.append("POST / HTTP/1.1\r\nContent-Length: 40\r\n\r\nContent-Length: 1\r\n"),
              RequestStatus::Incomplete);
}

// What a proxy in front could frame otherwise than we do never passes: the body is exactly
// Content-Length bytes, given as digits only, and header names hold no blanks.
TEST(RequestReader, FramingIsUnambiguous) {
    const struct {
        QByteArray header;
        RequestStatus status;
        qint64 bodyLength = 0;
    } cases[] = {
        {"Content-Length: 11", RequestStatus::Incomplete, 11},
        {"Content-Length:11", RequestStatus::Incomplete, 11}, // no blank needed after the colon
        {"Content-Length: \t011 ", RequestStatus::Incomplete, 11},
        {"Content-Length: 0", RequestStatus::Complete},
        {"Content-Length: +11", RequestStatus::BadRequest},
        {"Content-Length: -1", RequestStatus::BadRequest},
        {"Content-Length: 0x0b", RequestStatus::BadRequest},
        {"Content-Length: 1e1", RequestStatus::BadRequest},
        {"Content-Length: 11, 11", RequestStatus::BadRequest},
        {"Content-Length: 1 1", RequestStatus::BadRequest},
        {"Content-Length:", RequestStatus::BadRequest},
        {"Content-Length: 11\r\nContent-Length: 011", RequestStatus::Incomplete, 11},
        {"Content-Length : 11", RequestStatus::BadRequest},
        {"Transfer-Encoding : chunked", RequestStatus::BadRequest},
        {"Transfer-Encoding\t: chunked", RequestStatus::BadRequest},
        {" Content-Length: 11", RequestStatus::BadRequest}, // a folded line
        {": x", RequestStatus::BadRequest},
        {"X: a\rContent-Length: 11", RequestStatus::BadRequest}, // a lone CR
        {"Transfer-Encoding: chunked", RequestStatus::LengthRequired},
        {"Content-Length: 99999999999999999999999", RequestStatus::BodyTooLarge},
    };
    for (const auto& c : cases) {
        RequestReader r;
        EXPECT_EQ(r.append("POST / HTTP/1.1\r\n" + c.header + "\r\n\r\n"), c.status)
            << c.header.toStdString();
        EXPECT_EQ(r.bodyLength(), c.bodyLength) << c.header.toStdString();
    }
    // A GET has no body to frame, but a length that is not one is refused all the same.
    RequestReader get;
    EXPECT_EQ(get.append("GET / HTTP/1.1\r\nContent-Length: 1e1\r\n\r\n"),
              RequestStatus::BadRequest);

    // Bytes after the body, in the same piece or later, are no part of the request.
    RequestReader post;
    EXPECT_EQ(post.append("POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabcGET /x HTTP/1.1"),
              RequestStatus::Complete);
    EXPECT_EQ(post.append("more"), RequestStatus::Complete);
    EXPECT_EQ(post.take(), "POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc");
    RequestReader getWithBody;
    EXPECT_EQ(getWithBody.append("GET / HTTP/1.1\r\n\r\nbody"), RequestStatus::Complete);
    EXPECT_EQ(getWithBody.take(), "GET / HTTP/1.1\r\n\r\n");
}

TEST(RequestReader, RefusesOversizeHeadersAndBodies) {
    RequestReader big;
    const QByteArray line = "X-Filler: " + QByteArray(1000, 'a') + "\r\n";
    RequestStatus status = big.append("GET / HTTP/1.1\r\n");
    for (int i = 0; i < 70 && status == RequestStatus::Incomplete; ++i)
        status = big.append(line);
    EXPECT_EQ(status, RequestStatus::HeaderTooLarge);

    RequestReader oneGo;
    EXPECT_EQ(oneGo.append("GET / HTTP/1.1\r\n" + line.repeated(70) + "\r\n"),
              RequestStatus::HeaderTooLarge);

    for (const char* length : {"16777217", "99999999999"}) {
        RequestReader body;
        EXPECT_EQ(
            body.append(QByteArray("POST / HTTP/1.1\r\nContent-Length: ") + length + "\r\n\r\n"),
            RequestStatus::BodyTooLarge)
            << length;
    }
    RequestReader atCap;
    EXPECT_EQ(atCap.append("POST / HTTP/1.1\r\nContent-Length: 16777216\r\n\r\n"),
              RequestStatus::Incomplete);
}

TEST(StaticPaths, ParentStepsAndHiddenSteps) {
    using server::StaticFiles;
    EXPECT_TRUE(StaticFiles::IsRelativePath("/a/../b"));
    EXPECT_TRUE(StaticFiles::IsRelativePath("/.."));
    EXPECT_TRUE(StaticFiles::IsRelativePath("/a/.."));
    EXPECT_FALSE(StaticFiles::IsRelativePath("/a/..b/c..d"));
    EXPECT_FALSE(StaticFiles::IsRelativePath("/a/..\\b")); // a backslash is part of a name here
    EXPECT_TRUE(StaticFiles::IsHiddenPath("/.htaccess"));
    EXPECT_TRUE(StaticFiles::IsHiddenPath("/.git/config"));
    EXPECT_FALSE(StaticFiles::IsHiddenPath("/./index.htm"));
    EXPECT_FALSE(StaticFiles::IsHiddenPath("/a.b/c.htm"));
}

TEST(TraceText, ControlCharactersCannotStartALine) {
    using server::EscapeControlCharacters;
    EXPECT_EQ(EscapeControlCharacters("/a b\\c"), "/a b\\c");
    EXPECT_EQ(EscapeControlCharacters(QString("/x\r\n[1.2.3.4] HTTP GET: /y")),
              "/x\\r\\n[1.2.3.4] HTTP GET: /y");
    EXPECT_EQ(EscapeControlCharacters(QString("a") + QChar(0) + QChar(0x1b) + QChar(0x7f) +
                                      QChar(0x85) + QChar(0x2028) + "\t"),
              "a\\x00\\x1b\\x7f\\x85\\u2028\\t");
    EXPECT_EQ(EscapeControlCharacters(QString::fromUtf8("J€rg")), QString::fromUtf8("J€rg"));
}

TEST(TraceText, KeysCodesAndPasswordsNeverReachTheLog) {
    const struct {
        const char* query;
        const char* logged;
    } cases[] = {
        {"page=admin&key=0123abcd", "page=admin&key=(hidden)"},
        {"key=abc&page=admin", "key=(hidden)&page=admin"},
        {"key=&key=x&monkey=y&keys=z", "key=(hidden)&key=(hidden)&monkey=y&keys=z"},
        // The name as the web application decodes it.
        {"page=admin&k%65y=abc", "page=admin&k%65y=(hidden)"},
        {"%6B%65%79=abc&x=1", "%6B%65%79=(hidden)&x=1"},
        {"KEY=abc", "KEY=(hidden)"},
        {"key=abc HTTP/1.1", "key=(hidden) HTTP/1.1"}, // the end of a request line stays
        {"page=tables", "page=tables"},
        // The other secrets a request may carry in its address.
        {"page=setup&code=5f0c", "page=setup&code=(hidden)"},
        {"page=signin&user=ann&Password=x&token=t",
         "page=signin&user=ann&Password=(hidden)&token=(hidden)"},
        {"newpassword=a&repeat=a&formtoken=f&formnonce=n",
         "newpassword=(hidden)&repeat=(hidden)&formtoken=(hidden)&formnonce=n"},
        {"a&&b=", "a&&b="},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(server::HideKeys(c.query), c.logged) << c.query;

    using server::RequestTraceText;
    // A path, its query after a "?" (a POST's), a whole request line: the key goes from all.
    EXPECT_EQ(RequestTraceText("/", "page=admin&k%65y=abc"), "/page=admin&k%65y=(hidden)");
    EXPECT_EQ(RequestTraceText("/?page=admin&key=abc"), "/?page=admin&key=(hidden)");
    EXPECT_EQ(RequestTraceText("GET /?key=abc\x01 HTTP/1.1"), "GET /?key=(hidden) HTTP/1.1");
    EXPECT_EQ(RequestTraceText("/a\r\n", "x=\n"), "/a\\r\\nx=\\n");
}
