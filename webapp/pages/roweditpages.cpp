#include "webapp/pages/roweditpages.h"

#include "webapp/data/rowchanges.h"
#include "webapp/forms/formentry.h"
#include "webapp/forms/formhtml.h"
#include "webapp/forms/formtoken.h"
#include "webapp/forms/formvalidation.h"
#include "webapp/forms/rowform.h"
#include "webapp/pages/accesscheck.h"
#include "webapp/pages/errorpages.h"
#include "webapp/pages/parameterchoices.h"
#include "webapp/pages/signinpages.h"
#include "webapp/pages/tablepages.h"

namespace webapp {

namespace {

const QString VALUE_PREFIX = QStringLiteral("v.");
const QString ORIGINAL_PREFIX = QStringLiteral("o.");
const QString ORIGINAL_NULL_PREFIX = QStringLiteral("on.");

// The name a row form's token is made for: one table's rows.
QString tokenName(const QString& table) {
    return QStringLiteral("row:") + table;
}

// What one row form holds: the table, the row's key, what the editor saw and typed.
struct RowEntry {
    TableSchema schema;
    QList<RowFormField> fields;
    QList<QPair<QString, QString>> key;
    QHash<QString, std::optional<QString>> original;
    QHash<QString, QString> values; // as the inputs hold them
    QHash<QString, QString> errors;
    QHash<QString, QList<FieldChoice>> choices;
    QString nonce;
};

bool isBool(const RowFormField& f) {
    return f.input == RowInput::Checkbox;
}

bool boolValue(const QString& text) {
    const QString t = text.trimmed().toLower();
    return t == QLatin1String("t") || t == QLatin1String("true") || t == QLatin1String("1");
}

// The input's value for a stored value.
QString inputValue(const RowFormField& f, const std::optional<QString>& stored) {
    if (!stored)
        return {};
    if (f.input == RowInput::DateTime)
        return DateTimeInputValue(*stored);
    if (isBool(f))
        return boolValue(*stored) ? QStringLiteral("true") : QStringLiteral("false");
    return *stored;
}

// The stored value for an input's value: an empty field of a column that may be NULL is NULL.
std::optional<QString> storedValue(const RowFormField& f, const QString& input) {
    if (isBool(f))
        return boolValue(input) ? QStringLiteral("true") : QStringLiteral("false");
    if (input.trimmed().isEmpty())
        return std::nullopt;
    if (f.input == RowInput::DateTime)
        return DateTimeStoredValue(input);
    if (f.input == RowInput::Number)
        return input.trimmed();
    return input;
}

// The rows a foreign key may point at, by their label; none when there are too many to offer
// or the key points at another column than the referenced table's key.
void loadChoices(const PageEnvironment& env, RowEntry& entry) {
    for (RowFormField& f : entry.fields) {
        if (f.reference.isEmpty() || !env.mayUse(ObjectKind::Table, f.reference))
            continue;
        if (env.database.describeTable(f.reference).primaryKey() != QStringList{f.referenceColumn})
            continue;
        std::optional<QList<FieldChoice>> choices = TableKeyChoices(env.database, f.reference);
        if (!choices)
            continue; // typed as a key
        entry.choices.insert(f.column, *choices);
        f.input = RowInput::Choice;
        f.check.type = QStringLiteral("choice");
    }
}

Html fieldInput(const PageEnvironment& env, const RowEntry& entry, const RowFormField& f,
                const QString& id) {
    const QString value = entry.values.value(f.column);
    const Html common = " id=\"" + Html::text(id) + "\" name=\"" +
                        Html::text(VALUE_PREFIX + f.column) + "\"" +
                        (f.check.required ? Html(" required") : Html()) +
                        FieldErrorAttributes(id, entry.errors.value(f.column));
    const Html length =
        f.check.maxLength ? " maxlength=\"" + Html::number(*f.check.maxLength) + "\"" : Html();
    switch (f.input) {
    case RowInput::Shown:
        return "<span id=\"" + Html::text(id) + "\">" + env.html("webRowBlobKept") + "</span>";
    case RowInput::Key: // read-only, and without a name: never sent
        return "<input type=\"text\" id=\"" + Html::text(id) + "\" readonly value=\"" +
               Html::text(value) + "\">";
    case RowInput::Multiline:
        return "<textarea" + common + length + " rows=\"3\">" + Html::text(value) + "</textarea>";
    case RowInput::Checkbox:
        return "<input type=\"checkbox\" value=\"true\"" + common +
               (boolValue(value) ? Html(" checked") : Html()) + ">";
    case RowInput::Choice: {
        Html html =
            "<select" + common + "><option value=\"\">" + env.html("webChoose") + "</option>";
        for (const FieldChoice& c : entry.choices.value(f.column))
            html += "<option value=\"" + Html::text(c.value) + "\"" +
                    (c.value == value ? Html(" selected") : Html()) + ">" + Html::text(c.label) +
                    "</option>";
        return html + "</select>";
    }
    default:
        break;
    }
    Markup type = "text";
    Html extra = length;
    if (f.input == RowInput::Number) {
        type = "number";
        extra = " step=\"" + Html::text(f.step) + "\"";
    } else if (f.input == RowInput::Date) {
        type = "date";
    } else if (f.input == RowInput::DateTime) {
        type = "datetime-local";
        extra = Html(" step=\"1\"");
    }
    return "<input type=\"" + Html(type) + "\"" + common + extra + " value=\"" + Html::text(value) +
           "\">";
}

// The start of a row's form that posts to page: the key, the originals, the nonce and the
// token.
Html rowFormStart(const PageEnvironment& env, const RowEntry& entry, const QString& page) {
    Html html = FormStart(env.root(), "post", "entry") + HiddenInput(QStringLiteral("page"), page) +
                HiddenInput(QStringLiteral("table"), entry.schema.name) +
                HiddenInput(FORM_NONCE, entry.nonce) +
                HiddenInput(FORM_TOKEN, FormToken(env.secret(), tokenName(entry.schema.name),
                                                  entry.nonce, env.identity.formBinding()));
    for (const auto& [column, value] : entry.key)
        html += HiddenInput(RowKeyField(column), value);
    for (auto it = entry.original.constBegin(); it != entry.original.constEnd(); ++it)
        html += it.value() ? HiddenInput(ORIGINAL_PREFIX + it.key(), *it.value())
                           : HiddenInput(ORIGINAL_NULL_PREFIX + it.key(), QStringLiteral("1"));
    return html;
}

// The form of an entry, with an input per column.
Html entryForm(const PageEnvironment& env, const RowEntry& entry, const QString& page) {
    Html html = rowFormStart(env, entry, page);
    html += "\n";
    int n = 0;
    for (const RowFormField& f : entry.fields) {
        const QString id = QStringLiteral("rf") + QString::number(++n);
        const Html label = Html::text(f.column) +
                           (f.check.required ? Html("<span class=\"required\">*</span>") : Html());
        html += FieldRow(id, label, fieldInput(env, entry, f, id), entry.errors.value(f.column));
    }
    return html + FormEnd(env.html("webSave"));
}

Html paragraph(const Html& content, Markup cssClass) {
    return "<p class=\"" + Html(cssClass) + "\">" + content + "</p>\n";
}

// The row as it is now beside what the editor typed, after a conflict.
Html conflictTable(const PageEnvironment& env, const RowEntry& entry,
                   const QHash<QString, std::optional<QString>>& current) {
    Html html = "<table class=\"data conflict\"><caption>" + env.html("webRowConflictCaption") +
                "</caption><thead><tr><th scope=\"col\">" + env.html("webRowColumn") +
                "</th><th scope=\"col\">" + env.html("webRowTheirs") + "</th><th scope=\"col\">" +
                env.html("webRowYours") + "</th></tr></thead><tbody>\n";
    for (const RowFormField& f : entry.fields) {
        if (!IsEditable(f))
            continue;
        const std::optional<QString> now = current.value(f.column);
        const std::optional<QString> yours = storedValue(f, entry.values.value(f.column));
        const bool differs = inputValue(f, now) != inputValue(f, yours);
        html += "<tr" + (differs ? Html(" class=\"differs\"") : Html()) + "><th scope=\"row\">" +
                Html::text(f.column) + "</th><td>" +
                (now ? Html::text(*now) : env.html("webNull")) + "</td><td>" +
                (yours ? Html::text(*yours) : env.html("webNull")) + "</td></tr>\n";
    }
    return html + "</tbody></table>\n";
}

Response formPage(const PageEnvironment& env, const RowEntry& entry, const QString& page,
                  const Html& above = {}, int status = 200) {
    const char* title = page == QLatin1String("new") ? "webRowNewTitle" : "webRowEditTitle";
    return env.page(
        env.label(title, entry.schema.name),
        (entry.errors.isEmpty() ? Html() : ErrorSummary(env.html("webFixErrors"))) + above +
            entryForm(env, entry, page) + "<p>" +
            Anchor(Link(QStringLiteral("table")).with(QStringLiteral("name"), entry.schema.name),
                   env.label("webBackToTable", entry.schema.name), env.root()) +
            "</p>",
        QStringLiteral("tables"), status);
}

// The table of a row form, when the user may edit it and it has rows to edit; otherwise the
// page that says why not.
std::optional<Response> refuse(const PageEnvironment& env, const QString& table,
                               TableSchema& schema) {
    if (table.isEmpty())
        return NotFoundPage(env);
    if (!MayEditRows(env, table))
        return RefusedPage(env);
    schema = env.database.describeTable(table);
    if (schema.isView() || schema.primaryKey().isEmpty())
        return NotFoundPage(env, env.label("webRowNotEditable", table));
    return std::nullopt;
}

// The row with the request's key as the form shows it; false when there is none.
bool readRow(const PageEnvironment& env, RowEntry& entry) {
    entry.key = RowKeyOfRequest(env);
    if (entry.key.isEmpty())
        return false;
    TableRead read;
    read.table = entry.schema.name;
    read.limit = 1;
    for (const auto& [column, value] : entry.key)
        read.filters.append({column, QStringLiteral("eq"), value});
    const RowSet rows = env.database.readTable(read);
    if (rows.rows.isEmpty())
        return false;
    for (qsizetype i = 0; i < rows.columns.size(); ++i) {
        const Cell& cell = rows.rows.first()[i];
        if (cell.isBlob)
            continue; // compared by nobody: only its size was read
        entry.original.insert(rows.columns[i],
                              cell.isNull ? std::nullopt : std::optional<QString>(cell.text));
    }
    for (const RowFormField& f : entry.fields)
        entry.values.insert(f.column, inputValue(f, entry.original.value(f.column)));
    return true;
}

// The originals and values a post carries, and the messages about the values.
void readPost(const PageEnvironment& env, RowEntry& entry) {
    entry.nonce = env.field(FORM_NONCE);
    entry.key = RowKeyOfRequest(env);
    for (const QString& name : env.context.fieldNames()) {
        if (name.startsWith(ORIGINAL_PREFIX))
            entry.original.insert(name.mid(ORIGINAL_PREFIX.size()), env.field(name));
        else if (name.startsWith(ORIGINAL_NULL_PREFIX))
            entry.original.insert(name.mid(ORIGINAL_NULL_PREFIX.size()), std::nullopt);
    }
    for (const auto& [column, value] : entry.key)
        entry.values.insert(column, value); // the key's inputs show it again
    for (const RowFormField& f : entry.fields) {
        if (!IsEditable(f))
            continue;
        const QString value = env.field(VALUE_PREFIX + f.column);
        entry.values.insert(f.column, value);
        const QString error =
            isBool(f) ? QString()
                      : CheckFieldValue(f.check, value, entry.choices.value(f.column), env.labels);
        if (!error.isEmpty())
            entry.errors.insert(f.column, error);
    }
}

// The audit trail's record of a change: the table, and the row's key.
AuditEntry auditOf(const PageEnvironment& env, const char* action, const QString& table,
                   const QList<QPair<QString, QString>>& key) {
    QStringList parts;
    for (const auto& [column, value] : key)
        parts << column + QLatin1Char('=') + value;
    AuditEntry audit =
        AuditOf(env, QString::fromLatin1(action), table, parts.join(QStringLiteral(", ")));
    audit.recordKey = key.size() == 1 ? key.first().second : QString();
    return audit;
}

Response savedRow(const PageEnvironment& env, const QString& table,
                  const QList<QPair<QString, QString>>& key) {
    Link link = RowLink(table, key);
    link.with(QStringLiteral("note"), QStringLiteral("saved"));
    return Response::redirectTo(link.address(env.root()));
}

bool validToken(const PageEnvironment& env, const RowEntry& entry) {
    return env.isPost() && IsValidFormToken(env.secret(), tokenName(entry.schema.name), entry.nonce,
                                            env.field(FORM_TOKEN), env.identity.formBinding());
}

Response submitNew(const PageEnvironment& env, RowEntry& entry) {
    RowChange change;
    change.table = entry.schema.name;
    change.requestId = entry.nonce;
    for (const RowFormField& f : entry.fields) {
        const std::optional<QString> value = storedValue(f, entry.values.value(f.column));
        const ColumnInfo* column = nullptr;
        for (const ColumnInfo& c : entry.schema.columns)
            if (c.name == f.column)
                column = &c;
        // Left empty, a column with a default takes it.
        if (f.input == RowInput::Shown || (!value && column && column->defaultValue))
            continue;
        change.values.append({f.column, value});
    }
    change.audit = auditOf(env, "row.insert", change.table, {});
    const RowChangeOutcome outcome = ChangeRow(env.database, change);
    return savedRow(env, change.table, outcome.key);
}

Response submitEdit(const PageEnvironment& env, RowEntry& entry) {
    RowChange change;
    change.kind = RowChange::Kind::Update;
    change.table = entry.schema.name;
    change.key = entry.key;
    change.requestId = entry.nonce;
    for (auto it = entry.original.constBegin(); it != entry.original.constEnd(); ++it)
        change.original.append({it.key(), it.value()});
    for (const RowFormField& f : entry.fields) {
        if (!IsEditable(f))
            continue;
        const std::optional<QString> value = storedValue(f, entry.values.value(f.column));
        if (inputValue(f, value) != inputValue(f, entry.original.value(f.column)))
            change.values.append({f.column, value});
    }
    if (change.values.isEmpty())
        return savedRow(env, change.table, change.key);
    change.audit = auditOf(env, "row.update", change.table, change.key);
    const RowChangeOutcome outcome = ChangeRow(env.database, change);
    if (outcome.result == RowChangeOutcome::Result::Conflict) {
        // The editor's values stay in the inputs; the row as it is now becomes what they
        // overwrite when they save again.
        const Html compared = conflictTable(env, entry, outcome.current);
        entry.original = outcome.current;
        entry.nonce = NewFormNonce();
        return formPage(env, entry, QStringLiteral("edit"),
                        paragraph(env.html("webRowConflict"), "warning") + compared, 409);
    }
    if (outcome.result == RowChangeOutcome::Result::RowMissing)
        return NotFoundPage(env, env.label("webRowGone", change.table));
    QList<QPair<QString, QString>> key = change.key;
    for (auto& [column, value] : key)
        for (const auto& [changed, now] : change.values)
            if (changed == column && now)
                value = *now;
    return savedRow(env, change.table, key);
}

// The form page of new or edit: a GET shows it, a POST with a valid token saves it.
Response rowFormPage(const PageEnvironment& env, const QString& page) {
    RowEntry entry;
    const QString table = env.field(QStringLiteral("table"));
    if (std::optional<Response> refused = refuse(env, table, entry.schema))
        return *refused;
    const bool inserting = page == QLatin1String("new");
    entry.fields = RowFormFields(entry.schema, inserting);
    try {
        loadChoices(env, entry);
        if (!env.isPost()) {
            entry.nonce = NewFormNonce();
            if (!inserting && !readRow(env, entry))
                return NotFoundPage(env, env.label("webRowMissing", table));
            return formPage(env, entry, page);
        }
        readPost(env, entry);
        if (!validToken(env, entry)) {
            if (!IsFormNonce(entry.nonce))
                entry.nonce = NewFormNonce();
            return formPage(env, entry, page, paragraph(env.html("webTokenRefused"), "warning"),
                            403);
        }
        if (!entry.errors.isEmpty())
            return formPage(env, entry, page, {}, 400);
        return inserting ? submitNew(env, entry) : submitEdit(env, entry);
    } catch (const DataFailure& failure) {
        return formPage(env, entry, page,
                        FailureBox(env, failure) + paragraph(env.html("webNotSaved"), "warning"));
    }
}

Html rowTable(const PageEnvironment& env, const QList<RowFormField>& fields,
              const QHash<QString, std::optional<QString>>& values) {
    Html html("<table class=\"record\"><tbody>\n");
    for (const RowFormField& f : fields) {
        const std::optional<QString> v = values.value(f.column);
        html += "<tr><th scope=\"row\">" + Html::text(f.column) + "</th><td>" +
                (f.input == RowInput::Shown ? env.html("webRowBlobKept")
                 : v                        ? Html::text(*v)
                                            : env.html("webNull")) +
                "</td></tr>\n";
    }
    return html + "</tbody></table>\n";
}

Html referrersList(const PageEnvironment& env, const QList<RowReferrer>& referrers,
                   const QHash<QString, std::optional<QString>>& row) {
    Html items;
    for (const RowReferrer& r : referrers) {
        Link link(QStringLiteral("table"));
        link.with(QStringLiteral("name"), r.key.table);
        int n = 0;
        for (const auto& [from, to] : r.key.columns) {
            ++n;
            link.with(QStringLiteral("col%1").arg(n), from)
                .with(QStringLiteral("op%1").arg(n), QStringLiteral("eq"))
                .keep(QStringLiteral("val%1").arg(n), row.value(to).value_or(QString()));
        }
        items += "<li>" +
                 Anchor(link,
                        env.label("webRowReferrer", common::Value(common::Value::Array{
                                                        r.key.table, QString::number(r.count)})),
                        env.root()) +
                 "</li>";
    }
    return "<ul class=\"referrers\">" + items + "</ul>\n";
}

} // namespace

bool MayEditRows(const PageEnvironment& env, const QString& table) {
    return env.rules.allowsEdit(env.identity.role, table);
}

Response NewRowPage(const PageEnvironment& env) {
    return rowFormPage(env, QStringLiteral("new"));
}

Response EditRowPage(const PageEnvironment& env) {
    return rowFormPage(env, QStringLiteral("edit"));
}

Response DeleteRowPage(const PageEnvironment& env) {
    RowEntry entry;
    const QString table = env.field(QStringLiteral("table"));
    if (std::optional<Response> refused = refuse(env, table, entry.schema))
        return *refused;
    entry.fields = RowFormFields(entry.schema, false);
    const QString title = env.label("webRowDeleteTitle", table);
    auto confirmation = [&](const Html& above, int status) {
        const Html form = rowFormStart(env, entry, QStringLiteral("delete"));
        return env.page(title,
                        above + paragraph(env.html("webRowDeleteAsk"), "warning") +
                            rowTable(env, entry.fields, entry.original) + form +
                            FormEnd(env.html("webRowDelete")) + "<p>" +
                            Anchor(RowLink(table, entry.key), env.label("webCancel"), env.root()) +
                            "</p>",
                        QStringLiteral("tables"), status);
    };
    try {
        if (!env.isPost()) {
            entry.nonce = NewFormNonce();
            if (!readRow(env, entry))
                return NotFoundPage(env, env.label("webRowMissing", table));
            return confirmation({}, 200);
        }
        readPost(env, entry);
        entry.errors.clear();
        if (!validToken(env, entry)) {
            entry.nonce = NewFormNonce();
            return confirmation(paragraph(env.html("webTokenRefused"), "warning"), 403);
        }
        RowChange change;
        change.kind = RowChange::Kind::Delete;
        change.table = table;
        change.key = entry.key;
        change.requestId = entry.nonce;
        for (auto it = entry.original.constBegin(); it != entry.original.constEnd(); ++it)
            change.original.append({it.key(), it.value()});
        change.audit = auditOf(env, "row.delete", table, change.key);
        const RowChangeOutcome outcome = ChangeRow(env.database, change);
        switch (outcome.result) {
        case RowChangeOutcome::Result::Done:
            return Response::redirectTo(Link(QStringLiteral("table"))
                                            .with(QStringLiteral("name"), table)
                                            .with(QStringLiteral("note"), QStringLiteral("deleted"))
                                            .address(env.root()));
        case RowChangeOutcome::Result::RowMissing:
            return NotFoundPage(env, env.label("webRowGone", table));
        case RowChangeOutcome::Result::Referenced:
            return env.page(
                title,
                paragraph(env.html("webRowReferenced"), "error") +
                    referrersList(env, outcome.referrers, entry.original) + "<p>" +
                    Anchor(RowLink(table, entry.key), env.label("webBackToRow"), env.root()) +
                    "</p>",
                QStringLiteral("tables"), 409);
        case RowChangeOutcome::Result::Conflict:
            break;
        }
        // Changed meanwhile: the row as it is now, to delete knowingly or not at all.
        entry.original = outcome.current;
        entry.nonce = NewFormNonce();
        return confirmation(paragraph(env.html("webRowDeleteConflict"), "warning"), 409);
    } catch (const DataFailure& failure) {
        return env.page(title, FailureBox(env, failure), QStringLiteral("tables"), 500);
    }
}

} // namespace webapp
