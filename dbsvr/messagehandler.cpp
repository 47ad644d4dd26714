#include "dbsvr/messagehandler.h"

#include "common/error.h"
#include "common/version.h"
#include "common/xml.h"
#include "common/xmlvalue.h"
#include "contract/protocol.h"
#include "dbsvr/accountmessages.h"
#include "dbsvr/accounts.h"
#include "dbsvr/config.h"
#include "dbsvr/exportparts.h"
#include "dbsvr/labelcolumn.h"
#include "dbsvr/labelsources.h"
#include "dbsvr/pagerows.h"
#include "dbsvr/replysink.h"
#include "dbsvr/replyxml.h"
#include "dbsvr/requestxml.h"
#include "dbsvr/rowmessages.h"

#include <QStringList>
#include <optional>
#include <pugixml.hpp>

namespace dbsvr {

namespace protocol = dataserver::protocol;

namespace {

QString attribute(const pugi::xml_node& node, const char* name) {
    return common::ToQString(node.attribute(name).value()).trimmed();
}

QString exactAttribute(const pugi::xml_node& node, const char* name) {
    return common::ToQString(node.attribute(name).value());
}

void setAttribute(pugi::xml_node node, const char* name, const QString& value) {
    node.append_attribute(name).set_value(common::ToUtf8(value).c_str());
}

// Offset and Limit; maxLimit is the most rows that may be asked for, and the default.
Paging readPaging(const pugi::xml_node& request, int64_t defaultLimit, int64_t maxLimit) {
    Paging p;
    p.offset = ReadCount(request, protocol::OFFSET, 0);
    p.limit = std::min<int64_t>(ReadCount(request, protocol::LIMIT, defaultLimit), maxLimit);
    return p;
}

void addWrite(pugi::xml_node reply, const WriteResult& result) {
    AddText(reply, protocol::NAME, result.query);
    AddWriteResult(reply, result);
}

QList<Argument> readArguments(const pugi::xml_node& request) {
    QList<Argument> arguments;
    for (const pugi::xml_node& p :
         request.child(protocol::PARAMETERS).children(protocol::PARAMETER)) {
        const QString name = WithoutPrefix(attribute(p, protocol::ATTRIBUTE_NAME));
        if (name.isEmpty())
            Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("A parameter has no name."));
        for (const Argument& earlier : arguments)
            if (earlier.name == name)
                Fail(ERROR_INVALID_ARGUMENT,
                     QStringLiteral("The parameter ") + name + QStringLiteral(" is given twice."));
        arguments << Argument{name, common::ValueText(p),
                              IsTrue(attribute(p, protocol::ATTRIBUTE_NULL))};
    }
    return arguments;
}

FilterOp readOp(const QString& text) {
    static const struct {
        const char* name;
        FilterOp op;
    } OPS[] = {{protocol::OP_EQUAL, FilterOp::Equal},
               {protocol::OP_NOT_EQUAL, FilterOp::NotEqual},
               {protocol::OP_LESS, FilterOp::Less},
               {protocol::OP_LESS_OR_EQUAL, FilterOp::LessOrEqual},
               {protocol::OP_GREATER, FilterOp::Greater},
               {protocol::OP_GREATER_OR_EQUAL, FilterOp::GreaterOrEqual},
               {protocol::OP_CONTAINS, FilterOp::Contains},
               {protocol::OP_EMPTY, FilterOp::Empty},
               {protocol::OP_NOT_EMPTY, FilterOp::NotEmpty}};
    for (const auto& known : OPS)
        if (text == QLatin1String(known.name))
            return known.op;
    Fail(ERROR_INVALID_ARGUMENT,
         QStringLiteral("A filter has the unknown op \"") + text +
             QStringLiteral("\"; known are eq, ne, lt, le, gt, ge, contains, empty and notempty."));
}

QList<Filter> readFilters(const pugi::xml_node& request) {
    QList<Filter> filters;
    for (const pugi::xml_node& f : request.children(protocol::FILTER)) {
        Filter filter{exactAttribute(f, protocol::ATTRIBUTE_COLUMN),
                      readOp(attribute(f, protocol::ATTRIBUTE_OP)), common::ValueText(f),
                      IsTrue(attribute(f, protocol::ATTRIBUTE_NULL))};
        if (filter.isNull && filter.op != FilterOp::Equal && filter.op != FilterOp::NotEqual)
            Fail(ERROR_INVALID_ARGUMENT,
                 QStringLiteral("A filter for NULL takes the op eq or ne, not ") +
                     attribute(f, protocol::ATTRIBUTE_OP) + QLatin1Char('.'));
        filters << filter;
    }
    return filters;
}

// The OrderBy elements of a ReadTable or a Query, in order, each descending="true" or not; the
// Descending element applies to the first one when it does not say.
QList<SortKey> readSortKeys(const pugi::xml_node& request) {
    QList<SortKey> order;
    for (const pugi::xml_node& o : request.children(protocol::ORDER_BY)) {
        SortKey key{common::ValueText(o), false};
        if (key.column.isEmpty())
            continue;
        const pugi::xml_attribute descending = o.attribute(protocol::ATTRIBUTE_DESCENDING);
        key.descending = descending
                             ? IsTrue(attribute(o, protocol::ATTRIBUTE_DESCENDING))
                             : order.isEmpty() && IsTrue(ChildText(request, protocol::DESCENDING));
        order << key;
    }
    if (order.size() > MAX_SORT_KEYS)
        Fail(ERROR_INVALID_ARGUMENT,
             QStringLiteral("A read has at most %1 sort keys.").arg(MAX_SORT_KEYS));
    return order;
}

void addFacets(pugi::xml_node reply, const FacetList& list) {
    pugi::xml_node facets = reply.append_child(protocol::FACETS);
    for (const Facet& f : list.facets) {
        pugi::xml_node facet = facets.append_child(protocol::FACET);
        setAttribute(facet, protocol::ATTRIBUTE_COLUMN, f.column);
        for (const FacetValue& v : f.values) {
            pugi::xml_node value = facet.append_child(protocol::VALUE);
            value.append_attribute(protocol::ATTRIBUTE_COUNT)
                .set_value(static_cast<long long>(v.count));
            if (v.value)
                common::SetValueText(value, *v.value);
            else
                value.append_attribute(protocol::ATTRIBUTE_NULL).set_value(protocol::TRUE_TEXT);
            if (v.label)
                setAttribute(value, protocol::ATTRIBUTE_LABEL, *v.label);
        }
    }
    if (list.truncated)
        AddText(reply, protocol::TRUNCATED, BoolText(true));
}

// Only what the configuration gives: most queries have no texts.
void addTexts(pugi::xml_node node, const PeopleTexts& texts) {
    const std::pair<const char*, const QString*> ALL[] = {
        {protocol::ATTRIBUTE_TITLE, &texts.title},
        {protocol::ATTRIBUTE_DESCRIPTION, &texts.description},
        {protocol::ATTRIBUTE_LABEL, &texts.label}};
    for (const auto& [name, value] : ALL)
        if (!value->isEmpty())
            setAttribute(node, name, *value);
}

void addKeys(pugi::xml_node reply, const char* listName, const char* itemName,
             const QList<KeyReference>& keys) {
    pugi::xml_node list = reply.append_child(listName);
    for (const KeyReference& key : keys) {
        pugi::xml_node item = list.append_child(itemName);
        setAttribute(item, protocol::ATTRIBUTE_TABLE, key.table);
        for (const ColumnMap& map : key.columns) {
            pugi::xml_node m = item.append_child(protocol::MAP);
            setAttribute(m, protocol::ATTRIBUTE_FROM, map.from);
            setAttribute(m, protocol::ATTRIBUTE_TO, map.to);
        }
    }
}

// The replies of one request, kept in order.
class KeptReplies final : public ReplySink {
public:
    void send(const QByteArray& reply) override { replies << reply; }
    bool sendPart(const QByteArray& part, const QDeadlineTimer&) override {
        replies << part;
        return true;
    }
    QList<QByteArray> replies;
};

pugi::xml_node parseRequest(pugi::xml_document& doc, QByteArrayView request) {
    const auto parsed =
        doc.load_buffer(request.data(), size_t(request.size()), common::MESSAGE_PARSE);
    const pugi::xml_node in = doc.document_element();
    if (!parsed || !in)
        Fail(ERROR_INVALID_REQUEST, QStringLiteral("The request is not well-formed XML."));
    return in;
}

bool isType(const QString& kind, const char* name) {
    return kind.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

QByteArray pingText(const QString& databaseState) {
    return (common::ProductName() + QStringLiteral(" data server ") + common::VersionText() +
            QStringLiteral(", ") + databaseState)
        .toUtf8();
}

} // namespace

void ServeRequest(const MessageHandler& handler, QByteArrayView request, ReplySink& sink) {
    try {
        handler.handle(request, sink);
    } catch (const std::exception& e) {
        sink.send(ErrorReply(QString::fromLatin1(ERROR_INVALID_REQUEST),
                             QString::fromLocal8Bit(e.what())));
    }
}

QString DatabaseState(const Database* database, const QString& connectError) {
    return database ? QStringLiteral("database ") + database->description()
                    : QStringLiteral("no database: ") + connectError;
}

QByteArray PongReply(const QString& databaseState) {
    pugi::xml_document reply;
    pugi::xml_node root = reply.append_child(protocol::ROOT);
    root.append_child(protocol::TYPE).text().set(protocol::PONG);
    root.append_child(protocol::ERROR);
    root.append_child(protocol::MESSAGE).text().set(pingText(databaseState).constData());
    return Serialize(reply);
}

MessageHandler::MessageHandler(const Config* config, Database* database, QString connectError,
                               int exportTimeLimitMs)
    : m_config(config), m_database(database), m_connectError(std::move(connectError)),
      m_exportTimeLimitMs(exportTimeLimitMs) {}

QList<QByteArray> MessageHandler::replies(QByteArrayView request) const {
    KeptReplies kept;
    handle(request, kept);
    return kept.replies;
}

int MessageHandler::statementTimeLimitMs() const {
    return m_config ? m_config->statementTimeLimitMs() : Config::DEFAULT_STATEMENT_TIME_LIMIT_MS;
}

void MessageHandler::limitStatements(bool exporting) const {
    m_ceiling = exporting ? QDeadlineTimer(QDeadlineTimer::Forever)
                          : QDeadlineTimer(statementTimeLimitMs());
    if (m_database)
        m_database->limitStatements(m_ceiling);
}

void MessageHandler::handle(QByteArrayView request, ReplySink& sink) const {
    if (m_database)
        m_database->takeVolatile(); // what an earlier, failed request read does not count
    QByteArray reply;
    try {
        pugi::xml_document doc;
        const pugi::xml_node in = parseRequest(doc, request);
        const QString kind = ChildText(in, protocol::TYPE);
        const bool exporting =
            IsTrue(ChildText(in, protocol::EXPORT)) &&
            (isType(kind, protocol::READ_TABLE) || isType(kind, protocol::QUERY) ||
             isType(kind, protocol::READ_AUDIT));
        limitStatements(exporting);
        if (exporting) {
            exportRows(in, kind, sink);
            return;
        }
        reply = answer(in, kind);
    } catch (const RequestError& f) {
        // Whatever was made before the failure is dropped: a reply is either a whole answer or
        // an error.
        reply = ErrorReply(f.code, f.message, f.details);
    }
    if (reply.size() > components::MAX_REPLY_BYTES) {
        const RequestError tooLarge = ReplyTooLarge();
        reply = ErrorReply(tooLarge.code, tooLarge.message);
    }
    sink.send(reply);
}

QByteArray MessageHandler::answer(const pugi::xml_node& in, const QString& kind) const {
    pugi::xml_document reply;
    pugi::xml_node root = reply.append_child(protocol::ROOT);
    pugi::xml_node type = root.append_child(protocol::TYPE);
    root.append_child(protocol::ERROR);
    root.append_child(protocol::MESSAGE);
    try {
        if (isType(kind, protocol::PING)) {
            type.text().set(protocol::PONG);
            ping(root);
        } else if (isType(kind, protocol::LIST_TABLES)) {
            type.text().set(protocol::TABLES);
            listTables(root);
        } else if (isType(kind, protocol::LIST_QUERIES)) {
            type.text().set(protocol::QUERIES);
            listQueries(root);
        } else if (isType(kind, protocol::DESCRIBE_TABLE)) {
            type.text().set(protocol::TABLE);
            describeTable(in, root);
        } else if (isType(kind, protocol::READ_TABLE)) {
            type.text().set(protocol::ROWS);
            readTable(in, root);
        } else if (isType(kind, protocol::FACETS)) {
            type.text().set(protocol::FACETS);
            facets(in, root);
        } else if (isType(kind, protocol::QUERY)) {
            type.text().set(protocol::ROWS);
            runQuery(in, root);
        } else if (isType(kind, protocol::READ_AUDIT)) {
            type.text().set(protocol::ROWS);
            readAudit(in, root);
        } else if (IsRowMessage(kind)) {
            type.text().set(protocol::ROWS);
            AnswerRowMessage(database(), kind, in, root);
        } else if (const char* replyType = AccountReplyType(kind)) {
            type.text().set(replyType);
            AnswerAccountMessage(Accounts(database()), kind, in, root);
        } else {
            Fail(ERROR_INVALID_REQUEST,
                 QStringLiteral("Unknown request type \"") + kind + QStringLiteral("\"."));
        }
    } catch (const common::Error& e) {
        failFromDatabase(e, QString());
    }
    if (m_database && m_database->takeVolatile())
        AddText(root, protocol::VOLATILE, BoolText(true));
    return Serialize(reply);
}

void MessageHandler::exportRows(const pugi::xml_node& request, const QString& kind,
                                ReplySink& sink) const {
    const Paging paging =
        readPaging(request, components::MAX_EXPORT_ROWS, components::MAX_EXPORT_ROWS);
    std::optional<ExportParts> parts;
    QString prefix;
    try {
        try {
            if (isType(kind, protocol::QUERY)) {
                const NamedQuery& named = namedQuery(request);
                const QList<Argument> arguments = readArguments(request);
                const QueryRead read{paging, readSortKeys(request), false};
                prefix = QStringLiteral("The query ") + named.name + QStringLiteral(" failed. ");
                parts.emplace(sink, protocol::NAME, named.name, paging, m_exportTimeLimitMs);
                database().exportQuery(named, arguments, read, *parts, parts->deadline());
            } else {
                const bool audit = isType(kind, protocol::READ_AUDIT);
                TableRead read = audit ? auditRead(request) : tableRead(request);
                read.paging = paging;
                if (!audit)
                    read.labels = labelSources(request, read.table);
                parts.emplace(sink, protocol::TABLE, read.table, paging, m_exportTimeLimitMs);
                parts->labelled(LabelledColumns(read.labels));
                if (audit && !Accounts(database()).exist())
                    parts->columns(Accounts::AuditColumns()); // no trail yet: no rows
                else
                    database().exportTable(read, *parts, parts->deadline());
            }
            parts->finish();
        } catch (const common::Error& e) {
            // The deadline interrupted the statement: the export ran out of time.
            if (parts && parts->deadline().hasExpired())
                parts->failTimeLimit();
            failFromDatabase(e, prefix);
        }
    } catch (const RequestError& f) {
        sink.send(ErrorReply(f.code, f.message, f.details));
    }
}

void MessageHandler::failFromDatabase(const common::Error& e, const QString& prefix) const {
    // A request cut off by a lost connection may be sent again once the
    // database is back; one the database refused may not.
    if (m_database && m_database->connectionLost())
        Fail(ERROR_NOT_CONNECTED, prefix + e.description());
    if (m_ceiling.hasExpired())
        Fail(ERROR_TIME_LIMIT,
             prefix + QStringLiteral("The request took longer than %1 s and was stopped.")
                          .arg(statementTimeLimitMs() / 1000.0));
    Fail(ERROR_DATABASE, prefix + e.description());
}

Database& MessageHandler::database() const {
    if (!m_database)
        Fail(ERROR_NOT_CONNECTED,
             m_connectError.isEmpty() ? QStringLiteral("No database is open.") : m_connectError);
    return *m_database;
}

const Config& MessageHandler::config() const {
    if (!m_config)
        Fail(ERROR_NOT_CONNECTED, m_connectError.isEmpty()
                                      ? QStringLiteral("No configuration is loaded.")
                                      : m_connectError);
    return *m_config;
}

void MessageHandler::ping(pugi::xml_node reply) const {
    reply.child(protocol::MESSAGE)
        .text()
        .set(pingText(DatabaseState(m_database, m_connectError)).constData());
}

void MessageHandler::listTables(pugi::xml_node reply) const {
    pugi::xml_node tables = reply.append_child(protocol::TABLES);
    for (const TableSummary& t : database().tables()) {
        pugi::xml_node table = tables.append_child(protocol::TABLE);
        setAttribute(table, protocol::ATTRIBUTE_TYPE, t.type);
        if (t.rows)
            table.append_attribute(protocol::ATTRIBUTE_ROWS)
                .set_value(static_cast<long long>(*t.rows));
        common::SetValueText(table, t.name);
    }
}

void MessageHandler::listQueries(pugi::xml_node reply) const {
    pugi::xml_node queries = reply.append_child(protocol::QUERIES);
    for (const NamedQuery& q : config().queries()) {
        pugi::xml_node query = queries.append_child(protocol::QUERY);
        setAttribute(query, protocol::ATTRIBUTE_NAME, q.name);
        // Without a database, or for SQL it refuses, the kind is not known.
        const QueryKind kind = m_database ? m_database->queryKind(q) : QueryKind::Unknown;
        if (kind != QueryKind::Unknown)
            query.append_attribute(protocol::ATTRIBUTE_KIND)
                .set_value(kind == QueryKind::Read ? protocol::KIND_READ : protocol::KIND_WRITE);
        addTexts(query, q.texts);
        if (q.choicesOnly)
            query.append_attribute(protocol::ATTRIBUTE_USE).set_value(protocol::USE_CHOICES);
        for (const QueryParameter& p : q.parameters) {
            pugi::xml_node parameter = query.append_child(protocol::PARAMETER);
            setAttribute(parameter, protocol::ATTRIBUTE_NAME, p.name);
            setAttribute(parameter, protocol::ATTRIBUTE_TYPE, p.type);
            if (m_database && !p.table.isEmpty() && IsKeyTable(*m_database, p.table))
                setAttribute(parameter, protocol::ATTRIBUTE_TABLE, p.table);
            addTexts(parameter, p.texts);
        }
        for (const ResultLink& l : q.links) {
            pugi::xml_node link = query.append_child(protocol::LINK);
            setAttribute(link, protocol::ATTRIBUTE_COLUMN, l.column);
            setAttribute(link, protocol::ATTRIBUTE_TABLE, l.table);
        }
    }
}

void MessageHandler::describeTable(const pugi::xml_node& request, pugi::xml_node reply) const {
    const TableDescription d = database().describeTable(ChildValue(request, protocol::TABLE));
    pugi::xml_node table = reply.append_child(protocol::TABLE);
    setAttribute(table, protocol::ATTRIBUTE_TYPE, d.type);
    if (const QString label = LabelColumn(d, config()); !label.isEmpty())
        setAttribute(table, protocol::ATTRIBUTE_LABEL, label);
    common::SetValueText(table, d.name);
    pugi::xml_node columns = reply.append_child(protocol::COLUMNS);
    for (const ColumnDescription& c : d.columns) {
        pugi::xml_node column = columns.append_child(protocol::COLUMN);
        setAttribute(column, protocol::ATTRIBUTE_NAME, c.name);
        setAttribute(column, protocol::ATTRIBUTE_TYPE, c.type);
        setAttribute(column, protocol::ATTRIBUTE_NOT_NULL, BoolText(c.notNull));
        column.append_attribute(protocol::ATTRIBUTE_PK).set_value(c.primaryKey);
        if (c.defaultValue)
            setAttribute(column, protocol::ATTRIBUTE_DEFAULT, *c.defaultValue);
        if (c.length)
            column.append_attribute(protocol::ATTRIBUTE_LENGTH).set_value(*c.length);
        if (c.autoIncrement)
            column.append_attribute(protocol::ATTRIBUTE_AUTOINCREMENT)
                .set_value(protocol::TRUE_TEXT);
    }
    addKeys(reply, protocol::FOREIGN_KEYS, protocol::FOREIGN_KEY, d.foreignKeys);
    addKeys(reply, protocol::REFERENCED_BY, protocol::REFERENCE, d.referencedBy);
}

TableRead MessageHandler::tableRead(const pugi::xml_node& request) const {
    TableRead read;
    read.table = ChildValue(request, protocol::TABLE);
    read.paging = readPaging(request, DEFAULT_LIMIT, MAX_LIMIT);
    read.order = readSortKeys(request);
    read.filters = readFilters(request);
    read.search = ChildValue(request, protocol::SEARCH);
    return read;
}

TableRead MessageHandler::auditRead(const pugi::xml_node& request) const {
    TableRead read = tableRead(request);
    read.table = QString::fromLatin1(AUDIT_TABLE);
    read.ownTable = true;
    if (read.order.isEmpty())
        read.order << SortKey{QStringLiteral("id"), true}; // the latest first
    return read;
}

const NamedQuery& MessageHandler::namedQuery(const pugi::xml_node& request) const {
    const QString name = ChildValue(request, protocol::NAME);
    const NamedQuery* query = config().query(name);
    if (!query)
        Fail(ERROR_UNKNOWN_QUERY,
             QStringLiteral("There is no query \"") + name + QStringLiteral("\"."));
    return *query;
}

QList<LabelSource> MessageHandler::labelSources(const pugi::xml_node& request,
                                                const QString& table) const {
    if (!IsTrue(ChildText(request, protocol::LABELS)))
        return {};
    const Config& configuration = config();
    return LabelSources(
        database(), database().describeTable(table),
        [&configuration](const TableDescription& t) { return LabelColumn(t, configuration); });
}

void MessageHandler::readTable(const pugi::xml_node& request, pugi::xml_node reply) const {
    Database& db = database();
    TableRead read = tableRead(request);
    read.labels = labelSources(request, read.table);
    RowPage page = db.readTable(read);
    page.labelled = LabelledColumns(read.labels);
    AddText(reply, protocol::TABLE, read.table);
    AddPage(reply, page, read.paging);
    if (page.truncated)
        AddText(reply, protocol::TRUNCATED, BoolText(true));
}

void MessageHandler::facets(const pugi::xml_node& request, pugi::xml_node reply) const {
    Database& db = database();
    TableRead read = tableRead(request);
    read.labels = labelSources(request, read.table);
    const FacetList list = db.facets(read);
    AddText(reply, protocol::TABLE, read.table);
    addFacets(reply, list);
}

void MessageHandler::readAudit(const pugi::xml_node& request, pugi::xml_node reply) const {
    Database& db = database();
    const TableRead read = auditRead(request);
    // No trail yet: no rows.
    const RowPage page = Accounts(db).exist()
                             ? db.readTable(read)
                             : RowPage{Accounts::AuditColumns(), {}, false, 0, false, {}};
    AddText(reply, protocol::TABLE, read.table);
    AddPage(reply, page, read.paging);
}

void MessageHandler::runQuery(const pugi::xml_node& request, pugi::xml_node reply) const {
    const NamedQuery& query = namedQuery(request);
    Database& db = database();
    const QueryRead read{readPaging(request, DEFAULT_LIMIT, MAX_LIMIT), readSortKeys(request),
                         IsTrue(ChildText(request, protocol::TOTAL))};
    const QList<Argument> arguments = readArguments(request);
    const QString requestId = ReadRequestId(request);
    const std::optional<AuditEntry> audit = ReadAuditEntry(request);
    try {
        const QueryResult result =
            db.runQuery(query, arguments, read, requestId,
                        audit ? Accounts::AuditOfWrite(*audit) : WriteCompanion());
        if (const auto* write = std::get_if<WriteResult>(&result)) {
            addWrite(reply, *write);
        } else {
            AddText(reply, protocol::NAME, query.name);
            AddPage(reply, std::get<RowPage>(result), read.paging);
        }
    } catch (const common::Error& e) {
        failFromDatabase(e,
                         QStringLiteral("The query ") + query.name + QStringLiteral(" failed. "));
    }
}

} // namespace dbsvr
