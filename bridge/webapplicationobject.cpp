#include "bridge/webapplicationobject.h"

#include "common/error.h"
#include "common/objectfactory.h"
#include "i18n/language.h"

namespace bridge {

std::shared_ptr<WebApplication> GetWebApplicationObject() {
    const QString className = QString::fromLatin1(WEB_APPLICATION_CLASS);
    auto component =
        std::dynamic_pointer_cast<WebApplication>(common::CreateObjectByName(className));
    if (!component)
        throw common::Error(common::ERR_CANNOT_CREATE,
                            QStringLiteral("Error creating object: ") + className);
    component->SetTranslation(i18n::TranslationRoot());
    return component;
}

} // namespace bridge
