#pragma once

#include <QString>

namespace bridge {

// The key that opens the web application's administration page: the first 32 hexadecimal
// digits (lower case) of SHA-256("admin\n" + secret), where secret is the run's secret (the
// context's "Secret"). The web server puts it into the address it opens, the component
// compares it; the secret itself never leaves the process. An empty secret gives "", which
// the component never accepts.
QString AdminKey(const QString& secret);

} // namespace bridge
