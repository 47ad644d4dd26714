#pragma once

#include <QString>

namespace bridge {

// The key that opens the web application's administration page: the first 32 hexadecimal
// digits (lower case) of SHA-256("admin\n" + secret), where secret is the run's secret (the
// context's "Secret"). The web server puts it into the address it opens, the component
// compares it; the secret itself never leaves the process. An empty secret gives "", which
// the component never accepts.
QString AdminKey(const QString& secret);
// The code of the address that sets up the first administrator account ("/?page=setup&code="),
// made the same way from "setup\n" + secret; printed by a hidden run beside its address. It
// opens the set-up page only while the application has no administrator with a password.
QString SetupKey(const QString& secret);

} // namespace bridge
