#include "webapp/forms/formentry.h"

#include "webapp/forms/formhtml.h"
#include "webapp/forms/formtoken.h"

namespace webapp {

void LoadChoices(const PageEnvironment& env, FormEntry& entry, Choices which) {
    for (const FormField& f : entry.form.fields) {
        const bool restricted = f.type == QLatin1String("choice") && !f.free;
        if (entry.choices.contains(f.name) || (which == Choices::Restricted && !restricted))
            continue;
        QList<FieldChoice> choices = f.choices;
        if (!f.choicesQuery.isEmpty()) {
            QueryRun run;
            run.name = f.choicesQuery;
            run.limit = RemoteDatabase::MAX_LIMIT;
            const RowSet rows = env.database.query(run);
            const qsizetype value = rows.column(f.choicesValue);
            const qsizetype label = rows.column(f.choicesLabel);
            if (value < 0 || label < 0)
                throw FormDefinitionError{QStringLiteral("The query %1 has no column %2 or %3.")
                                              .arg(f.choicesQuery, f.choicesValue, f.choicesLabel)};
            for (const QList<Cell>& row : rows.rows)
                if (!row[value].isNull)
                    choices.append({row[value].text, row[label].text});
        }
        entry.choices.insert(f.name, choices);
    }
}

namespace {

// name="value", after a blank; nothing when value is empty.
Html attributeIf(Markup name, const QString& value) {
    if (value.isEmpty())
        return {};
    return " " + Html(name) + "=\"" + Html::text(value) + "\"";
}

Html lengthAttributes(const FormField& f) {
    return attributeIf("minlength", f.minLength ? QString::number(*f.minLength) : QString()) +
           attributeIf("maxlength",
                       QString::number(f.maxLength.value_or(FormDefinition::DEFAULT_MAX_LENGTH)));
}

Html input(const PageEnvironment& env, const FormEntry& entry, const FormField& f,
           const QString& id) {
    const QString value = entry.values.value(f.name);
    const Html common = " id=\"" + Html::text(id) + "\" name=\"" +
                        Html::text(FORM_FIELD_PREFIX + f.name) + "\"" +
                        (f.required ? Html(" required") : Html()) +
                        FieldErrorAttributes(id, entry.errors.value(f.name));
    const QList<FieldChoice> choices = entry.choices.value(f.name, f.choices);
    if (f.multiline())
        return "<textarea" + common + lengthAttributes(f) + " rows=\"" + Html::number(f.rows) +
               "\">" + Html::text(value) + "</textarea>";
    if (f.type == QLatin1String("choice") && !f.free)
        return "<select" + common + "><option value=\"\">" + env.html("webChoose") + "</option>" +
               ChoiceOptions(choices, value) + "</select>";
    Markup type = "text";
    Html extra = lengthAttributes(f) + attributeIf("pattern", f.pattern);
    if (f.type == QLatin1String("integer") || f.type == QLatin1String("real")) {
        type = "number";
        extra = attributeIf("step", f.type == QLatin1String("integer") ? QStringLiteral("1")
                                                                       : QStringLiteral("any"));
    } else if (f.type == QLatin1String("email")) {
        type = "email";
    } else if (f.type == QLatin1String("date")) {
        type = "date";
    }
    if (f.type == QLatin1String("integer") || f.type == QLatin1String("real") ||
        f.type == QLatin1String("date"))
        extra += attributeIf("min", f.min) + attributeIf("max", f.max);
    Html html = "<input type=\"" + Html(type) + "\"" + common + extra + " value=\"" +
                Html::text(value) + "\"";
    if (f.type != QLatin1String("choice"))
        return html + ">";
    // A free choice: the offered values as suggestions, any other text allowed.
    const Html list = Html::text(id) + "-list";
    return html + " list=\"" + list + "\"><datalist id=\"" + list + "\">" +
           ChoiceOptions(choices, std::nullopt) + "</datalist>";
}

} // namespace

Html FormEntryHtml(const PageEnvironment& env, const FormEntry& entry) {
    const QString secret = env.context.text(QStringLiteral("Secret"));
    Html html = FormStart(env.root(), "post", "entry") +
                HiddenInput(QStringLiteral("page"), QStringLiteral("form")) +
                HiddenInput(QStringLiteral("name"), entry.form.name) +
                HiddenInput(FORM_NONCE, entry.nonce) +
                HiddenInput(FORM_TOKEN, FormToken(secret, entry.form.name, entry.nonce,
                                                  env.identity.formBinding())) +
                "\n";
    if (!entry.form.description.isEmpty())
        html += "<p class=\"description\">" + Html::text(entry.form.description) + "</p>\n";
    int n = 0;
    for (const FormField& f : entry.form.fields) {
        const QString id = QStringLiteral("ff") + QString::number(++n);
        const Html label =
            Html::text(f.label) + (f.required ? Html("<span class=\"required\">*</span>") : Html());
        html += FieldRow(id, label, input(env, entry, f, id), entry.errors.value(f.name));
    }
    return html + FormEnd(env.html("webSave"));
}

} // namespace webapp
