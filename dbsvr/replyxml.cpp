#include "dbsvr/replyxml.h"

#include "dbsvr/requesterror.h"

#include "common/xml.h"
#include "common/xmlvalue.h"
#include "contract/protocol.h"

#include <sstream>

namespace dbsvr {

namespace protocol = dataserver::protocol;

namespace {

void addColumns(pugi::xml_node reply, const QStringList& names) {
    pugi::xml_node columns = reply.append_child(protocol::COLUMNS);
    for (const QString& name : names)
        AddText(columns, protocol::COLUMN, name);
}

void markBlob(pugi::xml_node field, int64_t bytes) {
    field.append_attribute(protocol::ATTRIBUTE_TYPE).set_value(protocol::TYPE_BLOB);
    field.append_attribute(protocol::ATTRIBUTE_LENGTH).set_value(static_cast<long long>(bytes));
}

pugi::xml_node addField(pugi::xml_node row, const std::string& name, const FieldValue& value) {
    pugi::xml_node field = row.append_child(protocol::FIELD);
    field.append_attribute(protocol::ATTRIBUTE_NAME).set_value(name.c_str());
    if (const auto* text = std::get_if<QString>(&value)) {
        common::SetValueText(field, *text);
    } else if (const auto* blob = std::get_if<QByteArray>(&value)) {
        markBlob(field, blob->size());
        field.text().set(blob->toBase64().constData());
    } else if (const auto* size = std::get_if<BlobSize>(&value)) {
        markBlob(field, size->bytes);
    } else {
        field.append_attribute(protocol::ATTRIBUTE_NULL).set_value(protocol::TRUE_TEXT);
    }
    return field;
}

// A label is only ever text shown beside a key: one that is NULL, not text, or not to be
// carried by an XML attribute is left out.
void addLabel(pugi::xml_node field, const FieldValue& value) {
    const auto* text = std::get_if<QString>(&value);
    if (text && common::XmlCanCarry(*text))
        field.append_attribute(protocol::ATTRIBUTE_LABEL).set_value(common::ToUtf8(*text).c_str());
}

} // namespace

QString BoolText(bool value) {
    return value ? QString::fromLatin1(protocol::TRUE_TEXT)
                 : QString::fromLatin1(protocol::FALSE_TEXT);
}

void AddText(pugi::xml_node parent, const char* name, const QString& text) {
    common::SetValueText(parent.append_child(name), text);
}

void AddNumber(pugi::xml_node parent, const char* name, int64_t value) {
    parent.append_child(name).text().set(static_cast<long long>(value));
}

void AddPage(pugi::xml_node reply, const RowPage& page, const Paging& paging) {
    // The labels' values end each row; they are no columns of their own.
    const qsizetype width = page.columns.size() - page.labelled.size();
    addColumns(reply, page.columns.first(width));
    std::vector<std::string> names;
    for (const QString& name : page.columns.first(width))
        names.push_back(common::ToUtf8(name));
    pugi::xml_node rows = reply.append_child(protocol::ROWS);
    for (const QList<FieldValue>& values : page.rows) {
        pugi::xml_node row = rows.append_child(protocol::ROW);
        std::vector<pugi::xml_node> fields;
        for (qsizetype i = 0; i < width; ++i)
            fields.push_back(addField(row, names[size_t(i)], values[i]));
        for (qsizetype l = 0; l < page.labelled.size(); ++l)
            addLabel(fields[size_t(page.columns.indexOf(page.labelled[l]))], values[width + l]);
    }
    AddNumber(reply, protocol::OFFSET, paging.offset);
    AddNumber(reply, protocol::LIMIT, paging.limit);
    AddNumber(reply, protocol::COUNT, page.rows.size());
    AddText(reply, protocol::MORE, BoolText(page.more));
    if (page.total)
        AddNumber(reply, protocol::TOTAL, *page.total);
}

void AddFields(pugi::xml_node parent, const QStringList& columns, const QList<FieldValue>& values) {
    for (qsizetype i = 0; i < values.size() && i < columns.size(); ++i)
        addField(parent, common::ToUtf8(columns[i]), values[i]);
}

void AddWriteResult(pugi::xml_node reply, const WriteResult& result) {
    AddNumber(reply, protocol::CHANGES, result.changes);
    pugi::xml_node lastId = reply.append_child(protocol::LAST_INSERT_ID);
    if (result.lastInsertId)
        lastId.text().set(static_cast<long long>(*result.lastInsertId));
    if (result.duplicate)
        AddText(reply, protocol::DUPLICATE, BoolText(true));
}

QByteArray Serialize(const pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return QByteArray::fromStdString(out.str());
}

QByteArray ErrorReply(const QString& code, const QString& message,
                      const std::function<void(pugi::xml_node)>& details) {
    pugi::xml_document reply;
    pugi::xml_node root = reply.append_child(protocol::ROOT);
    root.append_child(protocol::TYPE).text().set(protocol::ERROR);
    AddText(root, protocol::ERROR, code);
    AddText(root, protocol::MESSAGE, message);
    if (details)
        details(root);
    return Serialize(reply);
}

} // namespace dbsvr
