#include "dbsvr/database.h"

#include "dbsvr/config.h"
#include "dbsvr/postgresdatabase.h"
#include "dbsvr/requesterror.h"
#include "dbsvr/sqlitedatabase.h"

namespace dbsvr {

void FailExportOfWrite(const QString& query) {
    Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("The query ") + query +
                                     QStringLiteral(" writes; only reading queries are exported."));
}

std::unique_ptr<Database> Database::Open(const QString& path) {
    return SqliteDatabase::Open(path);
}

std::unique_ptr<Database> Database::Connect(const Config& config) {
    if (config.databaseType() == Config::DatabaseType::Postgresql)
        return std::make_unique<PostgresDatabase>(config.databaseSetting());
    return SqliteDatabase::Open(config.databasePath());
}

} // namespace dbsvr
