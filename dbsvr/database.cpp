#include "dbsvr/database.h"

#include "common/error.h"
#include "dbsvr/config.h"
#include "dbsvr/postgresdatabase.h"
#include "dbsvr/requesterror.h"
#include "dbsvr/sqlitedatabase.h"

#include <algorithm>

namespace dbsvr {

void FailExportOfWrite(const QString& query) {
    Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("The query ") + query +
                                     QStringLiteral(" writes; only reading queries are exported."));
}

void RaiseReadOnly() {
    throw common::Error(common::ERR_PROGRAM,
                        QStringLiteral("The database is open read-only; it takes no writes."));
}

std::unique_ptr<Database> Database::Open(const QString& path) {
    return SqliteDatabase::Open(path);
}

std::unique_ptr<Database> Database::Connect(const Config& config) {
    if (config.databaseType() == Config::DatabaseType::Postgresql)
        // The server's own limit is a backstop: this side stops a request's statements at its
        // ceiling, an export's at the export's limit.
        return std::make_unique<PostgresDatabase>(
            config.databaseSetting(),
            std::max(config.statementTimeLimitMs(), components::EXPORT_TIME_LIMIT_MS));
    return SqliteDatabase::Open(config.databasePath());
}

} // namespace dbsvr
