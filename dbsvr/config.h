#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace dbsvr {

// What people read about a query or a parameter instead of its name: a title and a
// description, or the id of a label in the language files that gives them (the label's text
// the title, the label "<id>Desc" the description), which wins where the language has it.
struct PeopleTexts {
    QString title;
    QString description;
    QString label;
};

// A parameter that a named query declares, so that its value is bound with
// the right type ("text", "integer" or "real"). Parameters the SQL uses but
// does not declare are bound as text.
struct QueryParameter {
    QString name; // without the ':' prefix
    QString type = QStringLiteral("text");
    // The table whose primary key the values are (table="customers"), "" for none.
    QString table;
    PeopleTexts texts;
};

// A result column whose values are keys of a table's rows, so that pages link them there.
struct ResultLink {
    QString column;
    QString table;
};

struct NamedQuery {
    QString name;
    QString sql;
    QList<QueryParameter> parameters;
    PeopleTexts texts;
    // use="choices": it only gives the forms their choices, and is not listed for people.
    bool choicesOnly = false;
    QList<ResultLink> links;

    const QueryParameter* parameter(const QString& name) const;
};

// The data server's configuration file in the application folder:
//
//   <DataServer>
//     <Database>sample.db</Database>              relative to the folder, or absolute
//     <Database type="postgresql">host=/run/postgresql dbname=shop</Database>
//                                                 a libpq connection string or URI
//     <Queries>
//       <Query name="CustomerOrders" title=".." description=".." label="qCustomerOrders">
//         <Parameter name="customer" type="integer" table="customers" title=".."
//                    description=".." label=".."/>  table: whose primary key the values are
//         <Link column="id" table="orders"/>       the column's values are keys of orders
//         <Sql>SELECT ... WHERE customer_id = :customer</Sql>
//       </Query>
//       <Query name="ProductChoices" use="choices">  only for the forms' choices
//       ...
//     </Queries>
//     <Tables>
//       <Table name="orders" label="ordered_on"/>  the column that stands for a row
//     </Tables>
//     <Workers>4</Workers>                        messages served at once (default: twice the
//     cores) <StatementTimeLimit>10</StatementTimeLimit> seconds a request's statements may take
//   </DataServer>
class Config final {
public:
    static QString FileName() { return QStringLiteral("dataserver.xml"); }
    static QString FilePath(const QString& folder);

    // Reads folder's configuration file. Raises common::Error when it is
    // missing or malformed, names no database or a type of database it does
    // not know, or defines a query without a name or SQL, twice, with a
    // parameter type it does not know, a use other than "choices", a Link without its column
    // or table or two for one column, or gives Workers or StatementTimeLimit that is not a
    // positive number (Workers a whole one, at most MAX_WORKERS).
    static Config Load(const QString& folder);

    enum class DatabaseType { Sqlite, Postgresql };

    const QString& folder() const { return m_folder; }
    // From the type attribute of <Database>: "sqlite" (the default) or "postgresql".
    DatabaseType databaseType() const { return m_type; }
    // The setting as written in the file.
    const QString& databaseSetting() const { return m_database; }
    // The SQLite setting resolved against the folder.
    QString databasePath() const;
    const QList<NamedQuery>& queries() const { return m_queries; }
    // nullptr for an unknown name; names compare exactly.
    const NamedQuery* query(const QString& name) const;
    // The label column the file names for table ("" when it names none); see LabelColumn().
    QString labelColumn(const QString& table) const { return m_labelColumns.value(table); }
    // How many messages are served at once; 0 when the file does not say (DefaultWorkers()).
    int workers() const { return m_workers; }
    // How long the statements of one request may take before they are stopped (TimeLimit).
    int statementTimeLimitMs() const { return m_statementTimeLimitMs; }

    // Twice the cores, at least 2: most of a worker's time is spent waiting for the disk or the
    // database server.
    static int DefaultWorkers();
    static constexpr int MAX_WORKERS = 64;
    static constexpr int DEFAULT_STATEMENT_TIME_LIMIT_MS = 10000;

private:
    QString m_folder;
    QString m_database;
    DatabaseType m_type = DatabaseType::Sqlite;
    QList<NamedQuery> m_queries;
    QHash<QString, QString> m_labelColumns; // by table
    int m_workers = 0;
    int m_statementTimeLimitMs = DEFAULT_STATEMENT_TIME_LIMIT_MS;
};

// The text to store for a database file: relative to folder when the file lies
// inside it (so the application folder can move), absolute otherwise.
QString DatabaseSettingFor(const QString& folder, const QString& databaseFile);

// Sets the SQLite database file in folder's configuration file (replacing a
// PostgreSQL connection), keeping everything else in it; creates the file when there is none.
// Raises common::Error when the file cannot be written or is malformed (it is never overwritten
// then).
void SaveDatabaseSetting(const QString& folder, const QString& setting);

} // namespace dbsvr
