#include "bridge/requestobject.h"

#include "bridge/detecteduser.h"
#include "bridge/formdata.h"
#include "bridge/pagecontext.h"
#include "common/dictionary.h"
#include "common/objectfactory.h"
#include "server/requesthandler.h"
#include "webappapi/contextkeys.h"

namespace bridge {

common::DictionaryPtr CreateRequestObject(const server::DynamicRequest& request,
                                          const PageContext& context) {
    const common::DictionaryPtr object =
        ParseFormData(request.method == QLatin1String("GET") ? request.query : request.body);
    const common::DictionaryPtr variables = common::NewDictionary();
    variables->reserve(10); // REMOTE_HOST comes from the caller
    variables->Add(keys::PATH_TRANSLATED, context.ApplicationPath);
    variables->Add(keys::SCRIPT_NAME, context.UrlPrefix + QLatin1Char('/'));
    variables->Add(keys::HTTP_USER_AGENT, request.userAgent);
    // Which of query and body the fields came from: a page that writes takes only a POST's.
    variables->Add(keys::REQUEST_METHOD, request.method);
    variables->Add(keys::HTTP_COOKIE, request.cookie);
    variables->Add(keys::REMOTE_ADDR, request.origin.clientAddress);
    const DetectedUser user = DetectUser(request.origin);
    variables->Add(keys::REMOTE_USER, user.name);
    variables->Add(keys::AUTH_TYPE, user.authType);
    variables->Add(keys::HTTPS, request.https ? QStringLiteral("on") : QStringLiteral("off"));
    object->Add(keys::SERVER_VARIABLES, variables);
    return object;
}

} // namespace bridge
