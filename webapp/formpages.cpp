#include "webapp/formpages.h"

#include "webapp/applicationpages.h"
#include "webapp/errorpages.h"
#include "webapp/formdefinition.h"
#include "webapp/formhtml.h"
#include "webapp/formtoken.h"
#include "webapp/formvalidation.h"
#include "webapp/html.h"
#include "webapp/savedentries.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace webapp {

namespace {

const QString FIELD_PREFIX = QStringLiteral("f.");
const QString NONCE = QStringLiteral("formnonce");
const QString TOKEN = QStringLiteral("formtoken");

QString formsFolder(const PageEnvironment& env) {
    return env.context.applicationSubfolder(QStringLiteral("forms"));
}

// One form as a user filled it in.
struct Entry {
    FormDefinition form;
    QHash<QString, QList<FieldChoice>> choices; // field -> what it offers
    QHash<QString, QString> values;             // field -> value as entered
    QHash<QString, QString> errors;             // field -> message
    QString nonce;
};

enum class Choices { Restricted, All };

// Reads the choices that come from queries, of the fields that do not have them yet: only
// those a value must be one of (Restricted, to validate a post), or all (to show the form).
void loadChoices(const PageEnvironment& env, Entry& entry, Choices which) {
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

QString input(const PageEnvironment& env, const Entry& entry, const FormField& f,
              const QString& id) {
    const QString value = entry.values.value(f.name);
    const QString common = QStringLiteral(" id=\"") + id + QStringLiteral("\" name=\"") +
                           HtmlEscape(FIELD_PREFIX + f.name) + QLatin1Char('"') +
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

QString formHtml(const PageEnvironment& env, const Entry& entry) {
    const QString secret = env.context.text(QStringLiteral("Secret"));
    QString html =
        FormStart(env.root(), "post", "entry") +
        HiddenInput(QStringLiteral("page"), QStringLiteral("form")) +
        HiddenInput(QStringLiteral("name"), entry.form.name) + HiddenInput(NONCE, entry.nonce) +
        HiddenInput(TOKEN, FormToken(secret, entry.form.name, entry.nonce)) + QLatin1Char('\n');
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

Response formPage(const PageEnvironment& env, const Entry& entry, const QString& above = {}) {
    return env.page(entry.form.title, above + formHtml(env, entry), QStringLiteral("forms"));
}

bool isSubmission(const PageEnvironment& env) {
    if (env.context.hasField(NONCE) || env.context.hasField(TOKEN))
        return true;
    for (const QString& name : env.context.fieldNames())
        if (name.startsWith(FIELD_PREFIX))
            return true;
    return false;
}

QString notSavedNote(const PageEnvironment& env) {
    return QStringLiteral("<p class=\"warning\">") + env.html("webMaybeSaved") +
           QStringLiteral("</p>\n");
}

Response submit(const PageEnvironment& env, Entry& entry) {
    const QString secret = env.context.text(QStringLiteral("Secret"));
    if (!IsValidFormToken(secret, entry.form.name, entry.nonce, env.field(TOKEN)))
        return ForbiddenPage(env, env.label("webTokenRefused"));
    loadChoices(env, entry, Choices::Restricted);
    for (const FormField& f : entry.form.fields) {
        const QString value = env.field(FIELD_PREFIX + f.name);
        entry.values.insert(f.name, value);
        const QString error = CheckFieldValue(f, value, entry.choices.value(f.name), env.labels);
        if (!error.isEmpty())
            entry.errors.insert(f.name, error);
    }
    if (!entry.errors.isEmpty()) {
        loadChoices(env, entry, Choices::All);
        return formPage(env, entry,
                        QStringLiteral("<p class=\"error\">") + env.html("webFixErrors") +
                            QStringLiteral("</p>\n"));
    }

    QueryRun run;
    run.name = entry.form.writeQuery;
    run.requestId = entry.nonce;
    for (const auto& [parameter, fieldName] : entry.form.parameters) {
        const FormField* f = entry.form.field(fieldName);
        QString value = entry.values.value(fieldName);
        if (!f->multiline() && f->type != QLatin1String("text"))
            value = value.trimmed();
        // An optional field left empty stores NULL rather than an empty text.
        run.arguments.append(
            {parameter, value.trimmed().isEmpty() ? std::nullopt : std::optional<QString>(value)});
    }
    WriteResult result;
    try {
        result = env.database.write(run);
    } catch (const DataUnavailable& e) {
        // No further waits on a data server that does not answer: the form as far as known.
        return UnavailablePage(env, e.reason, notSavedNote(env) + formHtml(env, entry));
    } catch (const DataFailure& failure) {
        loadChoices(env, entry, Choices::All);
        return formPage(env, entry, FailureBox(env, failure) + notSavedNote(env));
    }
    SavedEntry saved{entry.form.name,
                     entry.form.title,
                     entry.form.savedText,
                     {},
                     result.lastInsertId > 0 ? QString::number(result.lastInsertId) : QString()};
    for (const FormField& f : entry.form.fields)
        saved.values.append({f.label, entry.values.value(f.name)});
    SavedEntries(env.context.application()).remember(entry.nonce, saved);
    return Response::redirectTo(Link(QStringLiteral("saved"))
                                    .with(QStringLiteral("form"), entry.form.name)
                                    .with(QStringLiteral("entry"), entry.nonce)
                                    .address(env.root()));
}

std::optional<FormDefinition> loadForm(const PageEnvironment& env, const QString& name,
                                       Response* failure) {
    const QString folder = formsFolder(env);
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".xml");
    if (folder.isEmpty() || !IsPlainFileName(name) || !QFileInfo(path).isFile()) {
        *failure = NotFoundPage(env, env.label("webFormMissing", name));
        return std::nullopt;
    }
    try {
        return FormDefinition::load(path, name, env.labels);
    } catch (const FormDefinitionError& e) {
        *failure = env.page(name,
                            QStringLiteral("<p class=\"error\">") +
                                env.html("webFormInvalid", name + QStringLiteral(".xml")) +
                                QStringLiteral("</p><p class=\"detail\">") + HtmlEscape(e.message) +
                                QStringLiteral("</p>"),
                            QStringLiteral("forms"), 500);
        return std::nullopt;
    }
}

} // namespace

Response FormsPage(const PageEnvironment& env) {
    const QString folder = formsFolder(env);
    const QStringList files = folder.isEmpty() ? QStringList()
                                               : QDir(folder).entryList({QStringLiteral("*.xml")},
                                                                        QDir::Files, QDir::Name);
    QString html = QStringLiteral("<ul class=\"forms\">\n");
    for (const QString& file : files) {
        const QString name = file.chopped(4);
        if (!IsPlainFileName(name))
            continue;
        QString title = name;
        try {
            title =
                FormDefinition::load(QDir(formsFolder(env)).filePath(file), name, env.labels).title;
        } catch (const FormDefinitionError&) {
            // Listed by name: opening it says what is wrong.
        }
        html += QStringLiteral("<li>") +
                Anchor(Link(QStringLiteral("form")).with(QStringLiteral("name"), name), title,
                       env.root()) +
                QStringLiteral("</li>\n");
    }
    if (files.isEmpty())
        html += QStringLiteral("<li>") + env.html("webNoForms") + QStringLiteral("</li>\n");
    html += QStringLiteral("</ul>\n");
    return env.page(env.label("webFormsTitle"), html, QStringLiteral("forms"));
}

Response FormPage(const PageEnvironment& env) {
    Response failure;
    std::optional<FormDefinition> form = loadForm(env, env.field(QStringLiteral("name")), &failure);
    if (!form)
        return failure;
    Entry entry{*form, {}, {}, {}, {}};
    try {
        if (isSubmission(env)) {
            entry.nonce = env.field(NONCE);
            return submit(env, entry);
        }
        entry.nonce = NewFormNonce();
        loadChoices(env, entry, Choices::All);
        return formPage(env, entry);
    } catch (const FormDefinitionError& e) {
        return env.page(form->name,
                        QStringLiteral("<p class=\"error\">") + HtmlEscape(e.message) +
                            QStringLiteral("</p>"),
                        QStringLiteral("forms"), 500);
    }
}

Response SavedPage(const PageEnvironment& env) {
    const QString name = env.field(QStringLiteral("form"));
    const std::optional<SavedEntry> saved =
        SavedEntries(env.context.application()).find(env.field(QStringLiteral("entry")));
    QString html;
    QString title = env.label("webSavedTitle");
    if (saved && saved->form == name) {
        title = saved->title;
        html +=
            QStringLiteral("<p class=\"success\">") +
            HtmlEscape(saved->savedText.isEmpty() ? env.label("webSavedText") : saved->savedText) +
            QStringLiteral("</p>\n<table class=\"record\"><tbody>\n");
        for (const auto& [label, value] : saved->values)
            html += QStringLiteral("<tr><th>") + HtmlEscape(label) + QStringLiteral("</th><td>") +
                    HtmlEscape(value) + QStringLiteral("</td></tr>\n");
        html += QStringLiteral("</tbody></table>\n");
        if (!saved->lastInsertId.isEmpty())
            html += QStringLiteral("<p>") + env.html("webSavedId", saved->lastInsertId) +
                    QStringLiteral("</p>\n");
    } else {
        html += QStringLiteral("<p>") + env.html("webSavedUnknown") + QStringLiteral("</p>\n");
    }
    if (IsPlainFileName(name))
        html += QStringLiteral("<p>") +
                Anchor(Link(QStringLiteral("form")).with(QStringLiteral("name"), name),
                       env.label("webEnterAnother"), env.root()) +
                QStringLiteral("</p>\n");
    return env.page(title, html, QStringLiteral("forms"));
}

} // namespace webapp
