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
    m_throttle.clear();
    const std::lock_guard lock(m_rulesLock);
    m_rules.reset();
}

std::shared_ptr<const ApplicationService::Rules> ApplicationService::accessRules() {
    static const QString FILE_NAME = QStringLiteral("access.xml");
    const QString folder = settings().applicationFolder;
    std::optional<QByteArray> bytes = m_files.read(folder, FILE_NAME);
    const std::lock_guard lock(m_rulesLock);
    if (m_rules && bytes == m_rulesBytes)
        return m_rules;
    auto made = std::make_shared<Rules>();
    // Without the file the defaults hold: tables and queries open, forms for editors.
    if (bytes)
        made->rules = AccessRules::parse(*bytes, &made->problems);
    m_rulesBytes = std::move(bytes);
    m_rules = std::move(made);
    return m_rules;
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
