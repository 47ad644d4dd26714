#include "webapp/forms/formvalidation.h"

#include "webapp/forms/valuechecks.h"
#include "webapp/rendering/labels.h"

#include <QRegularExpression>

namespace webapp {

namespace {

QString say(const Labels& labels, const char* id, const common::Value& args = {}) {
    return labels.text(QString::fromLatin1(id), args);
}

// The message for a number or date outside min and max, or "".
template <typename Parse>
QString range(const FormField& f, const QString& value, const Labels& labels, Parse parse) {
    const auto v = parse(value);
    if (const auto low = parse(f.min); low && v && *v < *low)
        return say(labels, "webErrMin", f.min);
    if (const auto high = parse(f.max); high && v && *v > *high)
        return say(labels, "webErrMax", f.max);
    return {};
}

QString typeError(const FormField& f, const QString& value, const Labels& labels) {
    if (f.type == QLatin1String("integer"))
        return ParseInteger(value) ? range(f, value, labels, ParseInteger)
                                   : say(labels, "webErrInteger");
    if (f.type == QLatin1String("real"))
        return ParseReal(value) ? range(f, value, labels, ParseReal) : say(labels, "webErrNumber");
    if (f.type == QLatin1String("email") && !IsEmailAddress(value))
        return say(labels, "webErrEmail");
    if (f.type == QLatin1String("date")) {
        // yyyy-MM-dd compares as text in date order.
        auto date = [](const QString& t) -> std::optional<QString> {
            return IsIsoDate(t) ? std::optional<QString>(t) : std::nullopt;
        };
        return IsIsoDate(value) ? range(f, value, labels, date) : say(labels, "webErrDate");
    }
    return {};
}

} // namespace

QString CheckFieldValue(const FormField& f, const QString& value, const QList<FieldChoice>& choices,
                        const Labels& labels) {
    if (HasUnsendableCharacters(value, f.multiline()))
        return say(labels, "webErrCharacters");
    if (value.trimmed().isEmpty())
        return f.required ? say(labels, "webErrRequired") : QString();
    const qsizetype n = CharacterCount(value);
    const qsizetype maxLength = f.maxLength.value_or(FormDefinition::DEFAULT_MAX_LENGTH);
    if (n > maxLength)
        return say(labels, "webErrTooLong", QString::number(maxLength));
    if (f.minLength && n < *f.minLength)
        return say(labels, "webErrTooShort", QString::number(*f.minLength));
    if (const QString e = typeError(f, value, labels); !e.isEmpty())
        return e;
    if (!f.pattern.isEmpty()) {
        const QRegularExpression whole(QStringLiteral("^(?:") + f.pattern + QStringLiteral(")$"),
                                       QRegularExpression::UseUnicodePropertiesOption);
        if (!whole.match(value).hasMatch())
            return say(labels, "webErrPattern");
    }
    if (f.type == QLatin1String("choice") && !f.free) {
        const bool offered = std::any_of(choices.begin(), choices.end(),
                                         [&](const FieldChoice& c) { return c.value == value; });
        if (!offered)
            return say(labels, "webErrChoice");
    }
    return {};
}

} // namespace webapp
