#include "webapp/data/auditentry.h"

#include "contract/protocol.h"
#include "webapp/data/dataclient.h"

namespace webapp {

namespace protocol = dataserver::protocol;

void AddAudit(DataMessage& message, const AuditEntry& entry) {
    const pugi::xml_node audit = message.root().append_child(protocol::AUDIT);
    message.add(protocol::USER, entry.user, audit);
    message.add(protocol::ADDRESS, entry.address, audit);
    message.add(protocol::ACTION, entry.action, audit);
    message.add(protocol::OBJECT, entry.object, audit);
    message.add(protocol::DETAIL, entry.detail, audit);
    message.add(protocol::RECORD_KEY, entry.recordKey, audit);
    if (!entry.at.isEmpty())
        message.add(protocol::AT, entry.at, audit);
}

} // namespace webapp
