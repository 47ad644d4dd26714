#pragma once

#include <QString>
#include <pugixml.hpp>

namespace common {

// Loads an XML file into doc (UTF-8, or UTF-16/32 with a byte-order mark; a document
// that declares windows-1252 or iso-8859-1 is read as Windows-1252).
// A missing, empty or malformed file leaves doc empty and returns false.
bool LoadXmlFile(pugi::xml_document& doc, const QString& path);
// The same for the bytes of a file already read.
bool LoadXmlBytes(pugi::xml_document& doc, QByteArray bytes);
bool LoadXmlString(pugi::xml_document& doc, const QString& text);
// The document as one line of XML text, without declaration or indentation.
QString XmlText(const pugi::xml_node& node);
// Saves as UTF-8 without declaration; raises common::Error when it cannot write.
void SaveXmlFile(const pugi::xml_document& doc, const QString& path);

// Text of the first node the XPath selects from node; "" for a null node or
// no match. A malformed expression raises common::Error.
QString NodeText(const pugi::xml_node& node, const QString& xpath);
// The concatenated text of node and its descendants, as a DOM's text gives it.
QString InnerText(const pugi::xml_node& node);

QString ToQString(const pugi::char_t* s);
std::string ToUtf8(const QString& s);

} // namespace common
