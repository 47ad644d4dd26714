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

struct Collected {
    QStringList columns;
    QList<QList<Cell>> rows;
    bool truncated = false;
};

// Pages through the data server from offset 0: fetch(offset, limit) reads one page.
Collected collect(const std::function<RowSet(qint64 offset, int limit)>& fetch) {
    Collected all;
    for (;;) {
        const int limit =
            int(std::min<qint64>(RemoteDatabase::MAX_LIMIT, MAX_EXPORT_ROWS - all.rows.size()));
        const RowSet page = fetch(all.rows.size(), limit);
        all.columns = page.columns;
        all.rows += page.rows;
        if (!page.more || page.rows.isEmpty())
            return all;
        if (all.rows.size() >= MAX_EXPORT_ROWS) {
            all.truncated = true;
            return all;
        }
    }
}

QByteArray jsonText(const QString& name, const Collected& data) {
    QJsonArray rows;
    for (const QList<Cell>& row : data.rows) {
        QJsonArray values;
        for (const Cell& cell : row)
            values.append(cell.isNull ? QJsonValue(QJsonValue::Null) : QJsonValue(cell.text));
        rows.append(values);
    }
    QJsonObject doc{{QStringLiteral("name"), name},
                    {QStringLiteral("columns"), QJsonArray::fromStringList(data.columns)},
                    {QStringLiteral("rows"), rows},
                    {QStringLiteral("truncated"), data.truncated}};
    return QJsonDocument(doc).toJson(QJsonDocument::Compact);
}

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

    Collected data;
    if (env.field(QStringLiteral("kind")) == QLatin1String("query")) {
        const std::optional<QueryInfo> info = env.database.findQuery(name);
        if (!info || info->writes())
            return NotFoundPage(env, env.label("webQueryMissing", name));
        QueryView view = QueryView::fromRequest(env.context, *info, env.labels);
        if (!view.errors.isEmpty())
            return Response::page(env.frame.render(name, env.html("webErrParameters")), 400);
        data = collect([&](qint64 offset, int limit) {
            view.run.offset = offset;
            view.run.limit = limit;
            return env.database.query(view.run);
        });
    } else {
        TableView view = TableView::fromRequest(env.context);
        data = collect([&](qint64 offset, int limit) {
            view.read.offset = offset;
            view.read.limit = limit;
            return env.database.readTable(view.read);
        });
    }

    Response r;
    if (format == QLatin1String("csv")) {
        r.contentType = QByteArrayLiteral("text/csv; charset=utf-8");
        // The byte-order mark tells spreadsheets the file is UTF-8.
        r.body = QByteArrayLiteral("\xEF\xBB\xBF") + CsvText(data.columns, data.rows);
    } else {
        r.contentType = QByteArrayLiteral("application/json; charset=utf-8");
        r.body = jsonText(name, data);
    }
    r.headers.append({QByteArrayLiteral("Content-Disposition"), disposition(name, format)});
    if (data.truncated)
        r.headers.append({QByteArrayLiteral("X-Export-Truncated"), QByteArrayLiteral("true")});
    return r;
}

} // namespace webapp
