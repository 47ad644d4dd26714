#include "webapp/data/auditview.h"

#include "contract/protocol.h"
#include "webapp/requestcontext.h"

#include <QDate>
#include <QTime>
#include <optional>

namespace webapp {

namespace {

const QString FROM = QStringLiteral("from");
const QString TO = QStringLiteral("to");

// The fields that name an entry's value, and the audit table's columns they filter.
const QList<QPair<QString, QString>>& exactFilters() {
    static const QList<QPair<QString, QString>> filters = {
        {QStringLiteral("user"), QStringLiteral("user_name")},
        {QStringLiteral("action"), QStringLiteral("action")},
        {QStringLiteral("object"), QStringLiteral("object")},
        {QStringLiteral("address"), QStringLiteral("address")},
    };
    return filters;
}

// A time as the audit table writes it ("YYYY-MM-DD HH:MM:SS", which sorts as text); what is
// left out is the start of the day or minute, or with end its last second. nullopt for text
// that is no such time.
std::optional<QString> auditTime(const QString& given, bool end) {
    QString text = given.trimmed();
    if (text.size() > 10 && text[10] == QLatin1Char('T'))
        text[10] = QLatin1Char(' ');
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QString rest = text.mid(10);
    QTime time;
    if (rest.isEmpty())
        time = end ? QTime(23, 59, 59) : QTime(0, 0);
    else if (rest.size() == 6 && rest[0] == QLatin1Char(' '))
        time = QTime::fromString(rest.mid(1), QStringLiteral("HH:mm")).addSecs(end ? 59 : 0);
    else if (rest.size() == 9 && rest[0] == QLatin1Char(' '))
        time = QTime::fromString(rest.mid(1), QStringLiteral("HH:mm:ss"));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') +
           time.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

const QStringList& AuditView::filterNames() {
    static const QStringList names = [] {
        QStringList list;
        for (const auto& [field, column] : exactFilters())
            list.append(field);
        return list << FROM << TO;
    }();
    return names;
}

QString AuditView::fieldOf(const QString& column) {
    for (const auto& [field, filtered] : exactFilters())
        if (filtered == column)
            return field;
    return {};
}

AuditView AuditView::fromRequest(const RequestContext& context) {
    AuditView view;
    for (const QString& name : filterNames())
        if (const QString value = context.field(name); !value.isEmpty())
            view.filters.insert(name, value);
    // Paged as a table page is.
    const TableRead paging = TableView::fromRequest(context).read;
    view.offset = paging.offset;
    view.size = paging.limit;
    return view;
}

QStringList AuditView::unreadable() const {
    QStringList fields;
    for (const QString& name : {FROM, TO})
        if (filters.contains(name) && !auditTime(filters.value(name), name == TO))
            fields.append(name);
    return fields;
}

TableRead AuditView::read() const {
    TableRead r;
    r.offset = offset;
    r.limit = size;
    r.orderBy = {{QStringLiteral("id"), true}};
    const QString equal = QString::fromLatin1(dataserver::protocol::OP_EQUAL);
    for (const auto& [field, column] : exactFilters())
        if (filters.contains(field))
            r.filters.append({column, equal, filters.value(field)});
    if (const auto from = auditTime(filters.value(FROM), false); filters.contains(FROM) && from)
        r.filters.append({QStringLiteral("at"),
                          QString::fromLatin1(dataserver::protocol::OP_GREATER_OR_EQUAL), *from});
    if (const auto to = auditTime(filters.value(TO), true); filters.contains(TO) && to)
        r.filters.append({QStringLiteral("at"),
                          QString::fromLatin1(dataserver::protocol::OP_LESS_OR_EQUAL), *to});
    return r;
}

Link AuditView::link(bool withOffset) const {
    Link link(QStringLiteral("audit"));
    for (const QString& name : filterNames())
        link.with(name, filters.value(name));
    return link.paging(size, DEFAULT_SIZE, withOffset ? offset : 0);
}

} // namespace webapp
