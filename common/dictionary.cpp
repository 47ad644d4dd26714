#include "common/dictionary.h"

namespace common {

Dictionary::Dictionary(QString className, Keys keys)
    : m_className(std::move(className)), m_keys(keys) {}

Dictionary::Dictionary(const Dictionary& other)
    : Component(other), m_className(other.m_className), m_keys(other.m_keys) {
    const std::lock_guard lock(other.m_lock);
    m_entries = other.m_entries;
    m_index = other.m_index;
}

QString Dictionary::normalised(const QString& key) const {
    return m_keys == Keys::CaseInsensitive ? key.toLower() : key;
}

int Dictionary::count() const {
    const std::lock_guard lock(m_lock);
    return static_cast<int>(m_entries.size());
}

void Dictionary::reserve(int n) {
    const std::lock_guard lock(m_lock);
    m_entries.reserve(size_t(n));
    m_index.reserve(n);
}

bool Dictionary::Exists(const QString& key) const {
    const QString k = normalised(key);
    const std::lock_guard lock(m_lock);
    return m_index.contains(k);
}

Value Dictionary::item(const QString& key) const {
    const QString k = normalised(key);
    const std::lock_guard lock(m_lock);
    const auto it = m_index.constFind(k);
    return it == m_index.constEnd() ? Value() : m_entries[*it].second;
}

void Dictionary::setItem(const QString& key, const Value& value) {
    const QString k = normalised(key);
    const std::lock_guard lock(m_lock);
    const auto it = m_index.constFind(k);
    if (it != m_index.constEnd()) {
        m_entries[*it].second = value;
        return;
    }
    m_index.insert(k, m_entries.size());
    m_entries.emplace_back(key, value);
}

Value Dictionary::itemOrAdd(const QString& key, const Value& value) {
    const QString k = normalised(key);
    const std::lock_guard lock(m_lock);
    const auto it = m_index.constFind(k);
    if (it != m_index.constEnd())
        return m_entries[*it].second;
    m_index.insert(k, m_entries.size());
    m_entries.emplace_back(key, value);
    return value;
}

bool Dictionary::remove(const QString& key) {
    const QString k = normalised(key);
    const std::lock_guard lock(m_lock);
    const auto it = m_index.find(k);
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
    const std::lock_guard lock(m_lock);
    out.reserve(qsizetype(m_entries.size()));
    for (const auto& e : m_entries)
        out << e.first;
    return out;
}

} // namespace common
