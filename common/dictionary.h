#pragma once

#include "common/component.h"
#include "common/value.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <mutex>
#include <optional>
#include <vector>

namespace common {

// The string-keyed, ordered collection of dynamic values, shared by reference
// (DictionaryPtr). Reading a missing key gives the empty value. Add of a key
// that is already there replaces its value: the last one wins.
// Any thread may call any member: one Dictionary (the program-wide "Application"
// one) is shared by the pages running at once, so each call is whole under the
// Dictionary's own lock. A read followed by a write is two calls.
class Dictionary final : public Component {
public:
    enum class Keys { CaseSensitive, CaseInsensitive };

    explicit Dictionary(QString className, Keys keys = Keys::CaseSensitive);
    // A copy of the entries as they stand; the copy has a lock of its own.
    Dictionary(const Dictionary& other);
    Dictionary& operator=(const Dictionary&) = delete;

    QString className() const override { return m_className; }

    void Add(const QString& key, const Value& value) { setItem(key, value); }
    bool Exists(const QString& key) const;
    Value item(const QString& key) const;
    void setItem(const QString& key, const Value& value);
    // The value of key; when there is none, value is added and given back. One call, so two
    // threads asking at once get the same value.
    Value itemOrAdd(const QString& key, const Value& value);
    bool remove(const QString& key);
    int count() const;
    // Room for n entries, so that filling a Dictionary of known size does not grow it step by step.
    void reserve(int n);
    QStringList keys() const;

private:
    // Up to this many entries a scan finds a key faster than hashing it: most Dictionaries
    // (a request's, a context's) are that small, and are made for every page.
    static constexpr size_t INDEX_FROM = 16;

    QString normalised(const QString& key) const;
    bool sameKey(const QString& a, const QString& b) const;
    // Where key is; the lock is held.
    std::optional<size_t> find(const QString& key) const;
    // Adds an entry of a new key; the lock is held.
    void append(const QString& key, const Value& value);

    const QString m_className;
    const Keys m_keys = Keys::CaseSensitive;
    mutable std::mutex m_lock;                        // guards the entries and their index
    std::vector<std::pair<QString, Value>> m_entries; // insertion order
    QHash<QString, size_t> m_index; // normalised key -> position; empty while small
};

} // namespace common
