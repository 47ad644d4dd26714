#pragma once

#include "contract/auditentry.h"

namespace webapp {

class DataMessage;

using AuditEntry = dataserver::AuditEntry;

// Adds the entry to a message as an <Audit> (AddAudit takes several).
void AddAudit(DataMessage& message, const AuditEntry& entry);

} // namespace webapp
