#include "webapp/pages/helppages.h"

#include "webapp/help/helptopics.h"

namespace webapp {

Response HelpPage(const PageEnvironment& env) {
    const QString context = env.field(QStringLiteral("context"));
    const HelpTopic* shown = FindHelpTopic(context);
    const QString root = env.root();
    const Html article = shown ? HelpArticle(env.labels, *shown)
                               : "<p>" + env.html("webHelpUnknown", context) + "</p>\n";
    return env.page(shown ? HelpTitle(env.labels, *shown) : env.label("webHelpTitle"),
                    HelpBody(
                        env.labels,
                        [&root](const QString& c) { return Frame::helpLink(c).href(root); },
                        article),
                    shown ? QLatin1String(shown->context) : QString());
}

} // namespace webapp
