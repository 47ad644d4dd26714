#pragma once

#include "server/clsconnection.h"

#include <QString>
#include <memory>
#include <vector>

namespace server {

// The slot table: clsConnection records in order, addressed by 1-based
// position or by an optional key. The server only ever adds slots.
class clsConnections final {
public:
    // Appends a new record (under sKey unless it is empty) and returns it.
    clsConnection& Add(bool Used, const QString& RemoteAddress, int ConnectionIndex,
                       const QString& sKey = {});
    // Raises common::Error 9 for a position that does not exist, 5 for an unknown key.
    clsConnection& Item(int position);
    const clsConnection& Item(int position) const;
    clsConnection& Item(const QString& key);
    int Count() const { return static_cast<int>(m_records.size()); }
    void Remove(int position);
    void Remove(const QString& key);

    // NewEnum: the records in order (for (const auto& slot : table) slot->Used ...).
    auto begin() const { return m_records.begin(); }
    auto end() const { return m_records.end(); }

private:
    int positionOfKey(const QString& key) const;

    std::vector<std::unique_ptr<clsConnection>> m_records; // stable addresses as the table grows
    std::vector<QString> m_keys;                           // "" for a record without key
};

} // namespace server
