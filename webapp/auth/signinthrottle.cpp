#include "webapp/auth/signinthrottle.h"

#include <algorithm>

namespace webapp {

namespace {
QString accountKey(const QString& account) {
    return QStringLiteral("u:") + account.trimmed().toCaseFolded();
}
QString addressKey(const QString& address) {
    return QStringLiteral("a:") + address;
}
} // namespace

SignInThrottle::Clock::duration
SignInThrottle::waitFor(const QString& key, std::chrono::seconds cap, Clock::time_point now) {
    const auto it = m_failures.constFind(key);
    if (it == m_failures.cend() || it->count < FREE_FAILURES)
        return {};
    const int doublings = std::min(it->count - FREE_FAILURES, 20);
    const auto delay = std::min<Clock::duration>(std::chrono::seconds(1LL << doublings), cap);
    return std::max<Clock::duration>(it->last + delay - now, {});
}

int SignInThrottle::waitSeconds(const QString& account, const QString& address,
                                Clock::time_point now) {
    std::lock_guard lock(m_lock);
    const Clock::duration wait = std::max(waitFor(accountKey(account), ACCOUNT_CAP, now),
                                          waitFor(addressKey(address), ADDRESS_CAP, now));
    if (wait <= Clock::duration::zero())
        return 0;
    return int(std::chrono::ceil<std::chrono::seconds>(wait).count());
}

void SignInThrottle::count(const QString& key, Clock::time_point now) {
    Failures& f = m_failures[key];
    if (f.count > 0 && now - f.last > FORGET_AFTER)
        f.count = 0;
    ++f.count;
    f.last = now;
}

void SignInThrottle::failed(const QString& account, const QString& address, Clock::time_point now) {
    std::lock_guard lock(m_lock);
    if (m_failures.size() >= MAX_KEPT)
        forgetOld(now);
    count(accountKey(account), now);
    count(addressKey(address), now);
}

void SignInThrottle::succeeded(const QString& account, const QString& address) {
    std::lock_guard lock(m_lock);
    m_failures.remove(accountKey(account));
    m_failures.remove(addressKey(address));
}

void SignInThrottle::clear() {
    std::lock_guard lock(m_lock);
    m_failures.clear();
}

void SignInThrottle::forgetOld(Clock::time_point now) {
    m_failures.removeIf([&](const auto& entry) { return now - entry.value().last > FORGET_AFTER; });
    // Still full of fresh failures: the oldest count least.
    if (m_failures.size() >= MAX_KEPT)
        m_failures.clear();
}

} // namespace webapp
