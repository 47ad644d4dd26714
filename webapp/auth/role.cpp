#include "webapp/auth/role.h"

namespace webapp {

namespace {
const char* const NAMES[] = {"anonymous", "reader", "editor", "admin", "nobody"};
}

QString RoleName(Role role) {
    return QString::fromLatin1(NAMES[static_cast<int>(role)]);
}

std::optional<Role> RoleFromName(const QString& name) {
    const QString wanted = name.trimmed();
    for (int i = 0; i <= static_cast<int>(Role::Nobody); ++i)
        if (wanted.compare(QLatin1String(NAMES[i]), Qt::CaseInsensitive) == 0)
            return static_cast<Role>(i);
    return std::nullopt;
}

} // namespace webapp
