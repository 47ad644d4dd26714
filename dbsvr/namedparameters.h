#pragma once

#include <QString>
#include <QStringList>

namespace dbsvr {

struct PositionalSql {
    QString sql;       // with $1, $2, ... in place of the names
    QStringList names; // the name of $1, $2, ... (":customer"), each once
};

// Turns the :name parameters of a named query into PostgreSQL's $1..$n: the
// same name gets the same number. Text in string literals, quoted names,
// comments and dollar-quoted bodies is left alone, and so are :: casts.
PositionalSql ToPositionalParameters(const QString& sql);

} // namespace dbsvr
