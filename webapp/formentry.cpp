#include "webapp/formentry.h"

#include "webapp/formhtml.h"
#include "webapp/formtoken.h"
#include "webapp/html.h"

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

QString attributeIf(const char* name, const QString& value) {
    if (value.isEmpty())
        return {};
    return QLatin1Char(' ') + QLatin1String(name) + QStringLiteral("=\"") + HtmlEscape(value) +
           QLatin1Char('"');
}

QString lengthAttributes(const FormField& f) {
    return attributeIf("minlength", f.minLength ? QString::number(*f.minLength) : QString()) +
           attributeIf("maxlength",
                       QString::number(f.maxLength.value_or(FormDefinition::DEFAULT_MAX_LENGTH)));
}

QString input(const PageEnvironment& env, const FormEntry& entry, const FormField& f,
              const QString& id) {
    const QString value = entry.values.value(f.name);
    const QString common = QStringLiteral(" id=\"") + id + QStringLiteral("\" name=\"") +
                           HtmlEscape(FORM_FIELD_PREFIX + f.name) + QLatin1Char('"') +
                           (f.required ? QStringLiteral(" required") : QString());
    const QList<FieldChoice> choices = entry.choices.value(f.name, f.choices);
    if (f.multiline())
        return QStringLiteral("<textarea") + common + lengthAttributes(f) +
               QStringLiteral(" rows=\"") + QString::number(f.rows) + QStringLiteral("\">") +
               HtmlEscape(value) + QStringLiteral("</textarea>");
    if (f.type == QLatin1String("choice") && !f.free) {
        QString html = QStringLiteral("<select") + common + QStringLiteral("><option value=\"\">") +
                       env.html("webChoose") + QStringLiteral("</option>");
        for (const FieldChoice& c : choices)
            html += QStringLiteral("<option value=\"") + HtmlEscape(c.value) + QLatin1Char('"') +
                    (c.value == value ? QStringLiteral(" selected") : QString()) +
                    QLatin1Char('>') + HtmlEscape(c.label) + QStringLiteral("</option>");
        return html + QStringLiteral("</select>");
    }
    QString type = QStringLiteral("text");
    QString extra = lengthAttributes(f) + attributeIf("pattern", f.pattern);
    if (f.type == QLatin1String("integer") || f.type == QLatin1String("real")) {
        type = QStringLiteral("number");
        extra = attributeIf("step", f.type == QLatin1String("integer") ? QStringLiteral("1")
                                                                       : QStringLiteral("any"));
    } else if (f.type == QLatin1String("email") || f.type == QLatin1String("date")) {
        type = f.type;
    }
    if (f.type == QLatin1String("integer") || f.type == QLatin1String("real") ||
        f.type == QLatin1String("date"))
        extra += attributeIf("min", f.min) + attributeIf("max", f.max);
    QString html = QStringLiteral("<input type=\"") + type + QLatin1Char('"') + common + extra +
                   QStringLiteral(" value=\"") + HtmlEscape(value) + QLatin1Char('"');
    if (f.type != QLatin1String("choice"))
        return html + QLatin1Char('>');
    // A free choice: the offered values as suggestions, any other text allowed.
    html += QStringLiteral(" list=\"") + id + QStringLiteral("-list\"><datalist id=\"") + id +
            QStringLiteral("-list\">");
    for (const FieldChoice& c : choices)
        html += QStringLiteral("<option value=\"") + HtmlEscape(c.value) + QStringLiteral("\">") +
                HtmlEscape(c.label) + QStringLiteral("</option>");
    return html + QStringLiteral("</datalist>");
}

} // namespace

QString FormEntryHtml(const PageEnvironment& env, const FormEntry& entry) {
    const QString secret = env.context.text(QStringLiteral("Secret"));
    QString html = FormStart(env.root(), "post", "entry") +
                   HiddenInput(QStringLiteral("page"), QStringLiteral("form")) +
                   HiddenInput(QStringLiteral("name"), entry.form.name) +
                   HiddenInput(FORM_NONCE, entry.nonce) +
                   HiddenInput(FORM_TOKEN, FormToken(secret, entry.form.name, entry.nonce)) +
                   QLatin1Char('\n');
    if (!entry.form.description.isEmpty())
        html += QStringLiteral("<p class=\"description\">") + HtmlEscape(entry.form.description) +
                QStringLiteral("</p>\n");
    int n = 0;
    for (const FormField& f : entry.form.fields) {
        const QString id = QStringLiteral("ff") + QString::number(++n);
        const QString label =
            HtmlEscape(f.label) +
            (f.required ? QStringLiteral("<span class=\"required\">*</span>") : QString());
        html += FieldRow(id, label, input(env, entry, f, id), entry.errors.value(f.name));
    }
    return html + FormEnd(env.html("webSave"));
}

} // namespace webapp
