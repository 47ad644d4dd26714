#include "bridge/newcontext.h"

#include "bridge/formdata.h"
#include "bridge/pagecontext.h"
#include "bridge/serverentry.h"
#include "common/dictionary.h"
#include "common/objectfactory.h"

namespace bridge {

common::DictionaryPtr NewContext(const PageContext& context, const ServerStatus& status) {
    const QString& prefix = context.UrlPrefix;
    const common::DictionaryPtr entries = common::NewDictionary();
    entries->Add(QStringLiteral("PhysicalServerRoot"), context.ProgramFolder);
    entries->Add(QStringLiteral("PhysicalDocumentRoot"), context.WebRootFolder + prefix);
    entries->Add(QStringLiteral("Application"), context.ApplicationDictionary);
    entries->Add(QStringLiteral("Request"), ParseFormData(QString()));
    entries->Add(QStringLiteral("Messages"), common::NewDictionary());
    entries->Add(QStringLiteral("ThemeFolder"), prefix + QStringLiteral("/themes"));
    entries->Add(QStringLiteral("ImageFolder"), prefix + QStringLiteral("/images"));
    entries->Add(QStringLiteral("AdminFolder"), prefix + QStringLiteral("/admin"));
    entries->Add(QStringLiteral("RelativePath"), prefix);
    entries->Add(QStringLiteral("Debug"), context.DebugMode);
    entries->Add(QStringLiteral("DefaultUserMode"), context.UserMode);
    entries->Add(QStringLiteral("Secret"), context.RunSecret);
    entries->Add(QStringLiteral("TempFolder"), context.TempFolder);
    entries->Add(QStringLiteral("SessionTimeout"), context.SessionTimeout);
    entries->Add(QStringLiteral("InQueueFolder"), context.InQueueFolder);
    entries->Add(QStringLiteral("OutQueueFolder"), context.OutQueueFolder);
    entries->Add(QStringLiteral("session"), common::NewDictionary());
    entries->Add(QStringLiteral("Server"), NewServerEntry(status));
    return entries;
}

} // namespace bridge
