#pragma once

#include <QString>

namespace webapp {

// A form that writes carries a nonce (a new GUID each time it is shown) and a token:
// HMAC-SHA256 over form name + "\n" + nonce + "\n" + binding, keyed with the run's secret, in
// hexadecimal. binding is who the form was shown to (Identity::formBinding: the session, the
// detected user, or "" for anonymous). Only this server can make a token, and only for the
// session it was shown in, so a page of another site cannot post into the application and a
// form of an ended session or an earlier run is not taken; the nonce is also the write's
// request id, so one form is saved once.

QString NewFormNonce();
// Whether nonce has the form NewFormNonce gives.
bool IsFormNonce(const QString& nonce);
QString FormToken(const QString& secret, const QString& formName, const QString& nonce,
                  const QString& binding = {});
// False for an empty secret, a nonce that is not a GUID, or a token that does not match.
bool IsValidFormToken(const QString& secret, const QString& formName, const QString& nonce,
                      const QString& token, const QString& binding = {});
// The token of a request that acts without a form of its own (sign-out, the administration's
// buttons): FormToken of action with the binding as nonce. Valid for as long as the session
// and the run last.
QString ActionToken(const QString& secret, const QString& action, const QString& binding);
bool IsValidActionToken(const QString& secret, const QString& action, const QString& binding,
                        const QString& token);

// Compares in a time that does not depend on where the texts differ.
bool ConstantTimeEquals(const QString& a, const QString& b);

} // namespace webapp
