#pragma once

#include "webapp/pageenvironment.h"

namespace webapp {

// Accounts with passwords (the application user mode): signing in and out, the change of
// one's own password, and the set-up of the first administrator.

// How late the web server sends the answer to a sign-in that failed or was refused (wrong
// password, back-off, busy): a client asking again at once asks once a second per connection,
// and holds no thread meanwhile.
inline constexpr int REFUSAL_HOLD_MS = 1000;

// "?page=signin": the sign-in form; its post checks the password (slowed after failures, the
// same answer for an unknown user as for a wrong password), opens a session with a new id and
// goes on to the page in "next".
Response SignInPage(const PageEnvironment& env);
// "?page=signout": a post with the session's token ends the session where it is kept.
Response SignOutPage(const PageEnvironment& env);
// "?page=password": a signed-in user changes their password; their other sessions end.
Response PasswordPage(const PageEnvironment& env);
// "?page=setup&code=...": the first administrator account, with the code a hidden run
// prints; only while there is no administrator with a password.
Response SetupPage(const PageEnvironment& env);

// The fields of a new password typed twice, and what is wrong with them (a label id; "" when
// nothing is).
inline const QString NEW_PASSWORD_FIELD = QStringLiteral("newpassword");
inline const QString REPEAT_PASSWORD_FIELD = QStringLiteral("repeat");
const char* NewPasswordProblem(const PageEnvironment& env);

// A text typed by a visitor (a user name that signed in with no account), as the audit trail
// keeps it: at most most characters, control characters (NUL too) as U+FFFD.
QString SafeAuditText(const QString& text, qsizetype most);

// The audit trail's record of what env's user did.
AuditEntry AuditOf(const PageEnvironment& env, const QString& action, const QString& object = {},
                   const QString& detail = {});

} // namespace webapp
