#include "bridge/runningcheck.h"

namespace bridge {

bool RunningCheck::operator()() {
    if (m_seenRunning.isValid() && m_seenRunning.elapsed() < REUSE_MS)
        return true;
    if (m_isRunning()) {
        m_seenRunning.start();
        return true;
    }
    m_seenRunning.invalidate();
    return false;
}

} // namespace bridge
