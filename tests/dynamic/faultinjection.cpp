#include "faultinjection.h"

#include "common/dictionary.h"
#include "common/error.h"
#include "common/objectfactory.h"
#include "common/text.h"
#include "webapp/webapplication.h"
#include "webappapi/contextkeys.h"
#include "webappapi/webapplication.h"

namespace {

class FaultInjectingApplication final : public bridge::WebApplication {
public:
    explicit FaultInjectingApplication(std::shared_ptr<webapp::ApplicationService> service)
        : m_application(std::move(service)) {}
    QString className() const override { return m_application.className(); }
    void SetTranslation(pugi::xml_node root) override { m_application.SetTranslation(root); }
    common::Value ProcessRequest(common::DictionaryPtr& context) override {
        return injected(context) ? common::Value(QStringLiteral("<p>redirected</p>"))
                                 : m_application.ProcessRequest(context);
    }
    common::Response Answer(common::DictionaryPtr& context) override {
        return injected(context) ? common::Response::PageBody("<p>redirected</p>")
                                 : m_application.Answer(context);
    }

private:
    // Raises the fault asked for, or asks for the redirect; false when none is asked for.
    bool injected(common::DictionaryPtr& context) const {
        const common::Value request = context->item(bridge::keys::REQUEST);
        const QString fault =
            request.isDictionary()
                ? common::ToText(request.dictionary()->item(QStringLiteral("qvfault")))
                : QString();
        if (fault == QLatin1String("error"))
            throw common::Error(5, QStringLiteral("Injected fault"), className());
        if (fault != QLatin1String("redirect"))
            return false;
        context->setItem(bridge::keys::REDIRECT,
                         QStringLiteral("/?page=home\r\nSet-Cookie: injected=1"));
        return true;
    }

    webapp::WebApp m_application;
};

} // namespace

void RegisterFaultInjection(const std::shared_ptr<webapp::ApplicationService>& service) {
    common::ObjectFactory::instance().registerClass(
        QString::fromLatin1(bridge::WEB_APPLICATION_CLASS),
        [weak = std::weak_ptr<webapp::ApplicationService>(service)]() -> common::ObjectPtr {
            const auto service = weak.lock();
            return service ? std::make_shared<FaultInjectingApplication>(service) : nullptr;
        });
}
