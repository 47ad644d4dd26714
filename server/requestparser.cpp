#include "server/requestparser.h"

#include "common/text.h"
#include "common/urldecode.h"

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

// The path of an absolute-form target ("http://host/path?q"): what follows the
// host, with a "/" in front when only a query or nothing follows it. Other
// targets are returned as they are.
QString originForm(QStringView target) {
    static const QString schemes[] = {QStringLiteral("http://"), QStringLiteral("https://")};
    for (const QString& scheme : schemes) {
        if (!target.startsWith(scheme, Qt::CaseInsensitive))
            continue;
        const QStringView rest = target.mid(scheme.size());
        qsizetype end = 0;
        while (end < rest.size() && rest[end] != QLatin1Char('/') && rest[end] != QLatin1Char('?'))
            ++end;
        if (end < rest.size() && rest[end] == QLatin1Char('/'))
            return rest.mid(end).toString();
        return QLatin1Char('/') + rest.mid(end).toString();
    }
    return target.toString();
}

// The path of a request line after the method and its blank, cut before " HTTP".
std::optional<QString> cutPath(const QString& request, qsizetype methodLength) {
    const QStringView target = QStringView(request).mid(std::min(methodLength, request.size()));
    const qsizetype mark = target.indexOf(HTTP_MARK);
    if (mark < 0)
        return std::nullopt;
    return originForm(target.left(mark));
}
} // namespace

QStringView HeaderLineValue(QStringView line, qsizetype colon) {
    return colon + 2 <= line.size() ? line.mid(colon + 2) : QStringView();
}

std::optional<QString> HeaderField(const common::Dictionary& parameters, const QString& name) {
    if (parameters.Exists(name))
        return common::ToText(parameters.item(name));
    std::optional<QString> found;
    for (const QString& key : parameters.keys())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            found = common::ToText(parameters.item(key));
    return found;
}

QList<QByteArray> HeaderValues(QByteArrayView request, QByteArrayView name) {
    QList<QByteArray> values;
    const qsizetype blank = request.indexOf("\r\n\r\n");
    const QByteArrayView header = blank < 0 ? request : request.first(blank + 2);
    qsizetype start = header.indexOf("\r\n"); // the request line is no header line
    while (start >= 0 && start + 2 < header.size()) {
        start += 2;
        qsizetype end = header.indexOf("\r\n", start);
        if (end < 0)
            end = header.size();
        const QByteArrayView line = header.sliced(start, end - start);
        if (line.size() > name.size() && line[name.size()] == ':' &&
            line.first(name.size()).compare(name, Qt::CaseInsensitive) == 0)
            values.append(line.sliced(name.size() + 1).trimmed().toByteArray());
        start = end;
    }
    return values;
}

std::optional<clsHeader> ProcessDataRequest(const QString& strData) {
    clsHeader header;
    const qsizetype firstEnd = strData.indexOf(CRLF);
    header.Request = firstEnd < 0 ? strData : strData.left(firstEnd);
    // The header lines end at the blank line: the lines of a body are not header lines.
    const qsizetype blank = strData.indexOf(BLANK_LINE);
    if (firstEnd >= 0 && firstEnd != blank)
        parseLines(QStringView(strData).mid(firstEnd + CRLF.size(),
                                            blank < 0 ? -1 : blank - firstEnd - CRLF.size()),
                   *header.Parameters);

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
        header.Parameters->Add(QStringLiteral("Content"),
                               blank < 0 ? QString() : strData.mid(blank + BLANK_LINE.size()));
    }
    header.FilePath = common::UrlDecode(path);
    return header;
}

} // namespace server
