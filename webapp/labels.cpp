#include "webapp/labels.h"

#include "common/text.h"
#include "common/xml.h"
#include "webapp/html.h"

namespace webapp {

Labels::Labels(pugi::xml_node root) : m_root(root) {
    // Pages look up dozens of labels: one pass over the document instead of one per lookup.
    for (const pugi::xml_node& label : m_root.children("Label"))
        m_byId.emplace(label.attribute("id").value(), label); // the first of an id wins
}

QString Labels::text(const QString& id, const common::Value& args) const {
    // A lookup rather than XPath: an id from a request (a NUL, say) cannot break it.
    const auto found = m_byId.find(common::ToUtf8(id));
    if (found == m_byId.end())
        return QStringLiteral("[Missing label: ") + id + QLatin1Char(']');
    return common::LabelText(common::InnerText(found->second), args);
}

QString Labels::html(const QString& id, const common::Value& args) const {
    return HtmlEscape(text(id, args));
}

QString Labels::languageCode() const {
    return common::ToQString(m_root.attribute("code").value());
}

} // namespace webapp
