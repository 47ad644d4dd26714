#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <semaphore>
#include <thread>

namespace webapp {

// Bounds the passwords hashed at once to half the processor's cores (at least one), so that
// sign-ins, however many come, leave the rest to pages (the hashes themselves run below the
// pages' priority, LowPriorityThreads). A sign-in waits at most WAIT for its
// turn, and only while no more than slots() others wait: a waiting sign-in holds one of the
// workers that make pages, so beyond that it is answered "busy" at once. Any thread may enter.
class SignInGate final {
public:
    static constexpr std::chrono::seconds WAIT{3};

    class Slot final {
    public:
        explicit Slot(SignInGate& gate) : m_gate(gate), m_held(gate.enter()) {}
        ~Slot() {
            if (m_held)
                m_gate.m_free.release();
        }
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;
        explicit operator bool() const { return m_held; }

    private:
        SignInGate& m_gate;
        bool m_held;
    };

    static int slots() { return std::max(1, int(std::thread::hardware_concurrency() / 2)); }

private:
    bool enter() {
        if (m_free.try_acquire())
            return true;
        if (m_waiting.fetch_add(1) >= slots()) {
            --m_waiting;
            return false;
        }
        const bool entered = m_free.try_acquire_for(WAIT);
        --m_waiting;
        return entered;
    }

    std::counting_semaphore<256> m_free{std::min(slots(), 256)};
    std::atomic<int> m_waiting{0};
};

} // namespace webapp
