#include "webapp/data/querytexts.h"

#include "webapp/rendering/labels.h"

namespace webapp {

namespace {
QString labelled(const Labels& labels, const QString& id, const QString& fallback) {
    return !id.isEmpty() && labels.has(id) ? labels.text(id) : fallback;
}
} // namespace

QString TitleOf(const Labels& labels, const DisplayTexts& texts, const QString& name) {
    return labelled(labels, texts.label, texts.title.isEmpty() ? name : texts.title);
}

QString DescriptionOf(const Labels& labels, const DisplayTexts& texts) {
    return labelled(labels,
                    texts.label.isEmpty() ? QString() : texts.label + QStringLiteral("Desc"),
                    texts.description);
}

} // namespace webapp
