#include "webapp/rendering/labels.h"

#include "common/text.h"
#include "common/xml.h"

#include <cstring>

namespace webapp {

namespace {

// What tells one handed-over document from another without reading all of it. The web
// server loads its language once per run and hands the same document to every component.
struct Fingerprint {
    const void* root = nullptr;
    const void* first = nullptr;
    const void* last = nullptr;
    qsizetype children = 0;
    QString code;

    explicit Fingerprint(const pugi::xml_node& r = {})
        : root(r.internal_object()), first(r.first_child().internal_object()),
          last(r.last_child().internal_object()),
          code(common::ToQString(r.attribute("code").value())) {
        for (pugi::xml_node n = r.first_child(); n; n = n.next_sibling())
            ++children;
    }
    bool operator==(const Fingerprint&) const = default;
};

} // namespace

struct Labels::Index {
    Fingerprint fingerprint;
    QHash<QString, QString> texts; // raw text by id; copies, so no node outlives its document
};

namespace {

std::shared_ptr<const Labels::Index> newIndex(const pugi::xml_node& root, Fingerprint fingerprint) {
    auto index = std::make_shared<Labels::Index>();
    index->fingerprint = std::move(fingerprint);
    for (const pugi::xml_node& label : root.children("Label")) {
        const QString id = common::ToQString(label.attribute("id").value());
        if (!index->texts.contains(id)) // the first of an id wins
            index->texts.insert(id, common::InnerText(label));
    }
    return index;
}

} // namespace

std::shared_ptr<const Labels::Index> LabelCache::indexOf(const pugi::xml_node& root) {
    Fingerprint fingerprint(root);
    const std::lock_guard lock(m_lock);
    if (!m_last || !(m_last->fingerprint == fingerprint))
        m_last = newIndex(root, std::move(fingerprint));
    return m_last;
}

void LabelCache::clear() {
    const std::lock_guard lock(m_lock);
    m_last.reset();
}

Labels::Labels(pugi::xml_node root) : m_index(newIndex(root, Fingerprint(root))) {}

Labels::Labels(pugi::xml_node root, LabelCache& cache)
    : m_index(root ? cache.indexOf(root) : std::make_shared<const Index>()) {}

QString Labels::text(const QString& id, const common::Value& args) const {
    // A lookup rather than XPath: an id from a request (a NUL, say) cannot break it.
    const auto found = m_index->texts.constFind(id);
    if (found == m_index->texts.constEnd())
        return QStringLiteral("[Missing label: ") + id + QLatin1Char(']');
    return common::LabelText(*found, args);
}

bool Labels::has(const QString& id) const {
    return m_index->texts.contains(id);
}

Html Labels::html(const QString& id, const common::Value& args) const {
    return Html::text(text(id, args));
}

QString Labels::languageCode() const {
    return m_index->fingerprint.code;
}

} // namespace webapp
