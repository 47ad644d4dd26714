// Request reception and parsing: any bytes, cut into pieces of any size, must
// give the same verdict as the same bytes at once, and a parsed request must
// keep its promises (decoded path no longer than the raw one, trace text free
// of control characters).
#include "bridge/urldecode.h"
#include "common/codepage.h"
#include "server/requestparser.h"
#include "server/requestreader.h"
#include "server/tracetext.h"

#include <cstdint>
#include <cstdlib>

using server::RequestReader;
using server::RequestStatus;

namespace {
void check(bool condition) {
    if (!condition)
        std::abort();
}

RequestStatus readInPieces(QByteArrayView input, size_t piece, RequestReader& reader) {
    RequestStatus status = RequestStatus::Incomplete;
    for (qsizetype at = 0; at < input.size() && status == RequestStatus::Incomplete;
         at += static_cast<qsizetype>(piece))
        status = reader.append(input.sliced(at, std::min<qsizetype>(piece, input.size() - at)));
    return status;
}

void checkTraceText(const QString& text) {
    const QString escaped = server::EscapeControlCharacters(text);
    for (QChar c : escaped)
        check(c.unicode() >= 0x20 && c.unicode() != 0x7F &&
              !(c.unicode() >= 0x80 && c.unicode() <= 0x9F) && c.unicode() != 0x2028 &&
              c.unicode() != 0x2029);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const size_t piece = 1 + data[0] % 16;
    const QByteArrayView input(reinterpret_cast<const char*>(data) + 1,
                               static_cast<qsizetype>(size - 1));

    RequestReader whole;
    const RequestStatus wholeStatus = whole.append(input);
    RequestReader pieces;
    const RequestStatus piecesStatus = readInPieces(input, piece, pieces);
    check(wholeStatus == piecesStatus);
    if (wholeStatus != RequestStatus::Complete)
        return 0;

    const auto a = server::ProcessDataRequest(common::FromCodePage(whole.text()));
    const auto b = server::ProcessDataRequest(common::FromCodePage(pieces.text()));
    check(a.has_value() == b.has_value());
    if (!a)
        return 0;
    check(a->Request == b->Request && a->FilePath == b->FilePath && a->Command == b->Command);
    check(a->FilePath.size() <= a->Request.size());
    checkTraceText(a->FilePath + a->Command);
    const QString decoded = bridge::UrlDecode(a->Command);
    check(decoded.size() <= a->Command.size());
    return 0;
}
