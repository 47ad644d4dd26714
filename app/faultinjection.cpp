#include "faultinjection.h"

#include "common/dictionary.h"
#include "common/error.h"
#include "common/objectfactory.h"
#include "common/text.h"
#include "webapp/webapplication.h"

namespace {

class FaultInjectingApplication final : public bridge::WebApplication {
public:
    explicit FaultInjectingApplication(std::shared_ptr<webapp::ApplicationService> service)
        : m_application(std::move(service)) {}
    QString className() const override { return m_application.className(); }
    void SetTranslation(pugi::xml_node root) override { m_application.SetTranslation(root); }
    common::Value ProcessRequest(common::DictionaryPtr& context) override {
        const common::Value request = context->item(QStringLiteral("Request"));
        const QString fault =
            request.isDictionary()
                ? common::ToText(request.dictionary()->item(QStringLiteral("qvfault")))
                : QString();
        if (fault == QLatin1String("error"))
            throw common::Error(5, QStringLiteral("Injected fault"), className());
        if (fault == QLatin1String("redirect")) {
            context->setItem(QStringLiteral("Redirect"),
                             QStringLiteral("/?page=home\r\nSet-Cookie: injected=1"));
            return QStringLiteral("<p>redirected</p>");
        }
        return m_application.ProcessRequest(context);
    }

private:
    webapp::WebApp m_application;
};

} // namespace

void RegisterFaultInjection(const std::shared_ptr<webapp::ApplicationService>& service) {
    if (qEnvironmentVariable("QV_FAULT_INJECTION") != QLatin1String("webapp"))
        return;
    common::ObjectFactory::instance().registerClass(
        QString::fromLatin1(bridge::WEB_APPLICATION_CLASS),
        [weak = std::weak_ptr<webapp::ApplicationService>(service)]() -> common::ObjectPtr {
            const auto service = weak.lock();
            return service ? std::make_shared<FaultInjectingApplication>(service) : nullptr;
        });
}
