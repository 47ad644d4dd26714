#pragma once

#include "webapp/applicationservice.h"
#include "webapp/auth/identity.h"
#include "webapp/data/accountstore.h"
#include "webapp/data/remotedatabase.h"
#include "webapp/rendering/frame.h"
#include "webapp/rendering/labels.h"
#include "webapp/requestcontext.h"
#include "webapp/response.h"

namespace webapp {

// What every page of one request works with.
struct PageEnvironment {
    const Labels& labels;
    RequestContext& context;
    const Frame& frame;
    const RemoteDatabase& database;
    ApplicationService& application;
    const Identity& identity;
    const AccessRules& rules;
    const AccountStore& accounts;

    QString root() const { return context.root(); }
    QString field(const QString& name) const { return context.field(name); }
    // Whether the request's user may use the object.
    bool mayUse(ObjectKind kind, const QString& name) const {
        return rules.allows(identity.role, kind, name);
    }
    QString secret() const { return context.text(bridge::keys::SECRET); }
    // Whether the request is a POST: only what a form's button posts may change anything.
    bool isPost() const {
        return context.serverVariable(QStringLiteral("REQUEST_METHOD")) == QLatin1String("POST");
    }
    QString label(const char* id, const common::Value& args = {}) const {
        return labels.text(QString::fromLatin1(id), args);
    }
    Html html(const char* id, const common::Value& args = {}) const {
        return labels.html(QString::fromLatin1(id), args);
    }
    // A page in the frame.
    Response page(const QString& title, const Html& content, const QString& helpContext = {},
                  int status = 200) const {
        return Response::page(frame.render(title, content, helpContext).toString(), status);
    }
};

} // namespace webapp
