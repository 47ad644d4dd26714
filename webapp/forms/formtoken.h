#pragma once

#include <QString>

namespace webapp {

// A form that writes carries a nonce (a new GUID each time it is shown) and a token:
// HMAC-SHA256 over form name + "\n" + nonce, keyed with the run's secret, in hexadecimal.
// Only this server can make a token, so a page of another site cannot post into the
// application; the nonce is also the write's request id, so one form is saved once.

QString NewFormNonce();
QString FormToken(const QString& secret, const QString& formName, const QString& nonce);
// False for an empty secret, a nonce that is not a GUID, or a token that does not match.
bool IsValidFormToken(const QString& secret, const QString& formName, const QString& nonce,
                      const QString& token);

// Compares in a time that does not depend on where the texts differ.
bool ConstantTimeEquals(const QString& a, const QString& b);

} // namespace webapp
