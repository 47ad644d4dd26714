#pragma once

#include "webapp/auth/role.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace webapp {

// The kinds of objects the rules file names.
enum class ObjectKind { Table, Query, Form };

// Who may use what, from the application folder's "access.xml":
//
//   <Access>
//     <Defaults tables="anonymous" queries="anonymous" forms="editor" detected="reader"
//               edit="editor"/>
//     <Table name="customers" allow="reader" edit="admin"/>
//     <Query name="Orders by customer" allow="reader"/>
//     <Form name="stock" allow="admin"/>
//   </Access>
//
// allow names the least role that may use the object (anonymous, reader, editor, admin, or
// nobody); a table's rule covers its rows and its exports, a query's its results and exports,
// a view is a table. Defaults give the least role for everything of a kind not named, and the
// role of a detected user who has no account. Without the file, or for what it leaves out:
// tables and queries for everyone, forms for editors, detected users readers. A query that
// writes always needs an editor. edit names the least role that may add, change and delete a
// table's rows (by default editor; a role below editor counts as editor, so anonymous visitors
// and readers never edit; nobody closes it), and only for a user who may also see the table.
class AccessRules final {
public:
    AccessRules() = default;
    // Reads the file's bytes; problems (a malformed file, an unknown role) are listed in
    // problems and the entry concerned is left out, so that a typing error never opens more:
    // a file that cannot be read at all allows administrators only.
    static AccessRules parse(const QByteArray& xml, QStringList* problems = nullptr);

    // The least role that may use the object.
    Role least(ObjectKind kind, const QString& name) const;
    bool allows(Role role, ObjectKind kind, const QString& name) const {
        const Role needed = least(kind, name);
        return needed != Role::Nobody && role >= needed;
    }
    // The least role that may change the rows of table: editor or above, or nobody.
    Role leastToEdit(const QString& table) const;
    bool allowsEdit(Role role, const QString& table) const {
        const Role needed = leastToEdit(table);
        return needed != Role::Nobody && role >= needed && allows(role, ObjectKind::Table, table);
    }
    // Whether role may use anything at all of kind (for the menu).
    bool allowsAny(Role role, ObjectKind kind) const;
    // The role of a detected user without an account.
    Role detectedRole() const { return m_detected; }

private:
    Role m_defaults[3] = {Role::Anonymous, Role::Anonymous, Role::Editor};
    QHash<QString, Role> m_objects[3]; // by name, per kind
    Role m_detected = Role::Reader;
    Role m_editDefault = Role::Editor;
    QHash<QString, Role> m_edit; // by table name
};

} // namespace webapp
