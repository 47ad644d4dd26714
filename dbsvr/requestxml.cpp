#include "dbsvr/requestxml.h"

#include "common/xml.h"
#include "common/xmlvalue.h"
#include "contract/protocol.h"
#include "dbsvr/database.h"
#include "dbsvr/requesterror.h"

#include <pugixml.hpp>

namespace dbsvr {

QString ChildText(const pugi::xml_node& node, const char* name) {
    return common::ToQString(node.child(name).child_value()).trimmed();
}

QString ChildValue(const pugi::xml_node& node, const char* name) {
    return common::ValueText(node.child(name));
}

bool IsTrue(const QString& text) {
    return text.compare(QLatin1String(dataserver::protocol::TRUE_TEXT), Qt::CaseInsensitive) == 0 ||
           text == QLatin1String("1");
}

int64_t ReadCount(const pugi::xml_node& request, const char* name, int64_t fallback) {
    const QString text = ChildText(request, name);
    if (text.isEmpty())
        return fallback;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < 0)
        Fail(ERROR_INVALID_ARGUMENT,
             QString::fromLatin1(name) +
                 QStringLiteral(" must be a whole number of 0 or more, not ") + text +
                 QLatin1Char('.'));
    return value;
}

QString ReadRequestId(const pugi::xml_node& request) {
    const QString id = ChildText(request, dataserver::protocol::REQUEST_ID);
    if (id.size() > MAX_REQUEST_ID)
        Fail(ERROR_INVALID_ARGUMENT,
             QStringLiteral("A RequestId has at most %1 characters.").arg(MAX_REQUEST_ID));
    return id;
}

} // namespace dbsvr
