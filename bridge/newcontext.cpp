#include "bridge/newcontext.h"

#include "bridge/formdata.h"
#include "bridge/pagecontext.h"
#include "bridge/serverentry.h"
#include "common/dictionary.h"
#include "common/objectfactory.h"

namespace bridge {

namespace {
const QString REQUEST = QStringLiteral("Request");
const QString MESSAGES = QStringLiteral("Messages");
const QString SESSION = QStringLiteral("session");
const QString SERVER = QStringLiteral("Server");
} // namespace

ContextMaker::Constants ContextMaker::constantsOf(const PageContext& context) {
    return Constants{context.ProgramFolder,  context.WebRootFolder,
                     context.UrlPrefix,      context.ApplicationDictionary,
                     context.DebugMode,      context.UserMode,
                     context.RunSecret,      context.TempFolder,
                     context.SessionTimeout, context.InQueueFolder,
                     context.OutQueueFolder};
}

common::DictionaryPtr ContextMaker::newTemplate(const Constants& c) {
    const QString& prefix = c.urlPrefix;
    const common::DictionaryPtr entries = common::NewDictionary();
    entries->reserve(18);
    entries->Add(QStringLiteral("PhysicalServerRoot"), c.programFolder);
    entries->Add(QStringLiteral("PhysicalDocumentRoot"), c.webRootFolder + prefix);
    entries->Add(QStringLiteral("Application"), c.application);
    entries->Add(REQUEST, common::Value());
    entries->Add(MESSAGES, common::Value());
    entries->Add(QStringLiteral("ThemeFolder"), prefix + QStringLiteral("/themes"));
    entries->Add(QStringLiteral("ImageFolder"), prefix + QStringLiteral("/images"));
    entries->Add(QStringLiteral("AdminFolder"), prefix + QStringLiteral("/admin"));
    entries->Add(QStringLiteral("RelativePath"), prefix);
    entries->Add(QStringLiteral("Debug"), c.debugMode);
    entries->Add(QStringLiteral("DefaultUserMode"), c.userMode);
    entries->Add(QStringLiteral("Secret"), c.runSecret);
    entries->Add(QStringLiteral("TempFolder"), c.tempFolder);
    entries->Add(QStringLiteral("SessionTimeout"), c.sessionTimeout);
    entries->Add(QStringLiteral("InQueueFolder"), c.inQueueFolder);
    entries->Add(QStringLiteral("OutQueueFolder"), c.outQueueFolder);
    entries->Add(SESSION, common::Value());
    entries->Add(SERVER, common::Value());
    return entries;
}

common::DictionaryPtr ContextMaker::NewContext(const PageContext& context,
                                               const ServerStatus& status,
                                               common::DictionaryPtr request) {
    Constants constants = constantsOf(context);
    if (!m_template || constants != m_constants) {
        m_template = newTemplate(constants);
        m_constants = std::move(constants);
    }
    // A copy of the template's class: the component sees the Dictionary it always saw.
    const auto entries = std::make_shared<common::Dictionary>(*m_template);
    entries->setItem(REQUEST, request ? std::move(request) : ParseFormData(QString()));
    entries->setItem(MESSAGES, common::NewDictionary());
    entries->setItem(SESSION, common::NewDictionary());
    entries->setItem(SERVER, NewServerEntry(status));
    return entries;
}

} // namespace bridge
