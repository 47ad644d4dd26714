#include "bridge/newcontext.h"

#include "bridge/formdata.h"
#include "bridge/pagecontext.h"
#include "bridge/serverentry.h"
#include "common/dictionary.h"
#include "common/objectfactory.h"
#include "webappapi/contextkeys.h"

namespace bridge {

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
    entries->Add(keys::PHYSICAL_SERVER_ROOT, c.programFolder);
    entries->Add(keys::PHYSICAL_DOCUMENT_ROOT, c.webRootFolder + prefix);
    entries->Add(keys::APPLICATION, c.application);
    entries->Add(keys::REQUEST, common::Value());
    entries->Add(keys::MESSAGES, common::Value());
    entries->Add(keys::THEME_FOLDER, prefix + QStringLiteral("/themes"));
    entries->Add(keys::IMAGE_FOLDER, prefix + QStringLiteral("/images"));
    entries->Add(keys::ADMIN_FOLDER, prefix + QStringLiteral("/admin"));
    entries->Add(keys::RELATIVE_PATH, prefix);
    entries->Add(keys::DEBUG, c.debugMode);
    entries->Add(keys::DEFAULT_USER_MODE, c.userMode);
    entries->Add(keys::SECRET, c.runSecret);
    entries->Add(keys::TEMP_FOLDER, c.tempFolder);
    entries->Add(keys::SESSION_TIMEOUT, c.sessionTimeout);
    entries->Add(keys::IN_QUEUE_FOLDER, c.inQueueFolder);
    entries->Add(keys::OUT_QUEUE_FOLDER, c.outQueueFolder);
    entries->Add(keys::SESSION, common::Value());
    entries->Add(keys::SERVER, common::Value());
    return entries;
}

ContextMaker::Template ContextMaker::templateFor(const PageContext& context) {
    Constants constants = constantsOf(context);
    if (!m_template || constants != m_constants) {
        m_template = newTemplate(constants);
        m_constants = std::move(constants);
    }
    return m_template;
}

common::DictionaryPtr ContextMaker::NewContext(const Template& entries, const ServerStatus& status,
                                               common::DictionaryPtr request) {
    // A copy of the template's class: the component sees the Dictionary it always saw.
    const auto context = std::make_shared<common::Dictionary>(*entries);
    context->setItem(keys::REQUEST, request ? std::move(request) : ParseFormData(QString()));
    context->setItem(keys::MESSAGES, common::NewDictionary());
    context->setItem(keys::SESSION, common::NewDictionary());
    context->setItem(keys::SERVER, NewServerEntry(status));
    return context;
}

} // namespace bridge
