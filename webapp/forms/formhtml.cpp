#include "webapp/forms/formhtml.h"

namespace webapp {

namespace {
Html messageId(const QString& id) {
    return Html::text(id) + "-message";
}
} // namespace

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
        html +=
            "<span class=\"message\" id=\"" + messageId(id) + "\">" + Html::text(error) + "</span>";
    return html + "</div>\n";
}

Html FieldErrorAttributes(const QString& id, const QString& error) {
    if (error.isEmpty())
        return {};
    return " aria-invalid=\"true\" aria-describedby=\"" + messageId(id) + "\"";
}

Html ErrorSummary(const Html& text) {
    return "<p class=\"error summary\" role=\"alert\" tabindex=\"-1\" autofocus>" + text + "</p>\n";
}

Html FormEnd(const Html& button) {
    return "<div class=\"actions\"><button type=\"submit\">" + button + "</button></div></form>\n";
}

Html ChoiceOptions(const QList<FieldChoice>& choices, const std::optional<QString>& selected) {
    Html html;
    for (const FieldChoice& c : choices)
        html += "<option value=\"" + Html::text(c.value) + "\"" +
                (c.value == selected ? Html(" selected") : Html()) + ">" + Html::text(c.label) +
                "</option>";
    return html;
}

} // namespace webapp
