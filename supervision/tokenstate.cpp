#include "supervision/tokenstate.h"

#include "common/error.h"
#include "contract/namedmutex.h"
#include "diagnostics/trace.h"

namespace dataserver {

bool TokenState::held(const QString& name) {
    try {
        m_held = MutexExists(name);
        m_failing = false;
    } catch (const common::Error& e) {
        if (!m_failing)
            diagnostics::WriteTrace(QStringLiteral("Unable to check the token ") + name +
                                        QStringLiteral(", its last known state stands. Error ") +
                                        QString::number(e.number()) + QStringLiteral(". ") +
                                        e.description().trimmed(),
                                    diagnostics::Severity::Warning);
        m_failing = true;
    }
    return m_held;
}

} // namespace dataserver
