#include "webapp/labels.h"

#include "common/text.h"
#include "common/xml.h"
#include "webapp/html.h"

namespace webapp {

namespace {

// Read left to right, so that "\\n" stays a backslash followed by the letter n.
QString unescape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (text.at(i) == QLatin1Char('\\') && next == QLatin1Char('\\')) {
            out += QLatin1Char('\\');
            ++i;
        } else if (text.at(i) == QLatin1Char('\\') && next == QLatin1Char('n')) {
            out += QStringLiteral("\r\n");
            ++i;
        } else {
            out += text.at(i);
        }
    }
    return out;
}

QString withArguments(QString text, const common::Value& args) {
    if (args.isEmpty())
        return text;
    const common::Value::Array list = args.isArray() ? args.array() : common::Value::Array{args};
    for (size_t i = 0; i < list.size(); ++i)
        text.replace(QLatin1Char('%') + QString::number(i + 1), common::ToText(list[i]));
    return text;
}

} // namespace

QString Labels::text(const QString& id, const common::Value& args) const {
    // A plain scan rather than XPath: an id from a request (a NUL, say) cannot break it.
    pugi::xml_node label;
    const std::string wanted = common::ToUtf8(id);
    if (!id.contains(QChar(0)))
        for (const pugi::xml_node& candidate : m_root.children("Label"))
            if (wanted == candidate.attribute("id").value()) {
                label = candidate;
                break;
            }
    if (!label)
        return QStringLiteral("[Missing label: ") + id + QLatin1Char(']');
    return withArguments(unescape(common::NodeText(label, QStringLiteral("."))), args);
}

QString Labels::html(const QString& id, const common::Value& args) const {
    return HtmlEscape(text(id, args));
}

QString Labels::languageCode() const {
    return common::ToQString(m_root.attribute("code").value());
}

} // namespace webapp
