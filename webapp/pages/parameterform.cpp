#include "webapp/pages/parameterform.h"

#include "webapp/data/querytexts.h"
#include "webapp/forms/formhtml.h"
#include "webapp/pages/parameterchoices.h"

namespace webapp {

namespace {

Markup inputType(const QueryParameter& p) {
    if (p.type == QLatin1String("integer"))
        return "type=\"number\" step=\"1\"";
    if (p.type == QLatin1String("real"))
        return "type=\"number\" step=\"any\"";
    return "type=\"text\"";
}

// A parameter's input: a choice list of a table's rows when it has one, else typed text; its
// description as a hint.
Html parameterInput(const PageEnvironment& env, const QString& id, const QueryParameter& p,
                    const QueryView& view, const QString& description) {
    const QString error = view.errors.value(p.name);
    const QString entered = view.entered.value(p.name);
    const Html named = " id=\"" + Html::text(id) + "\" name=\"" +
                       Html::text(QueryView::PARAMETER_PREFIX + p.name) + "\"";
    const std::optional<QList<FieldChoice>> choices = ParameterChoices(env.database, p);
    Html input = choices ? Html("<select" + named + FieldErrorAttributes(id, error))
                         : Html("<input " + Html(inputType(p)) + named + " value=\"" +
                                Html::text(entered) + "\"" + FieldErrorAttributes(id, error));
    // A field in error is described by its message.
    const QString hint = id + QStringLiteral("-hint");
    if (!description.isEmpty() && error.isEmpty())
        input += " aria-describedby=\"" + Html::text(hint) + "\"";
    input += Markup(">");
    if (choices)
        input += "<option value=\"\">" + env.html("webChoose") + "</option>" +
                 ChoiceOptions(*choices, entered) + "</select>";
    if (description.isEmpty())
        return input;
    return input + "<span class=\"hint\" id=\"" + Html::text(hint) + "\">" +
           Html::text(description) + "</span>";
}

} // namespace

Html ParameterForm(const PageEnvironment& env, const QueryView& view, const Link& fields,
                   const Html& button) {
    Html html = FormStart(env.root(), "get", "entry");
    for (const auto& [name, value] : fields.fields())
        html += HiddenInput(name, value);
    html += HiddenInput(QStringLiteral("run"), QStringLiteral("1")) + "\n";
    int n = 0;
    for (const QueryParameter& p : view.info.parameters) {
        const QString id = QStringLiteral("qp") + QString::number(++n);
        html += FieldRow(id, Html::text(TitleOf(env.labels, p.texts, p.name)),
                         parameterInput(env, id, p, view, DescriptionOf(env.labels, p.texts)),
                         view.errors.value(p.name));
    }
    return html + FormEnd(button);
}

} // namespace webapp
