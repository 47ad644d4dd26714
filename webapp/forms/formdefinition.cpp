#include "webapp/forms/formdefinition.h"

#include "common/xml.h"
#include "webapp/rendering/labels.h"

#include <QRegularExpression>
#include <QSet>

namespace webapp {

namespace {

const QStringList TYPES = {QStringLiteral("text"),     QStringLiteral("integer"),
                           QStringLiteral("real"),     QStringLiteral("email"),
                           QStringLiteral("date"),     QStringLiteral("choice"),
                           QStringLiteral("multiline")};

[[noreturn]] void invalid(const QString& message) {
    throw FormDefinitionError{message};
}

QString attribute(const pugi::xml_node& node, const char* name) {
    return common::ToQString(node.attribute(name).value()).trimmed();
}

bool isTrue(const pugi::xml_node& node, const char* name) {
    const QString v = attribute(node, name);
    return v == QLatin1String("true") || v == QLatin1String("1") || v == QLatin1String("yes");
}

// A text of the form: from the language file when the element names a label, otherwise the
// element's own text.
QString textOf(const pugi::xml_node& node, const Labels& labels) {
    if (!node)
        return {};
    const QString label = attribute(node, "label");
    if (!label.isEmpty())
        return labels.text(label);
    return common::ToQString(node.child_value()).trimmed();
}

std::optional<qsizetype> length(const pugi::xml_node& node, const char* name) {
    const QString text = attribute(node, name);
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qsizetype n = text.toLongLong(&ok);
    if (!ok || n < 0)
        invalid(QStringLiteral("The field %1 has a %2 that is not a whole number: %3")
                    .arg(attribute(node, "name"), QLatin1String(name), text));
    return n;
}

FormField readField(const pugi::xml_node& node, const Labels& labels) {
    FormField f;
    f.name = attribute(node, "name");
    if (f.name.isEmpty())
        invalid(QStringLiteral("A field has no name."));
    const QString type = attribute(node, "type");
    if (!type.isEmpty())
        f.type = type;
    if (!TYPES.contains(f.type))
        invalid(QStringLiteral("The field %1 has an unknown type: %2").arg(f.name, f.type));
    f.label = textOf(node.child("Label"), labels);
    if (f.label.isEmpty())
        f.label = f.name;
    f.required = isTrue(node, "required");
    f.free = isTrue(node, "free");
    f.minLength = length(node, "minlength");
    f.maxLength = length(node, "maxlength");
    f.min = attribute(node, "min");
    f.max = attribute(node, "max");
    f.pattern = common::ToQString(node.attribute("pattern").value());
    if (!f.pattern.isEmpty() && !QRegularExpression(f.pattern).isValid())
        invalid(QStringLiteral("The field %1 has an invalid pattern: %2").arg(f.name, f.pattern));
    if (const std::optional<qsizetype> rows = length(node, "rows"))
        f.rows = int(std::clamp<qsizetype>(*rows, 1, 50));
    for (const pugi::xml_node& c : node.children("Choice")) {
        const QString value = attribute(c, "value");
        const QString text = textOf(c, labels);
        f.choices.append({value, text.isEmpty() ? value : text});
    }
    const pugi::xml_node choices = node.child("Choices");
    if (choices) {
        f.choicesQuery = attribute(choices, "query");
        f.choicesValue = attribute(choices, "value");
        f.choicesLabel = attribute(choices, "label");
        if (f.choicesQuery.isEmpty() || f.choicesValue.isEmpty())
            invalid(QStringLiteral("The choices of the field %1 need a query and a value column.")
                        .arg(f.name));
        if (f.choicesLabel.isEmpty())
            f.choicesLabel = f.choicesValue;
    }
    if (f.type == QLatin1String("choice") && f.choices.isEmpty() && f.choicesQuery.isEmpty() &&
        !f.free)
        invalid(QStringLiteral("The choice field %1 offers no choices.").arg(f.name));
    return f;
}

} // namespace

const FormField* FormDefinition::field(const QString& fieldName) const {
    for (const FormField& f : fields)
        if (f.name == fieldName)
            return &f;
    return nullptr;
}

FormDefinition FormDefinition::parse(const QByteArray& bytes, const QString& name,
                                     const Labels& labels) {
    pugi::xml_document doc;
    if (!common::LoadXmlBytes(doc, bytes))
        invalid(QStringLiteral("The file cannot be read as XML."));
    const pugi::xml_node root = doc.document_element();
    if (QLatin1String(root.name()) != QLatin1String("Form"))
        invalid(QStringLiteral("The root element must be Form."));
    FormDefinition form;
    form.name = name;
    form.title = textOf(root.child("Title"), labels);
    if (form.title.isEmpty())
        form.title = name;
    form.description = textOf(root.child("Description"), labels);
    form.savedText = textOf(root.child("Saved"), labels);
    QSet<QString> names;
    for (const pugi::xml_node& node : root.children("Field")) {
        FormField f = readField(node, labels);
        if (names.contains(f.name))
            invalid(QStringLiteral("The field %1 is defined twice.").arg(f.name));
        names.insert(f.name);
        form.fields.append(f);
    }
    const pugi::xml_node write = root.child("Write");
    form.writeQuery = attribute(write, "query");
    if (form.writeQuery.isEmpty())
        invalid(QStringLiteral("The form names no write query (<Write query=\"...\">)."));
    for (const pugi::xml_node& p : write.children("Parameter")) {
        const QString parameter = attribute(p, "name");
        QString fieldName = attribute(p, "field");
        if (fieldName.isEmpty())
            fieldName = parameter;
        if (parameter.isEmpty() || !names.contains(fieldName))
            invalid(QStringLiteral("The write parameter %1 names no field of the form.")
                        .arg(parameter));
        form.parameters.append({parameter, fieldName});
    }
    return form;
}

} // namespace webapp
