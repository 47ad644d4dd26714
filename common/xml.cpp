#include "common/xml.h"

#include "common/codepage.h"
#include "common/error.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <sstream>

namespace common {

QString ToQString(const pugi::char_t* s) {
    return QString::fromUtf8(s);
}

std::string ToUtf8(const QString& s) {
    return s.toStdString();
}

namespace {
// Whether the XML declaration at the start of bytes names Windows-1252 or Latin-1, which
// pugixml would read as UTF-8 (or as true Latin-1, losing the characters of 0x80 to 0x9F).
bool declaresCodePage(const QByteArray& bytes) {
    static const QRegularExpression declaration(
        QStringLiteral("^<\\?xml[^>]*\\sencoding\\s*=\\s*[\"']([A-Za-z0-9._-]+)[\"']"));
    const QString encoding =
        declaration.match(QString::fromLatin1(bytes.left(200))).captured(1).toLower();
    return encoding == QLatin1String("windows-1252") || encoding == QLatin1String("cp1252") ||
           encoding == QLatin1String("iso-8859-1") || encoding == QLatin1String("latin1");
}
} // namespace

bool LoadXmlFile(pugi::xml_document& doc, const QString& path) {
    doc.reset();
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        return false;
    return LoadXmlBytes(doc, f.readAll());
}

bool LoadXmlBytes(pugi::xml_document& doc, QByteArray bytes) {
    doc.reset();
    if (bytes.isEmpty())
        return false;
    // Such a document is read as Windows-1252 (a superset of Latin-1's printable part).
    const bool codePage = declaresCodePage(bytes);
    if (codePage)
        bytes = FromCodePage(bytes).toUtf8();
    const auto result =
        doc.load_buffer(bytes.constData(), static_cast<size_t>(bytes.size()), pugi::parse_default,
                        codePage ? pugi::encoding_utf8 : pugi::encoding_auto);
    if (!result || !doc.document_element()) {
        doc.reset();
        return false;
    }
    return true;
}

bool LoadXmlString(pugi::xml_document& doc, const QString& text) {
    doc.reset();
    const std::string utf8 = ToUtf8(text);
    const auto result =
        doc.load_buffer(utf8.data(), utf8.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!result || !doc.document_element()) {
        doc.reset();
        return false;
    }
    return true;
}

QString XmlText(const pugi::xml_node& node) {
    std::ostringstream out;
    node.print(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return QString::fromStdString(out.str());
}

void SaveXmlFile(const pugi::xml_document& doc, const QString& path) {
    QSaveFile f(path);
    const QByteArray bytes = XmlText(doc).toUtf8();
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        throw Error(ERR_PROGRAM,
                    QStringLiteral("Unable to save the XML file ") + path + ". " + f.errorString());
}

namespace {
// The concatenated text of a node and its descendants, as a DOM's text gives it.
void collectText(const pugi::xml_node& node, QString& out) {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
        out += ToQString(node.value());
        return;
    }
    for (const auto& child : node.children())
        collectText(child, out);
}
} // namespace

QString InnerText(const pugi::xml_node& node) {
    QString out;
    if (node)
        collectText(node, out);
    return out;
}

QString NodeText(const pugi::xml_node& node, const QString& xpath) {
    if (!node)
        return {};
    try {
        const pugi::xpath_node found = node.select_node(ToUtf8(xpath).c_str());
        if (found.attribute())
            return ToQString(found.attribute().value());
        return InnerText(found.node());
    } catch (const pugi::xpath_exception& e) {
        throw Error(ERR_PROGRAM,
                    QStringLiteral("XPath error in ") + xpath + ". " + QString::fromUtf8(e.what()));
    }
}

} // namespace common
