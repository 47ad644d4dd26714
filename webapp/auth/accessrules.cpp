#include "webapp/auth/accessrules.h"

#include <pugixml.hpp>

namespace webapp {

namespace {

const char* const ELEMENTS[] = {"Table", "Query", "Form"};
const char* const DEFAULT_ATTRIBUTES[] = {"tables", "queries", "forms"};

QString attribute(const pugi::xml_node& node, const char* name) {
    return QString::fromUtf8(node.attribute(name).value());
}

// The role an attribute names; fallback when it is absent, nullopt (a problem) when unknown.
std::optional<Role> roleOf(const pugi::xml_node& node, const char* name, Role fallback,
                           QStringList* problems) {
    if (!node.attribute(name))
        return fallback;
    const QString text = attribute(node, name);
    const std::optional<Role> role = RoleFromName(text);
    if (!role && problems)
        problems->append(QStringLiteral("access.xml: unknown role \"%1\" in <%2 %3>")
                             .arg(text, QString::fromUtf8(node.name()), QString::fromLatin1(name)));
    return role;
}

// Editing is for editors at least: a lower role in the file means editor.
Role atLeastEditor(Role role) {
    return role < Role::Editor ? Role::Editor : role;
}

} // namespace

AccessRules AccessRules::parse(const QByteArray& xml, QStringList* problems) {
    AccessRules rules;
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(xml.constData(), size_t(xml.size()));
    const pugi::xml_node root = doc.child("Access");
    if (!parsed || !root) {
        if (problems)
            problems->append(
                QStringLiteral("access.xml cannot be read (%1): only administrators "
                               "may use the application's objects")
                    .arg(QString::fromUtf8(parsed ? "no <Access> element" : parsed.description())));
        for (Role& r : rules.m_defaults)
            r = Role::Admin;
        rules.m_editDefault = Role::Admin;
        rules.m_detected = Role::Anonymous;
        return rules;
    }
    const pugi::xml_node defaults = root.child("Defaults");
    for (int kind = 0; kind < 3; ++kind) {
        // An unknown default closes the kind to all but administrators rather than opening it.
        rules.m_defaults[kind] =
            roleOf(defaults, DEFAULT_ATTRIBUTES[kind], rules.m_defaults[kind], problems)
                .value_or(Role::Admin);
        for (const pugi::xml_node& object : root.children(ELEMENTS[kind])) {
            const QString name = attribute(object, "name");
            rules.m_objects[kind].insert(
                name,
                roleOf(object, "allow", rules.m_defaults[kind], problems).value_or(Role::Admin));
        }
    }
    // An unknown role closes editing to all but administrators rather than opening it.
    rules.m_editDefault =
        atLeastEditor(roleOf(defaults, "edit", Role::Editor, problems).value_or(Role::Admin));
    for (const pugi::xml_node& table : root.children("Table"))
        if (table.attribute("edit"))
            rules.m_edit.insert(
                attribute(table, "name"),
                atLeastEditor(roleOf(table, "edit", Role::Editor, problems).value_or(Role::Admin)));
    const std::optional<Role> detected = roleOf(defaults, "detected", Role::Reader, problems);
    rules.m_detected = detected && *detected != Role::Nobody ? *detected : Role::Anonymous;
    return rules;
}

Role AccessRules::least(ObjectKind kind, const QString& name) const {
    const int k = static_cast<int>(kind);
    return m_objects[k].value(name, m_defaults[k]);
}

Role AccessRules::leastToEdit(const QString& table) const {
    return m_edit.value(table, m_editDefault);
}

bool AccessRules::allowsAny(Role role, ObjectKind kind) const {
    const int k = static_cast<int>(kind);
    if (m_defaults[k] != Role::Nobody && role >= m_defaults[k])
        return true;
    for (const Role needed : m_objects[k])
        if (needed != Role::Nobody && role >= needed)
            return true;
    return false;
}

} // namespace webapp
