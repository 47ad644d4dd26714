#include "webapp/pages/errorpages.h"

#include "contract/protocol.h"
#include "webapp/forms/valuechecks.h"
#include "webapp/rendering/html.h"

namespace webapp {

namespace {
Html paragraph(const Html& content, Markup cssClass = "note") {
    return "<p class=\"" + Html(cssClass) + "\">" + content + "</p>";
}
} // namespace

Response NotFoundPage(const PageEnvironment& env, const QString& detail) {
    Html content = paragraph(env.html("webNotFoundText"));
    if (!detail.isEmpty())
        content += paragraph(Html::text(detail), "detail");
    content += paragraph(Anchor(Link(), env.label("webMenuHome"), env.root()));
    return env.page(env.label("webNotFoundTitle"), content, {}, 404);
}

Response ForbiddenPage(const PageEnvironment& env, const QString& message) {
    return env.page(env.label("webForbiddenTitle"), paragraph(Html::text(message), "error"), {},
                    403);
}

Response UnusableFieldPage(const PageEnvironment& env, const UnusableField& field) {
    // The name as far as a message needs it: it may itself be the over-long part.
    constexpr qsizetype SHOWN_NAME = 100;
    const QString name =
        field.name.size() > SHOWN_NAME ? field.name.left(SHOWN_NAME) + QChar(0x2026) : field.name;
    const Html message =
        field.why == UnusableField::Why::NotText
            ? env.html("webFieldNotText", name)
            : env.html("webFieldTooLong",
                       common::Value::Array{name, QString::number(MAX_VALUE_LENGTH)});
    return env.page(env.label("webFieldRefusedTitle"), paragraph(message, "error"), {}, 400);
}

Response UnavailablePage(const PageEnvironment& env, const QString& reason,
                         const Html& extraContent) {
    const Html content = paragraph(env.html("webUnavailableText"), "error") +
                         paragraph(Html::text(reason), "detail") + extraContent;
    Response r = env.page(env.label("webUnavailableTitle"), content, {}, 503);
    r.headers.append({QByteArrayLiteral("Retry-After"), QByteArrayLiteral("5")});
    return r;
}

Html FailureBox(const PageEnvironment& env, const DataFailure& failure) {
    return "<div class=\"error\"><p>" +
           env.html("webDataError", common::Value::Array{failure.code}) +
           "</p><p class=\"detail\">" + Html::text(failure.message) + "</p></div>";
}

Response FailurePage(const PageEnvironment& env, const DataFailure& failure) {
    const bool unknown = failure.code == QLatin1String(dataserver::protocol::ERROR_UNKNOWN_TABLE) ||
                         failure.code == QLatin1String(dataserver::protocol::ERROR_UNKNOWN_QUERY);
    return env.page(env.label("webDataErrorTitle"), FailureBox(env, failure), {},
                    unknown ? 404 : 200);
}

} // namespace webapp
