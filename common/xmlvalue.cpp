#include "common/xmlvalue.h"

#include "common/xml.h"

#include <QByteArray>

namespace common {

namespace {
constexpr char ENCODING[] = "encoding";
constexpr char BASE64[] = "base64";

bool isXmlChar(char16_t c) {
    // Surrogates come in pairs from valid text and stand for characters XML allows.
    return c == u'\t' || c == u'\n' || c == u'\r' || (c >= 0x20 && c != 0xFFFE && c != 0xFFFF);
}
} // namespace

bool XmlCanCarry(const QString& text) {
    for (const QChar c : text)
        if (!isXmlChar(c.unicode()))
            return false;
    return true;
}

void SetValueText(pugi::xml_node node, const QString& value) {
    node.remove_attribute(ENCODING);
    if (XmlCanCarry(value)) {
        node.text().set(ToUtf8(value).c_str());
        return;
    }
    node.append_attribute(ENCODING).set_value(BASE64);
    node.text().set(value.toUtf8().toBase64().constData());
}

QString ValueText(const pugi::xml_node& node) {
    const char* text = node.child_value();
    if (QLatin1String(node.attribute(ENCODING).value()) != QLatin1String(BASE64))
        return ToQString(text);
    return QString::fromUtf8(QByteArray::fromBase64(QByteArray(text)));
}

} // namespace common
