#include "webapp/data/tableview.h"

#include "contract/protocol.h"
#include "webapp/requestcontext.h"

#include <algorithm>

namespace webapp {

namespace {
int number(const QString& text, int fallback) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? n : fallback;
}

const QString SHOW_PREFIX = QStringLiteral("show.");

// The field names of sort key i (from 0): sort/dir, sort2/dir2, ...
QString sortField(int i) {
    return i == 0 ? QStringLiteral("sort") : QStringLiteral("sort") + QString::number(i + 1);
}
QString dirField(int i) {
    return i == 0 ? QStringLiteral("dir") : QStringLiteral("dir") + QString::number(i + 1);
}

QStringList pickedColumns(const RequestContext& context) {
    QStringList columns;
    if (context.field(QStringLiteral("pick")).isEmpty()) {
        for (const QString& c : context.field(QStringLiteral("cols")).split(QLatin1Char(',')))
            if (!c.isEmpty() && !columns.contains(c))
                columns.append(c);
        return columns;
    }
    for (const QString& name : context.fieldNames())
        if (name.startsWith(SHOW_PREFIX) && name.size() > SHOW_PREFIX.size())
            columns.append(name.mid(SHOW_PREFIX.size()));
    return columns;
}
} // namespace

const QStringList& FilterOperators() {
    namespace protocol = dataserver::protocol;
    static const QStringList ops = {QString::fromLatin1(protocol::OP_EQUAL),
                                    QString::fromLatin1(protocol::OP_NOT_EQUAL),
                                    QString::fromLatin1(protocol::OP_CONTAINS),
                                    QString::fromLatin1(protocol::OP_LESS),
                                    QString::fromLatin1(protocol::OP_LESS_OR_EQUAL),
                                    QString::fromLatin1(protocol::OP_GREATER),
                                    QString::fromLatin1(protocol::OP_GREATER_OR_EQUAL),
                                    QString::fromLatin1(protocol::OP_EMPTY),
                                    QString::fromLatin1(protocol::OP_NOT_EMPTY)};
    return ops;
}

bool OperatorTakesNoValue(const QString& op) {
    return op == QLatin1String(dataserver::protocol::OP_EMPTY) ||
           op == QLatin1String(dataserver::protocol::OP_NOT_EMPTY);
}

TableView TableView::fromRequest(const RequestContext& context) {
    TableView view;
    TableRead& r = view.read;
    r.table = context.field(QStringLiteral("name"));
    r.offset = std::max(0, number(context.field(QStringLiteral("offset")), 0));
    r.limit = std::clamp(number(context.field(QStringLiteral("size")), DEFAULT_SIZE), 1,
                         RemoteDatabase::MAX_LIMIT);
    r.search = context.field(QStringLiteral("q"));
    for (int i = 0; i < MAX_SORT_KEYS; ++i) {
        const QString column = context.field(sortField(i));
        if (!column.isEmpty())
            r.orderBy.append({column, context.field(dirField(i)) == QLatin1String("desc")});
    }
    for (int i = 1; i <= MAX_FILTERS; ++i) {
        const QString n = QString::number(i);
        const QString column = context.field(QStringLiteral("col") + n);
        if (column.isEmpty())
            continue;
        QString op = context.field(QStringLiteral("op") + n);
        r.filters.append({column, op.isEmpty() ? QStringLiteral("eq") : op,
                          context.field(QStringLiteral("val") + n)});
    }
    view.columns = pickedColumns(context);
    return view;
}

TableView TableView::sortedBy(const QString& column) const {
    TableView sorted = *this;
    sorted.read.offset = 0;
    const QList<SortKey>& keys = read.orderBy;
    QList<SortKey> next{{column, false}};
    if (!keys.isEmpty() && keys.first().column == column)
        next.first().descending = !keys.first().descending;
    else if (!keys.isEmpty())
        next.append(keys.first());
    sorted.read.orderBy = next;
    return sorted;
}

QList<QPair<QString, QString>> TableView::filterFields() const {
    QList<QPair<QString, QString>> fields;
    for (qsizetype i = 0; i < read.filters.size(); ++i) {
        const QString n = QString::number(i + 1);
        fields.append({QStringLiteral("col") + n, read.filters[i].column});
        fields.append({QStringLiteral("op") + n, read.filters[i].op});
        fields.append({QStringLiteral("val") + n, read.filters[i].value});
    }
    return fields;
}

Link TableView::link(const QString& page, bool withOffset) const {
    Link link(page);
    link.with(QStringLiteral("name"), read.table);
    link.with(QStringLiteral("q"), read.search);
    const QList<SortKey>& keys = read.orderBy;
    for (int i = 0; i < keys.size(); ++i) {
        link.with(sortField(i), keys[i].column);
        link.with(dirField(i), keys[i].descending ? QStringLiteral("desc") : QString());
    }
    for (const auto& [name, value] : filterFields())
        link.keep(name, value);
    link.with(QStringLiteral("cols"), columns.join(QLatin1Char(',')));
    return link.paging(read.limit, DEFAULT_SIZE, withOffset ? read.offset : 0);
}

} // namespace webapp
