#pragma once

#include "common/component.h"
#include "common/value.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

namespace common {

// The string-keyed, ordered collection of dynamic values, shared by reference
// (DictionaryPtr). Reading a missing key gives the empty value. Add of a key
// that is already there replaces its value: the last one wins.
class Dictionary final : public Component {
public:
    enum class Keys { CaseSensitive, CaseInsensitive };

    explicit Dictionary(QString className, Keys keys = Keys::CaseSensitive);

    QString className() const override { return m_className; }

    void Add(const QString& key, const Value& value) { setItem(key, value); }
    bool Exists(const QString& key) const;
    Value item(const QString& key) const;
    void setItem(const QString& key, const Value& value);
    bool remove(const QString& key);
    int count() const { return static_cast<int>(m_entries.size()); }
    // Room for n entries, so that filling a Dictionary of known size does not grow it step by step.
    void reserve(int n);
    QStringList keys() const;

private:
    QString normalised(const QString& key) const;

    QString m_className;
    Keys m_keys = Keys::CaseSensitive;
    std::vector<std::pair<QString, Value>> m_entries; // insertion order
    QHash<QString, size_t> m_index;                   // normalised key -> position
};

} // namespace common
