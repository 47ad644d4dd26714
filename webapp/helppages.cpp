#include "webapp/helppages.h"

#include "webapp/helptopics.h"
#include "webapp/html.h"

namespace webapp {

Response HelpPage(const PageEnvironment& env) {
    const QString context = env.field(QStringLiteral("context"));
    const HelpTopic* shown = FindHelpTopic(context);
    const QString root = env.root();
    const QString article = shown ? HelpArticle(env.labels, *shown)
                                  : QStringLiteral("<p>") + env.html("webHelpUnknown", context) +
                                        QStringLiteral("</p>\n");
    return env.page(
        shown ? HelpTitle(env.labels, *shown) : env.label("webHelpTitle"),
        HelpBody(
            env.labels, [&root](const QString& c) { return Frame::helpAddress(root, c); }, article),
        shown ? QLatin1String(shown->context) : QString());
}

} // namespace webapp
