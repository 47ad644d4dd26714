#pragma once

#include "common/insidefiles.h"
#include "webapp/data/dataserversilence.h"
#include "webapp/data/replycache.h"
#include "webapp/data/replysweep.h"
#include "webapp/rendering/labels.h"
#include "webappapi/webapplicationservice.h"

#include <memory>
#include <mutex>

namespace webapp {

// What the web application keeps for a whole run, made once and owned by the web server's
// core: its configuration, the data server's replies kept for reuse, the texts of the
// language document, the application's page and form files, and the sweep of late replies.
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

private:
    mutable std::mutex m_settingsLock; // m_settings
    bridge::ApplicationSettings m_settings;
    ReplyCache m_replies;
    ReplySweep m_sweep;
    DataServerSilence m_silence;
    LabelCache m_labels;
    common::InsideFiles m_files;
};

// Registers the web application component (bridge::WEB_APPLICATION_CLASS) with the object
// factory: each one made works with service, for as long as service lives. After that the
// class makes nothing, and the web server's request for a component fails as for a missing
// class.
void RegisterWebApplication(const std::shared_ptr<ApplicationService>& service);

} // namespace webapp
