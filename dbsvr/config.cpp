#include "dbsvr/config.h"

#include "common/error.h"
#include "common/files.h"
#include "common/xml.h"
#include "diagnostics/trace.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <pugixml.hpp>
#include <sstream>

namespace dbsvr {

namespace {
[[noreturn]] void configError(const QString& folder, const QString& what) {
    throw common::Error(common::ERR_PROGRAM, QStringLiteral("The data server configuration ") +
                                                 Config::FilePath(folder) + QStringLiteral(" ") +
                                                 what);
}

bool knownType(const QString& type) {
    return type == QLatin1String("text") || type == QLatin1String("integer") ||
           type == QLatin1String("real");
}

QString attributeText(const pugi::xml_node& node, const char* name) {
    return common::ToQString(node.attribute(name).value()).trimmed();
}

// The title and description as attributes; a child element of that name (Title,
// Description) holds a text too long for an attribute, and wins.
PeopleTexts readTexts(const pugi::xml_node& node) {
    PeopleTexts texts{attributeText(node, "title"), attributeText(node, "description"),
                      attributeText(node, "label")};
    if (node.child("Title"))
        texts.title = common::NodeText(node, QStringLiteral("Title")).simplified();
    if (node.child("Description"))
        texts.description = common::NodeText(node, QStringLiteral("Description")).simplified();
    return texts;
}

bool readChoicesOnly(const QString& folder, const pugi::xml_node& node, const QString& query) {
    const QString use = attributeText(node, "use");
    if (!use.isEmpty() && use != QLatin1String("choices"))
        configError(folder, QStringLiteral("gives the query ") + query +
                                QStringLiteral(" the unknown use \"") + use +
                                QStringLiteral("\"; known is choices."));
    return !use.isEmpty();
}

QList<ResultLink> readLinks(const QString& folder, const pugi::xml_node& node,
                            const QString& query) {
    QList<ResultLink> links;
    for (const pugi::xml_node& l : node.children("Link")) {
        const ResultLink link{attributeText(l, "column"), attributeText(l, "table")};
        if (link.column.isEmpty() || link.table.isEmpty())
            configError(folder, QStringLiteral("has a Link of query ") + query +
                                    QStringLiteral(" without a column or a table."));
        for (const ResultLink& earlier : links)
            if (earlier.column == link.column)
                configError(folder, QStringLiteral("links the column ") + link.column +
                                        QStringLiteral(" of query ") + query +
                                        QStringLiteral(" twice."));
        links << link;
    }
    return links;
}

NamedQuery readQuery(const QString& folder, const pugi::xml_node& node) {
    NamedQuery q;
    q.name = attributeText(node, "name");
    q.sql = common::NodeText(node, QStringLiteral("Sql")).trimmed();
    if (q.name.isEmpty() || q.sql.isEmpty())
        configError(folder, QStringLiteral("has a query without a name or without SQL."));
    q.texts = readTexts(node);
    q.choicesOnly = readChoicesOnly(folder, node, q.name);
    q.links = readLinks(folder, node, q.name);
    for (const pugi::xml_node& p : node.children("Parameter")) {
        QueryParameter parameter;
        parameter.name = attributeText(p, "name");
        parameter.texts = readTexts(p);
        const QString type = attributeText(p, "type").toLower();
        if (!type.isEmpty())
            parameter.type = type;
        parameter.table = common::ToQString(p.attribute("table").value());
        if (parameter.name.isEmpty() || !knownType(parameter.type))
            configError(folder, QStringLiteral("has a parameter of query ") + q.name +
                                    QStringLiteral(" without a name or with an unknown type."));
        q.parameters << parameter;
    }
    return q;
}
// A positive number from the element name of root, or fallback when there is none.
double readPositive(const QString& folder, const pugi::xml_node& root, const char* name,
                    double fallback, double most) {
    const pugi::xml_node node = root.child(name);
    if (!node)
        return fallback;
    bool ok = false;
    const double value = common::ToQString(node.child_value()).trimmed().toDouble(&ok);
    if (!ok || !(value > 0) || value > most)
        configError(folder, QStringLiteral("has a %1 that is not a number above 0 and up to %2.")
                                .arg(QString::fromLatin1(name))
                                .arg(most));
    return value;
}
} // namespace

int Config::DefaultWorkers() {
    return std::max(2, 2 * QThread::idealThreadCount());
}

const QueryParameter* NamedQuery::parameter(const QString& wanted) const {
    for (const QueryParameter& p : parameters)
        if (p.name == wanted)
            return &p;
    return nullptr;
}

QString Config::FilePath(const QString& folder) {
    return QDir(folder).filePath(FileName());
}

Config Config::Load(const QString& folder) {
    if (folder.isEmpty())
        throw common::Error(common::ERR_PROGRAM,
                            QStringLiteral("No application folder (configfolder) is set."));
    pugi::xml_document doc;
    if (!common::LoadXmlFile(doc, FilePath(folder)))
        configError(folder, QStringLiteral("is missing or not well-formed XML."));
    Config config;
    config.m_folder = folder;
    const pugi::xml_node root = doc.document_element();
    config.m_database = common::NodeText(root, QStringLiteral("Database")).trimmed();
    if (config.m_database.isEmpty())
        configError(folder, QStringLiteral("names no database."));
    const QString type =
        common::ToQString(root.child("Database").attribute("type").value()).trimmed().toLower();
    if (type == QLatin1String("postgresql"))
        config.m_type = DatabaseType::Postgresql;
    else if (!type.isEmpty() && type != QLatin1String("sqlite"))
        configError(folder, QStringLiteral("names the unknown type of database \"") + type +
                                QStringLiteral("\"; known are sqlite and postgresql."));
    for (const pugi::xml_node& node : root.child("Queries").children("Query")) {
        NamedQuery q = readQuery(folder, node);
        if (config.query(q.name))
            configError(folder,
                        QStringLiteral("defines the query ") + q.name + QStringLiteral(" twice."));
        config.m_queries << q;
    }
    for (const pugi::xml_node& node : root.child("Tables").children("Table")) {
        const QString table = common::ToQString(node.attribute("name").value());
        const QString label = common::ToQString(node.attribute("label").value());
        if (table.isEmpty() || label.isEmpty())
            configError(folder, QStringLiteral("has a Table without a name or a label."));
        if (config.m_labelColumns.contains(table))
            configError(folder, QStringLiteral("names the table ") + table +
                                    QStringLiteral(" twice under Tables."));
        config.m_labelColumns.insert(table, label);
    }
    const double workers = readPositive(folder, root, "Workers", 0, MAX_WORKERS);
    if (workers != int(workers))
        configError(folder, QStringLiteral("has a Workers that is not a whole number."));
    config.m_workers = int(workers);
    // Up to a day: a longer ceiling is none.
    config.m_statementTimeLimitMs =
        std::max(1, int(readPositive(folder, root, "StatementTimeLimit",
                                     DEFAULT_STATEMENT_TIME_LIMIT_MS / 1000.0, 24 * 3600) *
                        1000));
    return config;
}

QString Config::databasePath() const {
    return QDir::cleanPath(QDir(m_folder).absoluteFilePath(m_database));
}

const NamedQuery* Config::query(const QString& name) const {
    for (const NamedQuery& q : m_queries)
        if (q.name == name)
            return &q;
    return nullptr;
}

QString DatabaseSettingFor(const QString& folder, const QString& databaseFile) {
    const QString file = QFileInfo(databaseFile).absoluteFilePath();
    const QString base = QFileInfo(folder).absoluteFilePath();
    const QString relative = QDir(base).relativeFilePath(file);
    if (relative.startsWith(QLatin1String("../")) || relative == QLatin1String("..") ||
        QDir::isAbsolutePath(relative))
        return QDir::cleanPath(file);
    return relative;
}

void SaveDatabaseSetting(const QString& folder, const QString& setting) {
    const QString path = Config::FilePath(folder);
    pugi::xml_document doc;
    if (QFileInfo::exists(path)) {
        // Comments and the declaration are kept: they are the file's documentation.
        const QByteArray bytes = common::ReadFile(path);
        const unsigned options =
            pugi::parse_default | pugi::parse_comments | pugi::parse_declaration;
        if (!bytes.isEmpty() &&
            (!doc.load_buffer(bytes.constData(), size_t(bytes.size()), options) ||
             !doc.document_element()))
            configError(folder, QStringLiteral("is not well-formed XML; it was left as it is."));
    }
    pugi::xml_node root = doc.document_element();
    if (!root)
        root = doc.append_child("DataServer");
    pugi::xml_node database = root.child("Database");
    if (!database)
        database = root.prepend_child("Database");
    // The setting is an SQLite file: a PostgreSQL connection it replaces is no longer meant.
    database.remove_attribute("type");
    database.text().set(common::ToUtf8(setting).c_str());
    // Indented, because people edit this file by hand to add queries.
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
    common::SaveFile(path, QByteArray::fromStdString(out.str()));
    diagnostics::WriteTrace(QStringLiteral("Database of ") + path + QStringLiteral(" set to ") +
                            setting);
}

} // namespace dbsvr
