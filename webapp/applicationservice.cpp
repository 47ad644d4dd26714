#include "webapp/applicationservice.h"

#include "common/objectfactory.h"
#include "webapp/webapplication.h"

namespace webapp {

void ApplicationService::reset() {
    m_replies = ReplyCache();
    m_sweep = ReplySweep();
    m_labels = LabelCache();
    m_files = common::InsideFiles();
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
