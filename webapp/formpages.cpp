#include "webapp/formpages.h"

#include "webapp/applicationpages.h"
#include "webapp/errorpages.h"
#include "webapp/formentry.h"
#include "webapp/formtoken.h"
#include "webapp/formvalidation.h"
#include "webapp/html.h"
#include "webapp/savedentries.h"

#include <QDir>

namespace webapp {

namespace {

QString formsFolder(const PageEnvironment& env) {
    return env.context.applicationSubfolder(QStringLiteral("forms"));
}

// One form as a user filled it in.
Response formPage(const PageEnvironment& env, const FormEntry& entry, const QString& above = {}) {
    return env.page(entry.form.title, above + FormEntryHtml(env, entry), QStringLiteral("forms"));
}

bool isSubmission(const PageEnvironment& env) {
    if (env.context.hasField(FORM_NONCE) || env.context.hasField(FORM_TOKEN))
        return true;
    for (const QString& name : env.context.fieldNames())
        if (name.startsWith(FORM_FIELD_PREFIX))
            return true;
    return false;
}

// A GET is an address: it lands in logs, histories and Referer headers, and anybody may
// be sent along it. Only what a form's button posts is written.
bool isPost(const PageEnvironment& env) {
    return env.context.serverVariable(QStringLiteral("REQUEST_METHOD")) == QLatin1String("POST");
}

QString note(const PageEnvironment& env, const char* labelId) {
    return QStringLiteral("<p class=\"warning\">") + env.html(labelId) + QStringLiteral("</p>\n");
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

// The entry as this send would save it.
SavedEntry sentEntry(const FormEntry& entry, const WriteResult& result = {}) {
    SavedEntry sent;
    sent.form = entry.form.name;
    sent.title = entry.form.title;
    sent.savedText = entry.form.savedText;
    if (result.lastInsertId > 0)
        sent.lastInsertId = QString::number(result.lastInsertId);
    for (const FormField& f : entry.form.fields)
        sent.values.append({f.label, entry.values.value(f.name)});
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
    const QString secret = env.context.text(QStringLiteral("Secret"));
    if (!IsValidFormToken(secret, entry.form.name, entry.nonce, env.field(FORM_TOKEN)))
        return ForbiddenPage(env, env.label("webTokenRefused"));
    LoadChoices(env, entry, Choices::Restricted);
    checkValues(env, entry);
    if (!entry.errors.isEmpty()) {
        LoadChoices(env, entry, Choices::All);
        return formPage(env, entry,
                        QStringLiteral("<p class=\"error\">") + env.html("webFixErrors") +
                            QStringLiteral("</p>\n"));
    }

    SavedEntries entries(env.context.application());
    WriteResult result;
    try {
        result = env.database.write(writeOf(entry));
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

// The form file of name (name.xml in forms/), read as pages are: a link that leads out of
// the folder is not followed.
std::optional<QByteArray> formFile(const PageEnvironment& env, const QString& name) {
    const QString folder = formsFolder(env);
    if (folder.isEmpty() || !IsPlainFileName(name))
        return std::nullopt;
    return ReadApplicationFile(env, folder, name + QStringLiteral(".xml"));
}

std::optional<FormDefinition> loadForm(const PageEnvironment& env, const QString& name,
                                       Response* failure) {
    const std::optional<QByteArray> bytes = formFile(env, name);
    if (!bytes) {
        *failure = NotFoundPage(env, env.label("webFormMissing", name));
        return std::nullopt;
    }
    try {
        return FormDefinition::parse(*bytes, name, env.labels);
    } catch (const FormDefinitionError& e) {
        *failure = env.page(name,
                            QStringLiteral("<p class=\"error\">") +
                                env.html("webFormInvalid", QString(name + QStringLiteral(".xml"))) +
                                QStringLiteral("</p><p class=\"detail\">") + HtmlEscape(e.message) +
                                QStringLiteral("</p>"),
                            QStringLiteral("forms"), 500);
        return std::nullopt;
    }
}

QString valuesTable(const FieldValues& values) {
    QString html = QStringLiteral("<table class=\"record\"><tbody>\n");
    for (const auto& [label, value] : values)
        html += QStringLiteral("<tr><th>") + HtmlEscape(label) + QStringLiteral("</th><td>") +
                HtmlEscape(value) + QStringLiteral("</td></tr>\n");
    return html + QStringLiteral("</tbody></table>\n");
}

QString paragraph(const QString& html, const char* cssClass = nullptr) {
    return (cssClass
                ? QStringLiteral("<p class=\"") + QLatin1String(cssClass) + QStringLiteral("\">")
                : QStringLiteral("<p>")) +
           html + QStringLiteral("</p>\n");
}

QString savedEntryHtml(const PageEnvironment& env, const SavedEntry& saved) {
    QString html = paragraph(
        HtmlEscape(saved.savedText.isEmpty() ? env.label("webSavedText") : saved.savedText),
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

} // namespace

Response FormsPage(const PageEnvironment& env) {
    const QString folder = formsFolder(env);
    const QStringList files = folder.isEmpty() ? QStringList()
                                               : QDir(folder).entryList({QStringLiteral("*.xml")},
                                                                        QDir::Files, QDir::Name);
    QString html = QStringLiteral("<ul class=\"forms\">\n");
    int listed = 0;
    for (const QString& file : files) {
        const QString name = file.chopped(4);
        const std::optional<QByteArray> bytes = formFile(env, name);
        if (!bytes)
            continue; // not one the form page would open
        QString title = name;
        try {
            title = FormDefinition::parse(*bytes, name, env.labels).title;
        } catch (const FormDefinitionError&) {
            // Listed by name: opening it says what is wrong.
        }
        html += QStringLiteral("<li>") +
                Anchor(Link(QStringLiteral("form")).with(QStringLiteral("name"), name), title,
                       env.root()) +
                QStringLiteral("</li>\n");
        ++listed;
    }
    if (listed == 0)
        html += QStringLiteral("<li>") + env.html("webNoForms") + QStringLiteral("</li>\n");
    html += QStringLiteral("</ul>\n");
    return env.page(env.label("webFormsTitle"), html, QStringLiteral("forms"));
}

Response FormPage(const PageEnvironment& env) {
    Response failure;
    std::optional<FormDefinition> form = loadForm(env, env.field(QStringLiteral("name")), &failure);
    if (!form)
        return failure;
    FormEntry entry{*form, {}, {}, {}, {}};
    try {
        const bool submission = isSubmission(env);
        if (submission && isPost(env)) {
            entry.nonce = env.field(FORM_NONCE);
            return submit(env, entry);
        }
        // A form sent as an address is shown afresh, none of its values taken over.
        entry.nonce = NewFormNonce();
        LoadChoices(env, entry, Choices::All);
        return formPage(env, entry, submission ? note(env, "webPostOnly") : QString());
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
        html += savedEntryHtml(env, *saved);
    } else {
        html += paragraph(env.html("webSavedUnknown"));
    }
    if (IsPlainFileName(name))
        html += paragraph(Anchor(Link(QStringLiteral("form")).with(QStringLiteral("name"), name),
                                 env.label("webEnterAnother"), env.root()));
    return env.page(title, html, QStringLiteral("forms"));
}

} // namespace webapp
