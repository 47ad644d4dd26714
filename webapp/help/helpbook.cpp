#include "webapp/help/helpbook.h"

#include "common/helpfiles.h"
#include "common/value.h"
#include "common/version.h"
#include "webapp/help/helptopics.h"
#include "webapp/rendering/document.h"
#include "webapp/rendering/labels.h"

namespace webapp {

namespace {

// From help/<code>/ to the web root beside help/.
constexpr char WEB_ROOT[] = "../../wwwroot/";

Html page(const Labels& labels, const HelpTopic& topic) {
    Document document;
    document.language = labels.languageCode();
    if (document.language.isEmpty())
        document.language = QString::fromLatin1(common::HELP_FALLBACK_LANGUAGE);
    document.title = HelpTitle(labels, topic);
    document.webRoot = Html(WEB_ROOT);
    document.skipText = labels.html(QStringLiteral("webSkipToContent"));
    document.content = HelpBody(
        labels, [](const QString& context) { return Html::text(common::HelpFileName(context)); },
        HelpArticle(labels, topic));
    document.footer =
        labels.html(QStringLiteral("webFooter"),
                    common::Value::Array{common::ProductName(), common::VersionText()});
    return RenderDocument(document);
}

} // namespace

std::vector<HelpFile> HelpBook(const Labels& labels) {
    std::vector<HelpFile> files;
    for (const HelpTopic* t = HelpTopicsBegin(); t != HelpTopicsEnd(); ++t)
        files.push_back({common::HelpFileName(QLatin1String(t->context)),
                         page(labels, *t).toString().toUtf8()});
    return files;
}

} // namespace webapp
