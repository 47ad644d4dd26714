#include "webappapi/answertext.h"

#include "common/codepage.h"

#include <QFile>

namespace bridge {

common::Response ResponseFromText(const QString& text) {
    QByteArray bytes = common::ToCodePage(text);
    if (QStringView(text).left(7).compare(QLatin1String("HTTP/1."), Qt::CaseInsensitive) == 0)
        return common::Response::Verbatim(std::move(bytes));
    return common::Response::PageBody(std::move(bytes));
}

QString ResponseText(const common::Response& response) {
    const QByteArray body =
        response.hasFile() ? response.file.file->read(response.file.length) : response.body;
    return common::FromCodePage(response.head() + body);
}

} // namespace bridge
