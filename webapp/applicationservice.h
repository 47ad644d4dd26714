#pragma once

#include "common/insidefiles.h"
#include "webapp/auth/accessrules.h"
#include "webapp/auth/failedsigninaudit.h"
#include "webapp/auth/lowprioritythreads.h"
#include "webapp/auth/signingate.h"
#include "webapp/auth/signinthrottle.h"
#include "webapp/data/dataserversilence.h"
#include "webapp/data/replycache.h"
#include "webapp/data/replysweep.h"
#include "webapp/rendering/labels.h"
#include "webappapi/webapplicationservice.h"

#include <QStringList>
#include <memory>
#include <mutex>
#include <optional>

namespace webapp {

// What the web application keeps for a whole run, made once and owned by the web server's
// core: its configuration, the data server's replies kept for reuse, the texts of the
// language document, the application's page and form files and its access rules, the sweep
// of late replies, and what bounds sign-ins (their back-off and the hashing gate).
// The component made for each request is a thin handle on it (RegisterWebApplication).
// configure and reset belong to the event loop's thread; everything else may be called by
// the pages running at once on the worker threads: each part keeps its own lock.
class ApplicationService final : public bridge::WebApplicationService {
public:
    void configure(const bridge::ApplicationSettings& settings) override;
    void reset() override;

    bridge::ApplicationSettings settings() const;
    ReplyCache& replies() { return m_replies; }
    ReplySweep& sweep() { return m_sweep; }
    DataServerSilence& silence() { return m_silence; }
    LabelCache& labels() { return m_labels; }
    common::InsideFiles& files() { return m_files; }
    SignInThrottle& signInThrottle() { return m_throttle; }
    SignInGate& signInGate() { return m_gate; }
    // Where passwords are hashed and checked: below the pages' priority.
    LowPriorityThreads& hashing() { return m_hashing; }
    FailedSignInAudit& failedSignIns() { return m_failedSignIns; }
    // The rules of the application folder's "access.xml" as the file stands now (read again
    // when it changes), with the problems found in it.
    struct Rules {
        AccessRules rules;
        QStringList problems;
    };
    std::shared_ptr<const Rules> accessRules();

private:
    mutable std::mutex m_settingsLock; // m_settings
    bridge::ApplicationSettings m_settings;
    ReplyCache m_replies;
    ReplySweep m_sweep;
    DataServerSilence m_silence;
    LabelCache m_labels;
    common::InsideFiles m_files;
    SignInThrottle m_throttle;
    SignInGate m_gate;
    LowPriorityThreads m_hashing{SignInGate::slots()};
    FailedSignInAudit m_failedSignIns;
    std::mutex m_rulesLock; // m_rulesBytes, m_rules
    std::optional<QByteArray> m_rulesBytes;
    std::shared_ptr<const Rules> m_rules;
};

// Registers the web application component (bridge::WEB_APPLICATION_CLASS) with the object
// factory: each one made works with service, for as long as service lives. After that the
// class makes nothing, and the web server's request for a component fails as for a missing
// class.
void RegisterWebApplication(const std::shared_ptr<ApplicationService>& service);

} // namespace webapp
