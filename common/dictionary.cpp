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

bool Dictionary::sameKey(const QString& a, const QString& b) const {
    return a.size() == b.size() &&
           a.compare(b, m_keys == Keys::CaseInsensitive ? Qt::CaseInsensitive
                                                        : Qt::CaseSensitive) == 0;
}

std::optional<size_t> Dictionary::find(const QString& key) const {
    if (m_index.isEmpty()) {
        for (size_t i = 0; i < m_entries.size(); ++i)
            if (sameKey(m_entries[i].first, key))
                return i;
        return std::nullopt;
    }
    const auto it = m_index.constFind(normalised(key));
    return it == m_index.constEnd() ? std::nullopt : std::optional<size_t>(*it);
}

void Dictionary::append(const QString& key, const Value& value) {
    m_entries.emplace_back(key, value);
    if (!m_index.isEmpty())
        m_index.insert(normalised(key), m_entries.size() - 1);
    else if (m_entries.size() > INDEX_FROM)
        for (size_t i = 0; i < m_entries.size(); ++i)
            m_index.insert(normalised(m_entries[i].first), i);
}

int Dictionary::count() const {
    const std::lock_guard lock(m_lock);
    return static_cast<int>(m_entries.size());
}

void Dictionary::reserve(int n) {
    const std::lock_guard lock(m_lock);
    m_entries.reserve(size_t(n));
    if (size_t(n) > INDEX_FROM)
        m_index.reserve(n);
}

bool Dictionary::Exists(const QString& key) const {
    const std::lock_guard lock(m_lock);
    return find(key).has_value();
}

Value Dictionary::item(const QString& key) const {
    const std::lock_guard lock(m_lock);
    const std::optional<size_t> at = find(key);
    return at ? m_entries[*at].second : Value();
}

void Dictionary::setItem(const QString& key, const Value& value) {
    const std::lock_guard lock(m_lock);
    if (const std::optional<size_t> at = find(key))
        m_entries[*at].second = value;
    else
        append(key, value);
}

Value Dictionary::itemOrAdd(const QString& key, const Value& value) {
    const std::lock_guard lock(m_lock);
    if (const std::optional<size_t> at = find(key))
        return m_entries[*at].second;
    append(key, value);
    return value;
}

bool Dictionary::remove(const QString& key) {
    const std::lock_guard lock(m_lock);
    const std::optional<size_t> at = find(key);
    if (!at)
        return false;
    const size_t pos = *at;
    if (!m_index.isEmpty()) {
        m_index.remove(normalised(m_entries[pos].first));
        for (auto& p : m_index)
            if (p > pos)
                --p;
    }
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(pos));
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
