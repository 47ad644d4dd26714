#pragma once

#include <QString>

namespace dataserver {

// A token check that survives its own failure. When the test itself fails (no descriptor
// left under a connection flood, say), the last known answer stands and the failure is
// traced once, until a check succeeds again: a failed check is never taken for a holder
// that has gone.
class TokenState final {
public:
    explicit TokenState(bool held) : m_held(held) {}

    // Whether name is held, as far as can be told now. Never raises.
    bool held(const QString& name);
    // A new name is being watched: its last known state is held.
    void reset(bool held) { m_held = held; }

private:
    bool m_held;
    bool m_failing = false;
};

} // namespace dataserver
