#include "webapp/pages/auditpage.h"

#include "webapp/data/auditview.h"
#include "webapp/forms/formhtml.h"
#include "webapp/pages/accesscheck.h"
#include "webapp/pages/errorpages.h"
#include "webapp/pages/exports.h"
#include "webapp/rendering/rowsettable.h"

namespace webapp {

namespace {

// The label of a filter field or of the audit table's column.
const char* labelOf(const QString& name) {
    static const QHash<QString, const char*> labels = {
        {QStringLiteral("id"), "webAuditId"},
        {QStringLiteral("at"), "webAuditAt"},
        {QStringLiteral("user"), "webAuditUser"},
        {QStringLiteral("user_name"), "webAuditUser"},
        {QStringLiteral("address"), "webAuditAddress"},
        {QStringLiteral("action"), "webAuditAction"},
        {QStringLiteral("object"), "webAuditObject"},
        {QStringLiteral("detail"), "webAuditDetail"},
        {QStringLiteral("record_key"), "webAuditRecordKey"},
        {QStringLiteral("from"), "webAuditFrom"},
        {QStringLiteral("to"), "webAuditTo"},
    };
    return labels.value(name, nullptr);
}

// The actions the application records, offered as the action filter's suggestions.
const QStringList& knownActions() {
    static const QStringList actions =
        QStringLiteral("signin signin-failed signout password form user-add user-role "
                       "user-disable user-enable user-password user-signout")
            .split(QLatin1Char(' '));
    return actions;
}

Html filterInput(const PageEnvironment& env, const AuditView& view, const QString& name) {
    Html extra;
    if (name == QLatin1String("from") || name == QLatin1String("to"))
        extra = " placeholder=\"" + env.html("webAuditTimeFormat") + "\"";
    else if (name == QLatin1String("action"))
        extra = Markup(" list=\"audit-actions\"");
    return "<input id=\"audit-" + Html::text(name) + "\" name=\"" + Html::text(name) +
           "\" type=\"text\" value=\"" + Html::text(view.filters.value(name)) + "\"" + extra + ">";
}

// A GET form of the filters: what it sends is the address of the view it asks for.
Html filterForm(const PageEnvironment& env, const AuditView& view, const QStringList& unreadable) {
    Html html = FormStart(env.root(), "get", "entry audit") +
                HiddenInput(QStringLiteral("page"), QStringLiteral("audit"));
    if (view.size != AuditView::DEFAULT_SIZE)
        html += HiddenInput(QStringLiteral("size"), QString::number(view.size));
    html += "\n";
    for (const QString& name : AuditView::filterNames())
        html += FieldRow(QStringLiteral("audit-") + name, env.html(labelOf(name)),
                         filterInput(env, view, name),
                         unreadable.contains(name) ? env.label("webAuditBadTime") : QString());
    html += Html("<datalist id=\"audit-actions\">");
    for (const QString& action : knownActions())
        html += "<option value=\"" + Html::text(action) + "\">";
    html += Html("</datalist>\n") + FormEnd(env.html("webAuditShow"));
    if (!view.filters.isEmpty())
        html += "<p>" +
                Anchor(Link(QStringLiteral("audit")), env.label("webAuditAll"), env.root()) +
                "</p>\n";
    return html;
}

Html renderEntries(const PageEnvironment& env, const AuditView& view, const RowSet& rows) {
    RowSetLayout layout;
    layout.header = [&env](const QString& column) {
        const char* label = labelOf(column);
        return label ? env.html(label) : Html::text(column);
    };
    // A user, action, object or address leads to the entries that share it.
    layout.cellLink = [&view](const QString& column, const QList<Cell>&,
                              const Cell& cell) -> std::optional<Link> {
        const QString field = AuditView::fieldOf(column);
        if (field.isEmpty() || cell.isNull || cell.text.isEmpty())
            return std::nullopt;
        AuditView narrowed = view;
        narrowed.filters.insert(field, cell.text);
        narrowed.offset = 0;
        return narrowed.link();
    };
    return ExportLinks(env.labels, view.link(false), env.root()) +
           RowSetTable(env.labels, rows, env.root(), layout) +
           Pager(env.labels, rows, view.size, env.root(), [&view](qint64 offset) {
               AuditView at = view;
               at.offset = offset;
               return at.link();
           });
}

// The trail's filters in words, and the types of its columns that are not text.
WorkbookAbout auditAbout(const PageEnvironment& env, const AuditView& view) {
    WorkbookAbout about{QStringLiteral("audit"), {}, {}};
    for (const QString& name : AuditView::filterNames())
        if (const QString value = view.filters.value(name); !value.isEmpty())
            about.words.append(env.label(labelOf(name)) + QStringLiteral(": ") + value);
    if (about.words.isEmpty())
        about.words.append(env.label("webPrintNoFilters"));
    about.types = {{QStringLiteral("id"), QStringLiteral("integer")},
                   {QStringLiteral("at"), QStringLiteral("timestamp")}};
    return about;
}

} // namespace

Response AuditPage(const PageEnvironment& env) {
    if (env.identity.role < Role::Admin)
        return RefusedPage(env);
    const AuditView view = AuditView::fromRequest(env.context);
    const QString title = env.label("webAuditTitle");
    // A time that cannot be read filters nothing: the page says so rather than show (or
    // export) more than was asked for.
    if (const QStringList unreadable = view.unreadable(); !unreadable.isEmpty())
        return env.page(title, filterForm(env, view, unreadable), QStringLiteral("admin"), 400);
    const QString format = env.field(QStringLiteral("format"));
    if (!format.isEmpty()) {
        if (!IsExportFormat(format))
            return NotFoundPage(env);
        TableRead all = view.read();
        all.offset = 0;
        return ExportAnswer(env, format, QStringLiteral("audit"),
                            [&](const RowSink& sink, ExportAbout about) -> std::optional<Response> {
                                if (about)
                                    *about = auditAbout(env, view);
                                env.accounts.exportAudit(all, sink);
                                return std::nullopt;
                            });
    }
    const RowSet rows = env.accounts.readAudit(view.read());
    return env.page(title, filterForm(env, view, {}) + renderEntries(env, view, rows),
                    QStringLiteral("admin"));
}

} // namespace webapp
