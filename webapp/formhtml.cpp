#include "webapp/formhtml.h"

#include "webapp/html.h"

namespace webapp {

QString FormStart(const QString& root, const char* method, const char* cssClass) {
    return QStringLiteral("<form class=\"") + QLatin1String(cssClass) +
           QStringLiteral("\" method=\"") + QLatin1String(method) + QStringLiteral("\" action=\"") +
           HtmlEscape(root) + QStringLiteral("/\" accept-charset=\"utf-8\">");
}

QString HiddenInput(const QString& name, const QString& value) {
    return QStringLiteral("<input type=\"hidden\" name=\"") + HtmlEscape(name) +
           QStringLiteral("\" value=\"") + HtmlEscape(value) + QStringLiteral("\">");
}

QString FieldRow(const QString& id, const QString& labelHtml, const QString& inputHtml,
                 const QString& error) {
    QString html = QStringLiteral("<div class=\"field") +
                   (error.isEmpty() ? QString() : QStringLiteral(" invalid")) +
                   QStringLiteral("\"><label for=\"") + HtmlEscape(id) + QStringLiteral("\">") +
                   labelHtml + QStringLiteral("</label>") + inputHtml;
    if (!error.isEmpty())
        html += QStringLiteral("<span class=\"message\">") + HtmlEscape(error) +
                QStringLiteral("</span>");
    return html + QStringLiteral("</div>\n");
}

QString FormEnd(const QString& buttonHtml) {
    return QStringLiteral("<div class=\"actions\"><button type=\"submit\">") + buttonHtml +
           QStringLiteral("</button></div></form>\n");
}

} // namespace webapp
