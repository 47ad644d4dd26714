#include "webapp/forms/formhtml.h"

namespace webapp {

Html FormStart(const QString& root, Markup method, Markup cssClass) {
    return "<form class=\"" + Html(cssClass) + "\" method=\"" + method + "\" action=\"" +
           Html::text(root) + "/\" accept-charset=\"utf-8\">";
}

Html HiddenInput(const QString& name, const QString& value) {
    return "<input type=\"hidden\" name=\"" + Html::text(name) + "\" value=\"" + Html::text(value) +
           "\">";
}

Html FieldRow(const QString& id, const Html& label, const Html& input, const QString& error) {
    Html html = "<div class=\"field" + Html(error.isEmpty() ? Markup("") : Markup(" invalid")) +
                "\"><label for=\"" + Html::text(id) + "\">" + label + "</label>" + input;
    if (!error.isEmpty())
        html += "<span class=\"message\" id=\"" + Html::text(id) + "-msg\">" + Html::text(error) +
                "</span>";
    return html + "</div>\n";
}

Html FormEnd(const Html& button) {
    return "<div class=\"actions\"><button type=\"submit\">" + button + "</button></div></form>\n";
}

} // namespace webapp
