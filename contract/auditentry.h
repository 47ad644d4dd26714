#pragma once

#include <QString>

namespace dataserver {

// An entry of the audit trail as the account messages carry it (<Audit>, protocol.h): what was
// done, by whom and from where. The data server writes it in the transaction of the change it
// tells of.
struct AuditEntry {
    QString user;
    QString address;
    QString action;
    QString object;
    QString detail;
    QString recordKey; // "" with a write query: the id of the row it inserted, when it did
    QString at = {};   // when it happened, UTC "YYYY-MM-DD HH:MM:SS"; "": when it is written
};

} // namespace dataserver
