#pragma once

// What the tests of the users page and of the audit trail do the way a browser would.

#include "webappfixture.h"

#include <QHash>
#include <QList>
#include <QString>

namespace webapptest {

// Posts action on user from the users page, with the token that page carries for browser
// and any further fields.
Page UsersAction(Browser& browser, const QString& action, const QString& user,
                 const QHash<QString, QString>& fields = {});
// The address a page redirected to, followed by a GET.
Page Follow(Browser& browser, const Page& redirect);
// Signs in through the sign-in page; the browser keeps the session's cookie.
Page SignIn(Browser& browser, const QString& user, const QString& password);
// The audit trail's entries with these address fields ("&user=ann"), newest first, each
// by column name, as its JSON export gives them.
QList<QHash<QString, QString>> AuditEntries(Browser& browser, const QString& filters = {});
// One column of entries.
QStringList Column(const QList<QHash<QString, QString>>& entries, const QString& column);

} // namespace webapptest
