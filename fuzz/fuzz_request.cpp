// Request reception and parsing: any bytes, cut into pieces of any size, must
// give the same verdict (and body length, and wish for "100 Continue") as the
// same bytes at once, under the same memory left for bodies; a parsed request
// must keep its promises: decoded path no longer than the raw one, trace text
// free of control characters, no parameter taken from a body line, a
// Content-Length the reader waited for is one the parser finds in any case, and
// a POST's body exactly as long as it says. Its redirect to HTTPS, when it has
// one, is an https address whose authority is a host name or address and a port,
// and whose whole text holds no blank or control character.
#include "common/codepage.h"
#include "common/text.h"
#include "common/urldecode.h"
#include "server/httpslocation.h"
#include "server/requestparser.h"
#include "server/requestreader.h"
#include "server/tracetext.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <netinet/in.h>

using server::RequestReader;
using server::RequestStatus;

namespace {
void check(bool condition) {
    if (!condition)
        std::abort();
}

RequestStatus readInPieces(QByteArrayView input, size_t piece, qint64 budget,
                           RequestReader& reader) {
    RequestStatus status = RequestStatus::Incomplete;
    for (qsizetype at = 0; at < input.size() && status == RequestStatus::Incomplete;
         at += static_cast<qsizetype>(piece))
        status =
            reader.append(input.sliced(at, std::min<qsizetype>(piece, input.size() - at)), budget);
    return status;
}

// Every parameter but the body's own entry comes from a line of the header section.
void checkParametersFromHeader(const server::clsHeader& header, const QString& text) {
    const qsizetype blank = text.indexOf(QLatin1String("\r\n\r\n"));
    const QStringView head = blank < 0 ? QStringView(text) : QStringView(text).left(blank);
    for (const QString& key : header.Parameters->keys())
        check(key == QLatin1String("Content") || head.contains(key + QLatin1Char(':')));
}

void checkTraceText(const QString& path, const QString& query) {
    for (QChar c : server::RequestTraceText(path, query))
        check(c.unicode() >= 0x20 && c.unicode() != 0x7F &&
              !(c.unicode() >= 0x80 && c.unicode() <= 0x9F) && c.unicode() != 0x2028 &&
              c.unicode() != 0x2029);
}
void checkHttpsLocation(const QByteArray& request, const server::clsHeader& header) {
    sockaddr_storage local{};
    auto& v4 = reinterpret_cast<sockaddr_in&>(local);
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto location = server::HttpsLocation(
        request, server::HeaderField(*header.Parameters, QStringLiteral("Host")), local, 8443);
    if (!location)
        return;
    check(location->startsWith("https://"));
    for (char c : *location)
        check(c > 0x20 && c < 0x7F);
    const qsizetype path = location->indexOf('/', 8);
    check(path > 8);
    for (char c : location->mid(8, path - 8))
        check(std::isalnum(static_cast<unsigned char>(c)) || QByteArrayView("-._[]:").contains(c));
    check(location->mid(8, path - 8).endsWith(":8443"));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const size_t piece = 1 + data[0] % 16;
    const qint64 budget = data[0] & 0x80 ? 16 : server::MAX_BODY_BYTES;
    const QByteArrayView input(reinterpret_cast<const char*>(data) + 1,
                               static_cast<qsizetype>(size - 1));

    RequestReader whole;
    const RequestStatus wholeStatus = whole.append(input, budget);
    RequestReader pieces;
    const RequestStatus piecesStatus = readInPieces(input, piece, budget, pieces);
    check(wholeStatus == piecesStatus);
    check(whole.headerComplete() == pieces.headerComplete());
    check(whole.bodyLength() == pieces.bodyLength());
    const bool accepted =
        wholeStatus == RequestStatus::Incomplete || wholeStatus == RequestStatus::Complete;
    check(!accepted || whole.bodyLength() <= budget);
    check(!pieces.expectsContinue() || piecesStatus == RequestStatus::Incomplete);
    if (wholeStatus != RequestStatus::Complete)
        return 0;

    const QString text = common::FromCodePage(whole.text());
    const auto a = server::ProcessDataRequest(text);
    const auto b = server::ProcessDataRequest(common::FromCodePage(pieces.text()));
    check(a.has_value() == b.has_value());
    if (!a)
        return 0;
    check(a->Request == b->Request && a->FilePath == b->FilePath && a->Command == b->Command);
    checkParametersFromHeader(*a, text);
    check(whole.bodyLength() == 0 ||
          server::HeaderField(*a->Parameters, QStringLiteral("Content-Length")).has_value());
    check(a->FilePath.size() <= a->Request.size());
    checkTraceText(a->FilePath, a->Command);
    checkHttpsLocation(whole.text(), *a);
    if (text.startsWith(QLatin1String("POST")))
        check(common::ToText(a->Parameters->item(QStringLiteral("Content"))).size() ==
              whole.bodyLength());
    const QString decoded = common::UrlDecode(a->Command);
    check(decoded.size() <= a->Command.size());
    return 0;
}
