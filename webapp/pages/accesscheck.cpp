#include "webapp/pages/accesscheck.h"

#include "webapp/pages/errorpages.h"

namespace webapp {

QString SignInReturnAddress(const RequestContext& request) {
    if (request.serverVariable(QStringLiteral("REQUEST_METHOD")) != QLatin1String("GET") ||
        request.field(QStringLiteral("page")) == QLatin1String("signin"))
        return {};
    Link link;
    for (const auto& [name, value] : request.wireFields())
        link.keep(FromWire(name), FromWire(value));
    return link.address(request.root());
}

namespace {

std::optional<Response> needs(const PageEnvironment& env, bool allowed) {
    if (allowed)
        return std::nullopt;
    return RefusedPage(env);
}

} // namespace

Response RefusedPage(const PageEnvironment& env) {
    if (env.identity.anonymous() && IsApplicationMode(env.context))
        return Response::redirectTo(
            Link(QStringLiteral("signin"))
                .with(QStringLiteral("next"), SignInReturnAddress(env.context))
                .address(env.root()));
    return ForbiddenPage(env, env.identity.anonymous() ? env.label("webForbiddenAnonymous")
                                                       : env.label("webForbiddenRole"));
}

std::optional<Response> CheckAccess(const QString& page, const PageEnvironment& env) {
    const Role role = env.identity.role;
    const AccessRules& rules = env.rules;
    const QString name = env.field(QStringLiteral("name"));
    if (page == QLatin1String("tables"))
        return needs(env, rules.allowsAny(role, ObjectKind::Table));
    if (page == QLatin1String("table"))
        return needs(env, env.mayUse(ObjectKind::Table, name));
    // Editing rows also needs the table's edit rule; their pages check it (with its own
    // refusal) before anything is read.
    if (page == QLatin1String("new") || page == QLatin1String("edit") ||
        page == QLatin1String("delete"))
        return needs(env, env.mayUse(ObjectKind::Table, env.field(QStringLiteral("table"))));
    if (page == QLatin1String("row"))
        return needs(env, env.mayUse(ObjectKind::Table, env.field(QStringLiteral("table"))));
    if (page == QLatin1String("queries"))
        return needs(env, rules.allowsAny(role, ObjectKind::Query));
    if (page == QLatin1String("query"))
        return needs(env, env.mayUse(ObjectKind::Query, name));
    // A chart is read as its query is: its page checks that query once it has read the chart.
    if (page == QLatin1String("charts") || page == QLatin1String("chart"))
        return needs(env, rules.allowsAny(role, ObjectKind::Query));
    if (page == QLatin1String("forms"))
        return needs(env, rules.allowsAny(role, ObjectKind::Form));
    if (page == QLatin1String("form"))
        return needs(env, env.mayUse(ObjectKind::Form, name));
    if (page == QLatin1String("saved"))
        return needs(env, env.mayUse(ObjectKind::Form, env.field(QStringLiteral("form"))));
    if (page == QLatin1String("export"))
        return needs(env, env.field(QStringLiteral("kind")) == QLatin1String("query")
                              ? env.mayUse(ObjectKind::Query, name)
                              : env.mayUse(ObjectKind::Table, name));
    if (page == QLatin1String("print")) {
        const QString query = env.field(QStringLiteral("query"));
        return needs(env, query.isEmpty() ? env.mayUse(ObjectKind::Table, name)
                                          : env.mayUse(ObjectKind::Query, query));
    }
    return std::nullopt;
}

} // namespace webapp
