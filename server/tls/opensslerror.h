#pragma once

#include <QString>

namespace server {

// What OpenSSL's error queue of this thread says, oldest first, joined with "; ", and the
// queue emptied; "" when it is empty. Every failed OpenSSL call is followed by this (or by
// ClearOpenSslErrors), so that an old error never shows up beside a later one.
QString OpenSslErrorText();
void ClearOpenSslErrors();

} // namespace server
