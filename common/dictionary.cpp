#include "common/dictionary.h"

namespace common {

Dictionary::Dictionary(QString className, Keys keys)
    : m_className(std::move(className)), m_keys(keys) {}

QString Dictionary::normalised(const QString& key) const {
    return m_keys == Keys::CaseInsensitive ? key.toLower() : key;
}

void Dictionary::reserve(int n) {
    m_entries.reserve(size_t(n));
    m_index.reserve(n);
}

bool Dictionary::Exists(const QString& key) const {
    return m_index.contains(normalised(key));
}

Value Dictionary::item(const QString& key) const {
    const auto it = m_index.constFind(normalised(key));
    return it == m_index.constEnd() ? Value() : m_entries[*it].second;
}

void Dictionary::setItem(const QString& key, const Value& value) {
    const QString k = normalised(key);
    const auto it = m_index.constFind(k);
    if (it != m_index.constEnd()) {
        m_entries[*it].second = value;
        return;
    }
    m_index.insert(k, m_entries.size());
    m_entries.emplace_back(key, value);
}

bool Dictionary::remove(const QString& key) {
    const auto it = m_index.find(normalised(key));
    if (it == m_index.end())
        return false;
    const size_t pos = *it;
    m_index.erase(it);
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(pos));
    for (auto& p : m_index)
        if (p > pos)
            --p;
    return true;
}

QStringList Dictionary::keys() const {
    QStringList out;
    out.reserve(count());
    for (const auto& e : m_entries)
        out << e.first;
    return out;
}

} // namespace common
