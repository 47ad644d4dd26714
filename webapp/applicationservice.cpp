#include "webapp/applicationservice.h"

#include "common/objectfactory.h"
#include "webapp/webapplication.h"

namespace webapp {

void ApplicationService::configure(const bridge::ApplicationSettings& settings) {
    const std::lock_guard lock(m_settingsLock);
    m_settings = settings;
}

bridge::ApplicationSettings ApplicationService::settings() const {
    const std::lock_guard lock(m_settingsLock);
    return m_settings;
}

void ApplicationService::reset() {
    // Cleared in place: pages running now still hold them.
    m_replies.clear();
    m_sweep.clear();
    m_silence.clear();
    m_labels.clear();
    m_files.clear();
}

void RegisterWebApplication(const std::shared_ptr<ApplicationService>& service) {
    common::ObjectFactory::instance().registerClass(
        QString::fromLatin1(bridge::WEB_APPLICATION_CLASS),
        [weak = std::weak_ptr<ApplicationService>(service)]() -> common::ObjectPtr {
            const std::shared_ptr<ApplicationService> service = weak.lock();
            return service ? std::make_shared<WebApp>(service) : nullptr;
        });
}

} // namespace webapp
