#pragma once

#include <QString>
#include <optional>

namespace webapp {

// What a user may do, each role allowing all the one below it does: anonymous visitors,
// readers (tables, queries, exports), editors (also forms), administrators (also the
// administration page and the users). Nobody is for objects no role may use.
enum class Role { Anonymous = 0, Reader = 1, Editor = 2, Admin = 3, Nobody = 4 };

// "anonymous", "reader", "editor", "admin", "nobody".
QString RoleName(Role role);
// The role of a name as RoleName writes it (any letter case, blanks around it ignored).
std::optional<Role> RoleFromName(const QString& name);
// The roles a user account may hold.
inline bool IsAccountRole(Role role) {
    return role == Role::Reader || role == Role::Editor || role == Role::Admin;
}

} // namespace webapp
