#include "webapp/labels.h"

#include "common/text.h"
#include "common/xml.h"
#include "webapp/html.h"

namespace webapp {

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
    return common::LabelText(common::NodeText(label, QStringLiteral(".")), args);
}

QString Labels::html(const QString& id, const common::Value& args) const {
    return HtmlEscape(text(id, args));
}

QString Labels::languageCode() const {
    return common::ToQString(m_root.attribute("code").value());
}

} // namespace webapp
