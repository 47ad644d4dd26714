#pragma once

#include "common/response.h"

#include <QString>

namespace bridge {

// Adds to a component's answer the cookies it set (the context's "SetCookie", one per line):
// a "Set-Cookie" header line for each line that is not blank, before the answer's
// "Connection" line, and "Cache-Control: no-store" (replacing the answer's own Cache-Control)
// when any was added, so that no cache hands one user's cookie to another. A page body
// carries its lines into the head the HTTP layer gives it. A line that holds a control
// character or a character beyond ASCII could end the header line or be read differently by
// every browser: it is left out and traced. An answer the component wrote whole, as text,
// cannot take lines: its cookies are traced as not sent.
void AddCookies(common::Response& answer, const QString& lines);

} // namespace bridge
