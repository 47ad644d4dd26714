#pragma once

#include <QHash>
#include <QString>
#include <chrono>
#include <mutex>

namespace webapp {

// Slows failed sign-ins down, per account name and per client address: the first
// FREE_FAILURES failures cost nothing; after that each further attempt must wait 1 s, then
// 2 s, 4 s and so on, up to ACCOUNT_CAP for the account and ADDRESS_CAP for the address.
// Attempts made while they must wait are refused without a look at the password and do not
// count, so a flood cannot push the wait further; a success clears both. The account's cap is
// short, so a guesser elsewhere keeps its owner out for seconds at most; the address's is
// longer, as one address guessing many accounts is the attack. Failures are forgotten
// FORGET_AFTER after the last. An unknown account is counted as any other, so that the answer
// never tells which accounts exist. Any thread may call; one lock.
class SignInThrottle final {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int FREE_FAILURES = 5;
    static constexpr std::chrono::seconds ACCOUNT_CAP{15};
    static constexpr std::chrono::seconds ADDRESS_CAP{60};
    static constexpr std::chrono::minutes FORGET_AFTER{15};
    static constexpr qsizetype MAX_KEPT = 100000;

    // Seconds before account may be tried from address again; 0: now.
    int waitSeconds(const QString& account, const QString& address,
                    Clock::time_point now = Clock::now());
    void failed(const QString& account, const QString& address,
                Clock::time_point now = Clock::now());
    void succeeded(const QString& account, const QString& address);
    void clear();

private:
    struct Failures {
        int count = 0;
        Clock::time_point last;
    };
    Clock::duration waitFor(const QString& key, std::chrono::seconds cap, Clock::time_point now);
    void count(const QString& key, Clock::time_point now);
    void forgetOld(Clock::time_point now); // under m_lock

    std::mutex m_lock; // m_failures
    QHash<QString, Failures> m_failures;
};

} // namespace webapp
