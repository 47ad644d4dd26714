#include "webapp/exports.h"

#include "webapp/csv.h"
#include "webapp/errorpages.h"
#include "webapp/queryview.h"
#include "webapp/tableview.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace webapp {

namespace {

// Writes an export's text a part at a time, so that only the text is kept, not the rows.
class ExportText final {
public:
    ExportText(bool json, QString name) : m_json(json), m_name(std::move(name)) {}

    void add(const RowSet& part) {
        if (!m_started)
            start(part.columns);
        if (m_json)
            addJson(part.rows);
        else
            m_text += CsvRows(part.rows);
        m_truncated = part.more;
    }
    bool truncated() const { return m_truncated; }
    QByteArray finish() {
        if (!m_started)
            start({});
        if (m_json)
            m_text += QByteArrayLiteral("],\"truncated\":") +
                      (m_truncated ? QByteArrayLiteral("true") : QByteArrayLiteral("false")) + '}';
        return std::move(m_text);
    }

private:
    void start(const QStringList& columns) {
        m_started = true;
        if (!m_json) {
            // The byte-order mark tells spreadsheets the file is UTF-8.
            m_text = QByteArrayLiteral("\xEF\xBB\xBF") + CsvLine(columns);
            return;
        }
        // {"columns":[...],"name":"...","rows":[ as Qt writes it (keys in order), left open.
        const QJsonObject head{{QStringLiteral("columns"), QJsonArray::fromStringList(columns)},
                               {QStringLiteral("name"), m_name}};
        m_text = QJsonDocument(head).toJson(QJsonDocument::Compact).chopped(1) +
                 QByteArrayLiteral(",\"rows\":[");
    }
    void addJson(const QList<QList<Cell>>& rows) {
        for (const QList<Cell>& row : rows) {
            QJsonArray values;
            for (const Cell& cell : row)
                values.append(cell.isNull ? QJsonValue(QJsonValue::Null) : QJsonValue(cell.text));
            if (m_rows++ > 0)
                m_text += ',';
            m_text += QJsonDocument(values).toJson(QJsonDocument::Compact);
        }
    }

    bool m_json;
    QString m_name;
    QByteArray m_text;
    bool m_started = false;
    bool m_truncated = false;
    qint64 m_rows = 0;
};

// attachment; filename="<ASCII stand-in>"; filename*=UTF-8''<the real name>
QByteArray disposition(const QString& name, const QString& extension) {
    QString plain;
    for (const QChar c : name)
        plain += (c.isLetterOrNumber() && c.unicode() < 0x80) || c == QLatin1Char('-') ||
                         c == QLatin1Char('_') || c == QLatin1Char('.')
                     ? c
                     : QLatin1Char('_');
    if (plain.isEmpty())
        plain = QStringLiteral("export");
    return "attachment; filename=\"" + plain.toLatin1() + '.' + extension.toLatin1() +
           "\"; filename*=UTF-8''" + QUrl::toPercentEncoding(name + QLatin1Char('.') + extension);
}

} // namespace

Response ExportPage(const PageEnvironment& env) {
    const QString format = env.field(QStringLiteral("format"));
    const QString name = env.field(QStringLiteral("name"));
    if ((format != QLatin1String("csv") && format != QLatin1String("json")) || name.isEmpty())
        return NotFoundPage(env);

    ExportText text(format == QLatin1String("json"), name);
    const auto add = [&text](const RowSet& part) { text.add(part); };
    try {
        if (env.field(QStringLiteral("kind")) == QLatin1String("query")) {
            const std::optional<QueryInfo> info = env.database.findQuery(name);
            if (!info || info->writes())
                return NotFoundPage(env, env.label("webQueryMissing", name));
            const QueryView view = QueryView::fromRequest(env.context, *info, env.labels);
            if (!view.errors.isEmpty())
                return Response::page(env.frame.render(name, env.html("webErrParameters")), 400);
            env.database.exportQuery(view.run, add);
        } else {
            env.database.exportTable(TableView::fromRequest(env.context).read, add);
        }
    } catch (const DataFailure& failure) {
        // Not a file: what was written so far would pass for the whole of it.
        Response r = FailurePage(env, failure);
        if (r.status == 200)
            r.status = 500;
        return r;
    }

    Response r;
    r.add("Content-Type", format == QLatin1String("csv")
                              ? QByteArrayLiteral("text/csv; charset=utf-8")
                              : QByteArrayLiteral("application/json; charset=utf-8"));
    r.body = text.finish();
    r.headers.append({QByteArrayLiteral("Content-Disposition"), disposition(name, format)});
    if (text.truncated())
        r.headers.append({QByteArrayLiteral("X-Export-Truncated"), QByteArrayLiteral("true")});
    return r;
}

} // namespace webapp
