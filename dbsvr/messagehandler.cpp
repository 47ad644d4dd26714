#include "dbsvr/messagehandler.h"

#include "common/error.h"
#include "common/version.h"
#include "common/xml.h"
#include "dbsvr/config.h"
#include "dbsvr/database.h"
#include "dbsvr/statement.h"

#include <QHash>
#include <QStringList>
#include <pugixml.hpp>
#include <sstream>

namespace dbsvr {

namespace {

// A request that cannot be served: becomes the reply's Error and Message.
struct Failure {
    QString code;
    QString message;
};

[[noreturn]] void fail(const char* code, const QString& message) {
    throw Failure{QString::fromLatin1(code), message};
}

QString childText(const pugi::xml_node& node, const char* name) {
    return common::ToQString(node.child(name).child_value()).trimmed();
}

void addText(pugi::xml_node parent, const char* name, const QString& text) {
    parent.append_child(name).text().set(common::ToUtf8(text).c_str());
}

void addNumber(pugi::xml_node parent, const char* name, int64_t value) {
    parent.append_child(name).text().set(static_cast<long long>(value));
}

bool isTrue(const QString& text) {
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
           text == QLatin1String("1");
}

struct Paging {
    int64_t offset = 0;
    int64_t limit = DEFAULT_LIMIT;
};

int64_t readCount(const pugi::xml_node& request, const char* name, int64_t fallback) {
    const QString text = childText(request, name);
    if (text.isEmpty())
        return fallback;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < 0)
        fail(ERROR_INVALID_ARGUMENT,
             QString::fromLatin1(name) +
                 QStringLiteral(" must be a whole number of 0 or more, not ") + text +
                 QLatin1Char('.'));
    return value;
}

Paging readPaging(const pugi::xml_node& request) {
    Paging p;
    p.offset = readCount(request, "Offset", 0);
    p.limit = std::min<int64_t>(readCount(request, "Limit", DEFAULT_LIMIT), MAX_LIMIT);
    return p;
}

void addPaging(pugi::xml_node reply, const Paging& paging, int64_t count, bool more) {
    addNumber(reply, "Offset", paging.offset);
    addNumber(reply, "Limit", paging.limit);
    addNumber(reply, "Count", count);
    addText(reply, "More", more ? QStringLiteral("true") : QStringLiteral("false"));
}

QStringList columnNames(const Statement& s) {
    QStringList names;
    for (int i = 0; i < s.columnCount(); ++i)
        names << s.columnName(i);
    return names;
}

void addColumns(pugi::xml_node reply, const QStringList& names) {
    pugi::xml_node columns = reply.append_child("Columns");
    for (const QString& name : names)
        addText(columns, "Column", name);
}

void addRow(pugi::xml_node rows, const Statement& s, const std::vector<std::string>& names) {
    pugi::xml_node row = rows.append_child("Row");
    for (int i = 0; i < s.columnCount(); ++i) {
        pugi::xml_node field = row.append_child("Field");
        field.append_attribute("name").set_value(names[size_t(i)].c_str());
        if (s.columnIsNull(i)) {
            field.append_attribute("null").set_value("true");
        } else if (s.columnIsBlob(i)) {
            field.append_attribute("type").set_value("blob");
            field.text().set(s.columnBlob(i).toBase64().constData());
        } else {
            field.text().set(s.columnText(i).toUtf8().constData());
        }
    }
}

std::vector<std::string> utf8Names(const QStringList& names) {
    std::vector<std::string> out;
    for (const QString& name : names)
        out.push_back(common::ToUtf8(name));
    return out;
}

// Steps through the statement, skipping `skip` rows and keeping up to
// `limit`; returns the number kept and whether more rows follow.
std::pair<int64_t, bool> addRows(pugi::xml_node reply, Statement& s, int64_t skip, int64_t limit) {
    const std::vector<std::string> names = utf8Names(columnNames(s));
    pugi::xml_node rows = reply.append_child("Rows");
    for (int64_t i = 0; i < skip; ++i)
        if (!s.step())
            return {0, false};
    int64_t count = 0;
    while (count < limit) {
        if (!s.step())
            return {count, false};
        addRow(rows, s, names);
        ++count;
    }
    return {count, s.step()};
}

QString withoutPrefix(const QString& name) {
    if (!name.isEmpty() && QStringLiteral(":@$").contains(name[0]))
        return name.mid(1);
    return name;
}

struct Argument {
    QString value;
    bool isNull = false;
    bool used = false;
};

QHash<QString, Argument> readArguments(const pugi::xml_node& request) {
    QHash<QString, Argument> arguments;
    for (const pugi::xml_node& p : request.child("Parameters").children("Parameter")) {
        const QString name =
            withoutPrefix(common::ToQString(p.attribute("name").value()).trimmed());
        if (name.isEmpty())
            fail(ERROR_INVALID_ARGUMENT, QStringLiteral("A parameter has no name."));
        if (arguments.contains(name))
            fail(ERROR_INVALID_ARGUMENT,
                 QStringLiteral("The parameter ") + name + QStringLiteral(" is given twice."));
        // The whole text, unlike other elements: spaces may matter in a value.
        arguments.insert(name, Argument{common::ToQString(p.child_value()),
                                        isTrue(common::ToQString(p.attribute("null").value()))});
    }
    return arguments;
}

void bindArgument(Statement& s, int index, const QString& name, const Argument& argument,
                  const QString& type) {
    if (argument.isNull) {
        s.bindNull(index);
        return;
    }
    bool ok = true;
    if (type == QLatin1String("integer")) {
        const qlonglong value = argument.value.trimmed().toLongLong(&ok);
        if (ok)
            s.bindInteger(index, value);
    } else if (type == QLatin1String("real")) {
        const double value = argument.value.trimmed().toDouble(&ok);
        if (ok)
            s.bindReal(index, value);
    } else {
        s.bindText(index, argument.value);
    }
    if (!ok)
        fail(ERROR_INVALID_ARGUMENT,
             QStringLiteral("The parameter ") + name + QStringLiteral(" must be of the type ") +
                 type + QStringLiteral(", not ") + argument.value + QLatin1Char('.'));
}

void bindArguments(Statement& s, const NamedQuery& query, QHash<QString, Argument> arguments) {
    for (int i = 1; i <= s.parameterCount(); ++i) {
        const QString raw = s.parameterName(i);
        // "?" and "?3" cannot be matched to a name: a fault of the configuration.
        if (raw.isEmpty() || raw.startsWith(QLatin1Char('?')))
            fail(ERROR_DATABASE,
                 QStringLiteral("The query ") + query.name +
                     QStringLiteral(" uses an unnamed parameter; name it, as in :id."));
        const QString name = withoutPrefix(raw);
        auto it = arguments.find(name);
        if (it == arguments.end())
            fail(ERROR_MISSING_PARAMETER, QStringLiteral("The query ") + query.name +
                                              QStringLiteral(" needs the parameter ") + name +
                                              QLatin1Char('.'));
        const QueryParameter* declared = query.parameter(name);
        bindArgument(s, i, name, *it, declared ? declared->type : QStringLiteral("text"));
        it->used = true;
    }
    for (auto it = arguments.cbegin(); it != arguments.cend(); ++it)
        if (!it->used)
            fail(ERROR_UNKNOWN_PARAMETER, QStringLiteral("The query ") + query.name +
                                              QStringLiteral(" has no parameter ") + it.key() +
                                              QLatin1Char('.'));
}

QByteArray serialize(const pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return QByteArray::fromStdString(out.str());
}

} // namespace

MessageHandler::MessageHandler(const Config* config, Database* database, QString connectError)
    : m_config(config), m_database(database), m_connectError(std::move(connectError)) {}

QByteArray MessageHandler::handle(QByteArrayView request) const {
    pugi::xml_document reply;
    pugi::xml_node root = reply.append_child("XML");
    pugi::xml_node type = root.append_child("Type");
    pugi::xml_node error = root.append_child("Error");
    pugi::xml_node message = root.append_child("Message");
    try {
        pugi::xml_document doc;
        const auto parsed = doc.load_buffer(request.data(), size_t(request.size()));
        const pugi::xml_node in = doc.document_element();
        if (!parsed || !in)
            fail(ERROR_INVALID_REQUEST, QStringLiteral("The request is not well-formed XML."));
        const QString kind = childText(in, "Type");
        auto is = [&](const char* name) {
            return kind.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
        };
        if (is("Ping")) {
            type.text().set("Pong");
            ping(root);
        } else if (is("ListTables")) {
            type.text().set("Tables");
            listTables(root);
        } else if (is("ListQueries")) {
            type.text().set("Queries");
            listQueries(root);
        } else if (is("ReadTable")) {
            type.text().set("Rows");
            readTable(in, root);
        } else if (is("Query")) {
            type.text().set("Rows");
            runQuery(in, root);
        } else {
            fail(ERROR_INVALID_REQUEST,
                 QStringLiteral("Unknown request type \"") + kind + QStringLiteral("\"."));
        }
    } catch (const Failure& f) {
        // Whatever was added before the failure is dropped: a reply is either
        // a whole answer or an error.
        while (message.next_sibling())
            root.remove_child(message.next_sibling());
        type.text().set("Error");
        error.text().set(common::ToUtf8(f.code).c_str());
        message.text().set(common::ToUtf8(f.message).c_str());
    }
    return serialize(reply);
}

Database& MessageHandler::database() const {
    if (!m_database)
        fail(ERROR_NOT_CONNECTED,
             m_connectError.isEmpty() ? QStringLiteral("No database is open.") : m_connectError);
    return *m_database;
}

const Config& MessageHandler::config() const {
    if (!m_config)
        fail(ERROR_NOT_CONNECTED, m_connectError.isEmpty()
                                      ? QStringLiteral("No configuration is loaded.")
                                      : m_connectError);
    return *m_config;
}

void MessageHandler::ping(pugi::xml_node reply) const {
    QString text = common::ProductName() + QStringLiteral(" data server ") + common::VersionText();
    if (m_database)
        text += QStringLiteral(", database ") + m_database->path() +
                (m_database->readOnly() ? QStringLiteral(" (read-only)") : QString());
    else
        text += QStringLiteral(", no database: ") + m_connectError;
    reply.child("Message").text().set(common::ToUtf8(text).c_str());
}

void MessageHandler::listTables(pugi::xml_node reply) const {
    Database& db = database();
    pugi::xml_node tables = reply.append_child("Tables");
    try {
        for (const QString& name : db.tables()) {
            pugi::xml_node table = tables.append_child("Table");
            table.append_attribute("type").set_value(common::ToUtf8(db.tableType(name)).c_str());
            table.text().set(common::ToUtf8(name).c_str());
        }
    } catch (const common::Error& e) {
        fail(ERROR_DATABASE, e.description());
    }
}

void MessageHandler::listQueries(pugi::xml_node reply) const {
    pugi::xml_node queries = reply.append_child("Queries");
    for (const NamedQuery& q : config().queries()) {
        pugi::xml_node query = queries.append_child("Query");
        query.append_attribute("name").set_value(common::ToUtf8(q.name).c_str());
        for (const QueryParameter& p : q.parameters) {
            pugi::xml_node parameter = query.append_child("Parameter");
            parameter.append_attribute("name").set_value(common::ToUtf8(p.name).c_str());
            parameter.append_attribute("type").set_value(common::ToUtf8(p.type).c_str());
        }
    }
}

void MessageHandler::readTable(const pugi::xml_node& request, pugi::xml_node reply) const {
    Database& db = database();
    const QString table = childText(request, "Table");
    const Paging paging = readPaging(request);
    const QString orderBy = childText(request, "OrderBy");
    try {
        if (db.tableType(table).isEmpty())
            fail(ERROR_UNKNOWN_TABLE,
                 QStringLiteral("There is no table \"") + table + QStringLiteral("\"."));
        const QString from = QStringLiteral(" FROM ") + QuoteIdentifier(table);
        const QStringList columns = columnNames(
            Statement(db, QStringLiteral("SELECT *") + from + QStringLiteral(" LIMIT 0")));
        QString order;
        if (!orderBy.isEmpty()) {
            if (!columns.contains(orderBy))
                fail(ERROR_UNKNOWN_COLUMN, QStringLiteral("The table ") + table +
                                               QStringLiteral(" has no column \"") + orderBy +
                                               QStringLiteral("\"."));
            order =
                QStringLiteral(" ORDER BY ") + QuoteIdentifier(orderBy) +
                (isTrue(childText(request, "Descending")) ? QStringLiteral(" DESC") : QString());
        } else {
            // Pages of a table need a stable order; views and WITHOUT ROWID
            // tables have no rowid and keep SQLite's order.
            try {
                Statement probe(db,
                                QStringLiteral("SELECT rowid") + from + QStringLiteral(" LIMIT 0"));
                order = QStringLiteral(" ORDER BY rowid");
            } catch (const common::Error&) {
            }
        }
        Statement count(db, QStringLiteral("SELECT count(*)") + from);
        count.step();
        const int64_t total = count.columnInteger(0);

        Statement rows(db, QStringLiteral("SELECT *") + from + order +
                               QStringLiteral(" LIMIT ?1 OFFSET ?2"));
        rows.bindInteger(1, paging.limit);
        rows.bindInteger(2, paging.offset);
        addText(reply, "Table", table);
        addColumns(reply, columns);
        const int64_t n = addRows(reply, rows, 0, paging.limit).first;
        addPaging(reply, paging, n, paging.offset + n < total);
        addNumber(reply, "Total", total);
    } catch (const common::Error& e) {
        fail(ERROR_DATABASE, e.description());
    }
}

void MessageHandler::runQuery(const pugi::xml_node& request, pugi::xml_node reply) const {
    const QString name = childText(request, "Name");
    const NamedQuery* query = config().query(name);
    if (!query)
        fail(ERROR_UNKNOWN_QUERY,
             QStringLiteral("There is no query \"") + name + QStringLiteral("\"."));
    Database& db = database();
    const Paging paging = readPaging(request);
    const QHash<QString, Argument> arguments = readArguments(request);
    try {
        Statement s(db, query->sql);
        bindArguments(s, *query, arguments);
        addText(reply, "Name", name);
        if (s.columnCount() == 0) {
            while (s.step()) {
            }
            addNumber(reply, "Changes", s.changes());
            return;
        }
        addColumns(reply, columnNames(s));
        const auto [n, more] = addRows(reply, s, paging.offset, paging.limit);
        addPaging(reply, paging, n, more);
    } catch (const common::Error& e) {
        fail(ERROR_DATABASE,
             QStringLiteral("The query ") + name + QStringLiteral(" failed. ") + e.description());
    }
}

} // namespace dbsvr
