#pragma once

#include "server/clsconnection.h"

#include <memory>
#include <vector>

namespace server {

// The slot table: clsConnection records addressed by 1-based position. The
// server only ever adds slots.
class clsConnections final {
public:
    // Appends a free slot on socket and returns it.
    clsConnection& Add(Socket& socket);
    // position: 1..Count().
    clsConnection& Item(int position);
    const clsConnection& Item(int position) const;
    int Count() const { return static_cast<int>(m_records.size()); }

    // NewEnum: the records in order (for (const auto& slot : table) slot->Used ...).
    auto begin() const { return m_records.begin(); }
    auto end() const { return m_records.end(); }

private:
    std::vector<std::unique_ptr<clsConnection>> m_records; // stable addresses as the table grows
};

} // namespace server
