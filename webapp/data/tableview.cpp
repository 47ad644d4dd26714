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
} // namespace

const QStringList& FilterOperators() {
    namespace protocol = dataserver::protocol;
    static const QStringList ops = {QString::fromLatin1(protocol::OP_EQUAL),
                                    QString::fromLatin1(protocol::OP_NOT_EQUAL),
                                    QString::fromLatin1(protocol::OP_CONTAINS),
                                    QString::fromLatin1(protocol::OP_LESS),
                                    QString::fromLatin1(protocol::OP_LESS_OR_EQUAL),
                                    QString::fromLatin1(protocol::OP_GREATER),
                                    QString::fromLatin1(protocol::OP_GREATER_OR_EQUAL)};
    return ops;
}

TableView TableView::fromRequest(const RequestContext& context) {
    TableView view;
    TableRead& r = view.read;
    r.table = context.field(QStringLiteral("name"));
    r.offset = std::max(0, number(context.field(QStringLiteral("offset")), 0));
    r.limit = std::clamp(number(context.field(QStringLiteral("size")), DEFAULT_SIZE), 1,
                         RemoteDatabase::MAX_LIMIT);
    r.orderBy = context.field(QStringLiteral("sort"));
    r.descending = context.field(QStringLiteral("dir")) == QLatin1String("desc");
    for (int i = 1; i <= MAX_FILTERS; ++i) {
        const QString n = QString::number(i);
        const QString column = context.field(QStringLiteral("col") + n);
        if (column.isEmpty())
            continue;
        QString op = context.field(QStringLiteral("op") + n);
        r.filters.append({column, op.isEmpty() ? QStringLiteral("eq") : op,
                          context.field(QStringLiteral("val") + n)});
    }
    return view;
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
    if (!read.orderBy.isEmpty()) {
        link.with(QStringLiteral("sort"), read.orderBy);
        link.with(QStringLiteral("dir"), read.descending ? QStringLiteral("desc") : QString());
    }
    for (const auto& [name, value] : filterFields())
        link.keep(name, value);
    return link.paging(read.limit, DEFAULT_SIZE, withOffset ? read.offset : 0);
}

} // namespace webapp
