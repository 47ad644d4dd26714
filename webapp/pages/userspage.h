#pragma once

#include "webapp/pageenvironment.h"

namespace webapp {

// ?page=users: the accounts, for administrators only (anyone else gets RefusedPage), with a
// form that adds one and, per account, the change of its role, disabling and enabling it, a
// new password (application user mode) and the end of its sessions. Every change is a POST
// carrying the administrator's action token; it is written together with its audit entry
// ("user-add", "user-role", "user-disable", "user-enable", "user-password",
// "user-signout"; never a password or a hash) and answered with a redirect back to the page,
// which says what was done. A change that would leave no enabled administrator, a name or
// password that will not do, or a post without a valid token writes nothing and says why.
Response UsersPage(const PageEnvironment& env);

// The role's name in the page's language.
QString RoleText(const PageEnvironment& env, Role role);

} // namespace webapp
