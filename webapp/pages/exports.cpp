#include "webapp/pages/exports.h"

#include "webapp/data/exportfile.h"
#include "webapp/data/queryview.h"
#include "webapp/data/tableview.h"
#include "webapp/pages/errorpages.h"
#include "webapp/pages/viewwords.h"
#include "webapp/rendering/csv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <memory>
#include <optional>

namespace webapp {

namespace {

// Writes an export's text a part at a time into its file, so that neither the rows nor the
// text are kept.
class ExportText final : public ExportWriter {
public:
    ExportText(bool json, QString name, const QString& folder)
        : m_json(json), m_name(std::move(name)), m_file(folder) {}

    void add(const RowSet& part) override {
        if (!m_started)
            start(part.columns);
        if (m_json)
            addJson(part.rows);
        else
            m_file.write(CsvRows(part.rows));
        m_truncated = part.more;
    }
    bool truncated() const override { return m_truncated; }
    common::Response::File finish() override {
        if (!m_started)
            start({});
        if (m_json)
            m_file.write(QByteArrayLiteral("],\"truncated\":") +
                         (m_truncated ? QByteArrayLiteral("true") : QByteArrayLiteral("false")) +
                         '}');
        return m_file.finish();
    }

private:
    void start(const QStringList& columns) {
        m_started = true;
        if (!m_json) {
            // The byte-order mark tells spreadsheets the file is UTF-8.
            m_file.write(QByteArrayLiteral("\xEF\xBB\xBF") + CsvLine(columns));
            return;
        }
        // {"columns":[...],"name":"...","rows":[ as Qt writes it (keys in order), left open.
        const QJsonObject head{{QStringLiteral("columns"), QJsonArray::fromStringList(columns)},
                               {QStringLiteral("name"), m_name}};
        m_file.write(QJsonDocument(head).toJson(QJsonDocument::Compact).chopped(1) +
                     QByteArrayLiteral(",\"rows\":["));
    }
    void addJson(const QList<QList<Cell>>& rows) {
        QByteArray text;
        for (const QList<Cell>& row : rows) {
            QJsonArray values;
            for (const Cell& cell : row)
                values.append(cell.isNull ? QJsonValue(QJsonValue::Null) : QJsonValue(cell.text));
            if (m_rows++ > 0)
                text += ',';
            text += QJsonDocument(values).toJson(QJsonDocument::Compact);
        }
        m_file.write(text);
    }

    bool m_json;
    QString m_name;
    ExportFile m_file;
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

QByteArray contentType(const QString& format) {
    if (format == QLatin1String("csv"))
        return QByteArrayLiteral("text/csv; charset=utf-8");
    if (format == QLatin1String("json"))
        return QByteArrayLiteral("application/json; charset=utf-8");
    return QByteArrayLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet");
}

} // namespace

bool IsExportFormat(const QString& format) {
    return format == QLatin1String("csv") || format == QLatin1String("json") ||
           format == QLatin1String("xlsx");
}

Response
ExportAnswer(const PageEnvironment& env, const QString& format, const QString& name,
             const std::function<std::optional<Response>(const RowSink&, ExportAbout)>& write) {
    const bool workbook = format == QLatin1String("xlsx");
    WorkbookAbout about{name, {}, {}};
    // Made once the request is known to be one: a refused one writes no file.
    std::unique_ptr<ExportWriter> writer;
    const auto begin = [&] {
        if (writer)
            return;
        const QString& folder = env.application.settings().instanceFolder;
        if (workbook)
            writer = std::make_unique<WorkbookExport>(folder, env.labels, about);
        else
            writer = std::make_unique<ExportText>(format == QLatin1String("json"), name, folder);
    };
    try {
        if (std::optional<Response> refused = write(
                [&](const RowSet& part) {
                    begin();
                    writer->add(part);
                },
                workbook ? &about : nullptr))
            return *refused;
    } catch (const DataFailure& failure) {
        // Not a file: what was written so far would pass for the whole of it.
        Response r = FailurePage(env, failure);
        if (r.status == 200)
            r.status = 500;
        return r;
    }
    begin();

    Response r;
    r.add("Content-Type", contentType(format));
    const common::Response::File file = writer->finish();
    r.setFile(file.file, file.length);
    r.headers.append({QByteArrayLiteral("Content-Disposition"), disposition(name, format)});
    if (writer->truncated())
        r.headers.append({QByteArrayLiteral("X-Export-Truncated"), QByteArrayLiteral("true")});
    return r;
}

Response ExportPage(const PageEnvironment& env) {
    const QString format = env.field(QStringLiteral("format"));
    const QString name = env.field(QStringLiteral("name"));
    if (!IsExportFormat(format) || name.isEmpty())
        return NotFoundPage(env);
    return ExportAnswer(
        env, format, name, [&](const RowSink& sink, ExportAbout about) -> std::optional<Response> {
            if (env.field(QStringLiteral("kind")) != QLatin1String("query")) {
                const TableView view = TableView::fromRequest(env.context);
                if (about) {
                    about->words = TableViewWords(env, view);
                    for (const ColumnInfo& c : env.database.describeTable(view.read.table).columns)
                        about->types.insert(c.name, c.type);
                }
                env.database.exportTable(view.read, sink);
                return std::nullopt;
            }
            const std::optional<QueryInfo> info = env.database.findQuery(name);
            if (!info || info->writes())
                return NotFoundPage(env, env.label("webQueryMissing", name));
            const QueryView view = QueryView::fromRequest(env.context, *info, env.labels);
            if (!view.errors.isEmpty())
                return env.page(name, env.html("webErrParameters"), {}, 400);
            if (about)
                about->words = QueryViewWords(env, view);
            env.database.exportQuery(view.run, sink);
            return std::nullopt;
        });
}

} // namespace webapp
