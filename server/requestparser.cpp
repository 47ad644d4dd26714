#include "server/requestparser.h"

#include "bridge/urldecode.h"

namespace server {

namespace {
const QString CRLF = QStringLiteral("\r\n");
const QString BLANK_LINE = QStringLiteral("\r\n\r\n");
const QString HTTP_MARK = QStringLiteral(" HTTP");

void parseLines(QStringView rest, common::Dictionary& parameters) {
    qsizetype start = 0;
    while (start <= rest.size()) {
        qsizetype end = rest.indexOf(CRLF, start);
        if (end < 0)
            end = rest.size();
        const QStringView line = rest.mid(start, end - start);
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon >= 0)
            parameters.Add(line.left(colon).toString(), HeaderLineValue(line, colon).toString());
        start = end + CRLF.size();
    }
}

// The path of a request line after the method and its blank, cut before " HTTP".
std::optional<QString> cutPath(const QString& request, qsizetype methodLength) {
    const QStringView path = QStringView(request).mid(std::min(methodLength, request.size()));
    const qsizetype mark = path.indexOf(HTTP_MARK);
    if (mark < 0)
        return std::nullopt;
    return path.left(mark).toString();
}
} // namespace

QStringView HeaderLineValue(QStringView line, qsizetype colon) {
    return colon + 2 <= line.size() ? line.mid(colon + 2) : QStringView();
}

std::optional<clsHeader> ProcessDataRequest(const QString& strData) {
    clsHeader header;
    const qsizetype firstEnd = strData.indexOf(CRLF);
    header.Request = firstEnd < 0 ? strData : strData.left(firstEnd);
    if (firstEnd >= 0)
        parseLines(QStringView(strData).mid(firstEnd + CRLF.size()), *header.Parameters);

    QString path;
    if (header.Request.startsWith(QLatin1String("GET"))) {
        const auto cut = cutPath(header.Request, 4);
        if (!cut)
            return std::nullopt;
        path = *cut;
        const qsizetype question = path.indexOf(QLatin1Char('?'));
        if (question >= 0) {
            header.Command = path.mid(question + 1);
            path.truncate(question);
        }
    } else if (header.Request.startsWith(QLatin1String("POST"))) {
        const auto cut = cutPath(header.Request, 5);
        if (!cut)
            return std::nullopt;
        path = *cut;
        const qsizetype blank = strData.indexOf(BLANK_LINE);
        header.Parameters->Add(QStringLiteral("Content"),
                               blank < 0 ? QString() : strData.mid(blank + BLANK_LINE.size()));
    }
    header.FilePath = bridge::UrlDecode(path);
    return header;
}

} // namespace server
