#pragma once

#include <QString>
#include <pugixml.hpp>

// Texts between websvr and dbsvr travel as element text in their XML messages, exactly as
// stored: blanks at the ends and whitespace-only texts included. A text that XML 1.0 cannot
// carry as characters (NUL and the other control characters but tab, LF and CR, or U+FFFE and
// U+FFFF) travels as the base64 of its UTF-8 bytes, its element marked encoding="base64".

namespace common {

// The parse options for these messages: whitespace-only text of an element is kept (formatting
// between elements is not). Add pugi::parse_eol only where a raw CR may not stand for itself.
inline constexpr unsigned int MESSAGE_PARSE = pugi::parse_default | pugi::parse_ws_pcdata_single;

// Whether every character of text may stand as XML 1.0 character data.
bool XmlCanCarry(const QString& text);

// Sets node's text to value, encoding it as described above when it must be.
void SetValueText(pugi::xml_node node, const QString& value);

// The text of node as SetValueText set it: decoded when the element is marked.
QString ValueText(const pugi::xml_node& node);

} // namespace common
