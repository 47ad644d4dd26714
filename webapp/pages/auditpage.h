#pragma once

#include "webapp/pageenvironment.h"

namespace webapp {

// ?page=audit: the audit trail, for administrators only (anyone else gets RefusedPage):
// newest first, paged, with the filters of AuditView kept in the address; with format=csv
// (or json) the same filtered entries as an export, with the limits of ExportPage's. Read
// only: nothing here changes or removes an entry.
Response AuditPage(const PageEnvironment& env);

} // namespace webapp
