#pragma once

#include <QString>
#include <chrono>
#include <mutex>
#include <sys/types.h>
#include <unordered_map>

namespace bridge {

// The names of local accounts by uid (common::AccountName), each kept for a while: a loopback
// client's account is named for every page it asks for, and the account database is read
// anew at every lookup. A renamed account shows under its new name within KEPT. Safe on any
// thread.
class AccountNames final {
public:
    static constexpr std::chrono::seconds KEPT{60};
    static constexpr size_t MAX_KEPT = 1024; // past it, all are forgotten at once

    QString nameOf(uid_t uid);

private:
    struct Kept {
        QString name;
        std::chrono::steady_clock::time_point until;
    };
    std::mutex m_lock;
    std::unordered_map<uid_t, Kept> m_kept;
};

} // namespace bridge
