#include "dbsvr/replyxml.h"

#include "common/xml.h"
#include "common/xmlvalue.h"

#include <sstream>

namespace dbsvr {

namespace {

void addColumns(pugi::xml_node reply, const QStringList& names) {
    pugi::xml_node columns = reply.append_child("Columns");
    for (const QString& name : names)
        AddText(columns, "Column", name);
}

void markBlob(pugi::xml_node field, int64_t bytes) {
    field.append_attribute("type").set_value("blob");
    field.append_attribute("length").set_value(static_cast<long long>(bytes));
}

void addField(pugi::xml_node row, const std::string& name, const FieldValue& value) {
    pugi::xml_node field = row.append_child("Field");
    field.append_attribute("name").set_value(name.c_str());
    if (const auto* text = std::get_if<QString>(&value)) {
        common::SetValueText(field, *text);
    } else if (const auto* blob = std::get_if<QByteArray>(&value)) {
        markBlob(field, blob->size());
        field.text().set(blob->toBase64().constData());
    } else if (const auto* size = std::get_if<BlobSize>(&value)) {
        markBlob(field, size->bytes);
    } else {
        field.append_attribute("null").set_value("true");
    }
}

} // namespace

QString BoolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

void AddText(pugi::xml_node parent, const char* name, const QString& text) {
    common::SetValueText(parent.append_child(name), text);
}

void AddNumber(pugi::xml_node parent, const char* name, int64_t value) {
    parent.append_child(name).text().set(static_cast<long long>(value));
}

void AddPage(pugi::xml_node reply, const RowPage& page, const Paging& paging) {
    addColumns(reply, page.columns);
    std::vector<std::string> names;
    for (const QString& name : page.columns)
        names.push_back(common::ToUtf8(name));
    pugi::xml_node rows = reply.append_child("Rows");
    for (const QList<FieldValue>& values : page.rows) {
        pugi::xml_node row = rows.append_child("Row");
        for (qsizetype i = 0; i < values.size(); ++i)
            addField(row, names[size_t(i)], values[i]);
    }
    AddNumber(reply, "Offset", paging.offset);
    AddNumber(reply, "Limit", paging.limit);
    AddNumber(reply, "Count", page.rows.size());
    AddText(reply, "More", BoolText(page.more));
    if (page.total)
        AddNumber(reply, "Total", *page.total);
}

QByteArray Serialize(const pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return QByteArray::fromStdString(out.str());
}

QByteArray ErrorReply(const QString& code, const QString& message) {
    pugi::xml_document reply;
    pugi::xml_node root = reply.append_child("XML");
    root.append_child("Type").text().set("Error");
    AddText(root, "Error", code);
    AddText(root, "Message", message);
    return Serialize(reply);
}

} // namespace dbsvr
