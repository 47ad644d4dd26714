#pragma once

#include "common/value.h"
#include "webapp/rendering/html.h"

#include <QHash>
#include <QString>
#include <memory>
#include <mutex>
#include <pugixml.hpp>

namespace webapp {

class LabelCache;

// The texts a user sees, by label id, from the language document the web server hands over
// (its root's Label children). The rules are the web server's own: the first Label with the
// id wins, "\n" is a line break, "\\" a backslash, %1, %2... are filled from args (one value
// or an array), and a missing label reads "[Missing label: id]".
class Labels final {
public:
    // The texts of root's document, copied out of it.
    explicit Labels(pugi::xml_node root = {});
    // The same, copied once per document: the web server hands the same one to every request.
    Labels(pugi::xml_node root, LabelCache& cache);

    QString text(const QString& id, const common::Value& args = {}) const;
    // Whether the language has a label of that id.
    bool has(const QString& id) const;
    // The text as page text, arguments included.
    Html html(const QString& id, const common::Value& args = {}) const;
    // The language's code ("en") from the root's code attribute; "" when it has none.
    QString languageCode() const;

    // The texts of one document, copied out of it.
    struct Index;

private:
    std::shared_ptr<const Index> m_index;
};

// The texts of the last document handed over, kept for the next request.
class LabelCache final {
public:
    // Any thread may call.
    std::shared_ptr<const Labels::Index> indexOf(const pugi::xml_node& root);
    void clear();

private:
    std::mutex m_lock; // m_last
    std::shared_ptr<const Labels::Index> m_last;
};

} // namespace webapp
