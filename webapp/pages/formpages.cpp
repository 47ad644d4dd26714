#include "webapp/pages/formpages.h"

#include "webapp/forms/formentry.h"
#include "webapp/forms/formhtml.h"
#include "webapp/forms/formtoken.h"
#include "webapp/forms/formvalidation.h"
#include "webapp/forms/savedentries.h"
#include "webapp/pages/applicationpages.h"
#include "webapp/pages/errorpages.h"
#include "webapp/pages/formfiles.h"
#include "webapp/pages/signinpages.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace webapp {

namespace {

// One form as a user filled it in.
Response formPage(const PageEnvironment& env, const FormEntry& entry, const Html& above = {},
                  int status = 200) {
    return env.page(entry.form.title, above + FormEntryHtml(env, entry), QStringLiteral("forms"),
                    status);
}

bool isSubmission(const PageEnvironment& env) {
    if (env.context.hasField(FORM_NONCE) || env.context.hasField(FORM_TOKEN))
        return true;
    for (const QString& name : env.context.fieldNames())
        if (name.startsWith(FORM_FIELD_PREFIX))
            return true;
    return false;
}

Html paragraph(const Html& content, Markup cssClass = "") {
    return (cssClass.isEmpty() ? Html("<p>") : "<p class=\"" + Html(cssClass) + "\">") + content +
           "</p>\n";
}

Html note(const PageEnvironment& env, const char* labelId) {
    return paragraph(env.html(labelId), "warning");
}

// The message of each field whose value breaks a rule; the values are kept in the entry.
void checkValues(const PageEnvironment& env, FormEntry& entry) {
    for (const FormField& f : entry.form.fields) {
        const QString name = FORM_FIELD_PREFIX + f.name;
        const QString value = env.field(name);
        entry.values.insert(f.name, value);
        const QString error =
            env.context.fieldIsUtf8(name)
                ? CheckFieldValue(f, value, entry.choices.value(f.name), env.labels)
                : env.label("webErrEncoding");
        if (!error.isEmpty())
            entry.errors.insert(f.name, error);
    }
}

// The audit trail's record of a write: the form, and the values it writes by parameter.
AuditEntry auditOf(const PageEnvironment& env, const QueryRun& run) {
    QJsonObject values;
    for (const auto& [parameter, value] : run.arguments)
        values.insert(parameter, value ? QJsonValue(*value) : QJsonValue());
    return AuditOf(env, QStringLiteral("form"), run.name,
                   QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact)));
}

QueryRun writeOf(const FormEntry& entry) {
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
    return run;
}

// A field's value as the saved page shows it: a choice by its label, anything else as entered.
QString shownValue(const FormEntry& entry, const FormField& field) {
    const QString value = entry.values.value(field.name);
    for (const FieldChoice& choice : entry.choices.value(field.name))
        if (choice.value == value && !choice.label.isEmpty())
            return choice.label;
    return value;
}

// The entry as this send would save it.
SavedEntry sentEntry(const FormEntry& entry, const WriteResult& result = {}) {
    SavedEntry sent;
    sent.form = entry.form.name;
    sent.title = entry.form.title;
    sent.savedText = entry.form.savedText;
    if (result.lastInsertId > 0)
        sent.lastInsertId = QString::number(result.lastInsertId);
    for (const FormField& f : entry.form.fields)
        sent.values.append({f.label, shownValue(entry, f)});
    return sent;
}

// The data server found the entry written by an earlier send of the same form: what it
// was written with, as far as this server knows, and this send's values when they differ.
SavedEntry sentAgain(const SavedEntries& entries, const QString& nonce, const SavedEntry& sent) {
    std::optional<SavedEntry> stored = entries.find(nonce);
    if (!stored)
        stored = entries.unanswered(nonce);
    SavedEntry shown = stored ? *stored : sent;
    shown.valuesKnown = stored && stored->valuesKnown;
    if (!shown.valuesKnown)
        shown.values.clear();
    if (shown.lastInsertId.isEmpty())
        shown.lastInsertId = sent.lastInsertId;
    shown.sentAgain = true;
    shown.notWritten =
        shown.valuesKnown && shown.values == sent.values ? FieldValues() : sent.values;
    return shown;
}

Response submit(const PageEnvironment& env, FormEntry& entry) {
    if (!IsValidFormToken(env.secret(), entry.form.name, entry.nonce, env.field(FORM_TOKEN),
                          env.identity.formBinding())) {
        // Shown by an earlier run, in a session that has ended, or by another site: nothing is
        // written unasked, and nothing typed is lost. The form comes back with its values and
        // a token of now; its nonce stays, so a form written after all is not written twice.
        if (!IsFormNonce(entry.nonce))
            entry.nonce = NewFormNonce();
        LoadChoices(env, entry, Choices::All);
        checkValues(env, entry);
        return formPage(env, entry, note(env, "webTokenRefused"), 403);
    }
    LoadChoices(env, entry, Choices::Restricted);
    checkValues(env, entry);
    if (!entry.errors.isEmpty()) {
        LoadChoices(env, entry, Choices::All);
        return formPage(env, entry, ErrorSummary(env.html("webFixErrors")));
    }

    SavedEntries entries(env.context.application());
    WriteResult result;
    try {
        QueryRun run = writeOf(entry);
        run.audit = auditOf(env, run);
        run.audit->object = entry.form.name;
        result = env.database.write(run);
    } catch (const DataUnavailable& e) {
        // Perhaps written after all: a later send of the same entry may learn that it was.
        entries.rememberUnanswered(entry.nonce, sentEntry(entry));
        // No further waits on a data server that does not answer: the form as far as known.
        return UnavailablePage(env, e.reason,
                               note(env, "webMaybeSaved") + FormEntryHtml(env, entry));
    } catch (const DataFailure& failure) {
        // An error reply is an answer: the write did not happen.
        LoadChoices(env, entry, Choices::All);
        return formPage(env, entry, FailureBox(env, failure) + note(env, "webNotSaved"));
    }
    const SavedEntry sent = sentEntry(entry, result);
    entries.remember(entry.nonce, result.duplicate ? sentAgain(entries, entry.nonce, sent) : sent);
    return Response::redirectTo(Link(QStringLiteral("saved"))
                                    .with(QStringLiteral("form"), entry.form.name)
                                    .with(QStringLiteral("entry"), entry.nonce)
                                    .address(env.root()));
}

std::optional<FormDefinition> loadForm(const PageEnvironment& env, const QString& name,
                                       Response* failure) {
    const std::optional<QByteArray> bytes = ReadFormFile(env, name);
    if (!bytes) {
        *failure = NotFoundPage(env, env.label("webFormMissing", name));
        return std::nullopt;
    }
    try {
        return FormDefinition::parse(*bytes, name, env.labels);
    } catch (const FormDefinitionError& e) {
        *failure = env.page(name,
                            "<p class=\"error\">" +
                                env.html("webFormInvalid", QString(name + QStringLiteral(".xml"))) +
                                "</p><p class=\"detail\">" + Html::text(e.message) + "</p>",
                            QStringLiteral("forms"), 500);
        return std::nullopt;
    }
}

Html valuesTable(const FieldValues& values) {
    Html html("<table class=\"record\"><tbody>\n");
    for (const auto& [label, value] : values)
        html += "<tr><th>" + Html::text(label) + "</th><td>" + Html::text(value) + "</td></tr>\n";
    return html + "</tbody></table>\n";
}

Html renderSavedEntry(const PageEnvironment& env, const SavedEntry& saved) {
    Html html = paragraph(
        Html::text(saved.savedText.isEmpty() ? env.label("webSavedText") : saved.savedText),
        "success");
    if (saved.sentAgain)
        html += paragraph(env.html("webSavedBefore"));
    html += saved.valuesKnown ? valuesTable(saved.values)
                              : paragraph(env.html("webSavedValuesUnknown"));
    if (!saved.lastInsertId.isEmpty())
        html += paragraph(env.html("webSavedId", saved.lastInsertId));
    if (!saved.notWritten.isEmpty())
        html += paragraph(env.html("webNotWritten"), "warning") + valuesTable(saved.notWritten) +
                paragraph(env.html("webChangeSaved"));
    return html;
}

// A form of the forms folder as the list shows it.
struct ListedForm {
    QString name;
    QString title; // its name when its definition cannot be read
};

QList<ListedForm> listForms(const PageEnvironment& env) {
    QList<ListedForm> forms;
    for (const QString& name : FormNames(env)) {
        if (!env.mayUse(ObjectKind::Form, name))
            continue;
        const std::optional<QByteArray> bytes = ReadFormFile(env, name);
        if (!bytes)
            continue; // not one the form page would open
        ListedForm listed{name, name};
        try {
            listed.title = FormDefinition::parse(*bytes, name, env.labels).title;
        } catch (const FormDefinitionError&) {
            // Listed by name: opening it says what is wrong.
        }
        forms.append(listed);
    }
    return forms;
}

Html renderForms(const PageEnvironment& env, const QList<ListedForm>& forms) {
    Html html("<ul class=\"forms\">\n");
    for (const ListedForm& form : forms)
        html += "<li>" +
                Anchor(Link(QStringLiteral("form")).with(QStringLiteral("name"), form.name),
                       form.title, env.root()) +
                "</li>\n";
    if (forms.isEmpty())
        html += "<li>" + env.html("webNoForms") + "</li>\n";
    return html + "</ul>\n";
}

// What the page after a post shows: the entry saved, when this server knows it.
struct SavedContent {
    QString form;
    std::optional<SavedEntry> saved; // only an entry of form
};

Html renderSaved(const PageEnvironment& env, const SavedContent& content) {
    Html html = content.saved ? renderSavedEntry(env, *content.saved)
                              : paragraph(env.html("webSavedUnknown"));
    if (IsPlainFileName(content.form))
        html += paragraph(
            Anchor(Link(QStringLiteral("form")).with(QStringLiteral("name"), content.form),
                   env.label("webEnterAnother"), env.root()));
    return html;
}

} // namespace

Response FormsPage(const PageEnvironment& env) {
    return env.page(env.label("webFormsTitle"), renderForms(env, listForms(env)),
                    QStringLiteral("forms"));
}

Response FormPage(const PageEnvironment& env) {
    Response failure;
    std::optional<FormDefinition> form = loadForm(env, env.field(QStringLiteral("name")), &failure);
    if (!form)
        return failure;
    FormEntry entry{*form, {}, {}, {}, {}};
    try {
        const bool submission = isSubmission(env);
        if (submission && env.isPost()) {
            entry.nonce = env.field(FORM_NONCE);
            return submit(env, entry);
        }
        // A form sent as an address is shown afresh, none of its values taken over.
        entry.nonce = NewFormNonce();
        LoadChoices(env, entry, Choices::All);
        return formPage(env, entry, submission ? note(env, "webPostOnly") : Html());
    } catch (const FormDefinitionError& e) {
        return env.page(form->name, "<p class=\"error\">" + Html::text(e.message) + "</p>",
                        QStringLiteral("forms"), 500);
    }
}

Response SavedPage(const PageEnvironment& env) {
    SavedContent content{
        env.field(QStringLiteral("form")),
        SavedEntries(env.context.application()).find(env.field(QStringLiteral("entry")))};
    if (content.saved && content.saved->form != content.form)
        content.saved.reset();
    return env.page(content.saved ? content.saved->title : env.label("webSavedTitle"),
                    renderSaved(env, content), QStringLiteral("forms"));
}

} // namespace webapp
