#include "server/clsconnections.h"

#include "common/error.h"

namespace server {

namespace {
constexpr int ERR_SUBSCRIPT = 9;
constexpr int ERR_ARGUMENT = 5;
constexpr int ERR_DUPLICATE_KEY = 457;
} // namespace

clsConnection& clsConnections::Add(bool Used, const QString& RemoteAddress, int ConnectionIndex,
                                   const QString& sKey) {
    if (!sKey.isEmpty() && positionOfKey(sKey) > 0)
        throw common::Error(ERR_DUPLICATE_KEY,
                            QStringLiteral("This key is already associated with an element of "
                                           "this collection"));
    auto record = std::make_unique<clsConnection>();
    record->Used = Used;
    record->RemoteAddress = RemoteAddress;
    record->ConnectionIndex = ConnectionIndex;
    m_records.push_back(std::move(record));
    m_keys.push_back(sKey);
    return *m_records.back();
}

clsConnection& clsConnections::Item(int position) {
    return const_cast<clsConnection&>(std::as_const(*this).Item(position));
}

const clsConnection& clsConnections::Item(int position) const {
    if (position < 1 || position > Count())
        throw common::Error(ERR_SUBSCRIPT, QStringLiteral("Subscript out of range"));
    return *m_records[position - 1];
}

clsConnection& clsConnections::Item(const QString& key) {
    const int position = positionOfKey(key);
    if (position == 0)
        throw common::Error(ERR_ARGUMENT, QStringLiteral("Invalid procedure call or argument"));
    return Item(position);
}

void clsConnections::Remove(int position) {
    Item(position);
    m_records.erase(m_records.begin() + (position - 1));
    m_keys.erase(m_keys.begin() + (position - 1));
}

void clsConnections::Remove(const QString& key) {
    Item(key);
    Remove(positionOfKey(key));
}

int clsConnections::positionOfKey(const QString& key) const {
    if (key.isEmpty())
        return 0;
    for (size_t i = 0; i < m_keys.size(); ++i)
        if (m_keys[i] == key)
            return static_cast<int>(i) + 1;
    return 0;
}

} // namespace server
