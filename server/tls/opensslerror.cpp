#include "server/tls/opensslerror.h"

#include <QStringList>
#include <openssl/err.h>

namespace server {

QString OpenSslErrorText() {
    QStringList reasons;
    while (const unsigned long code = ::ERR_get_error()) {
        char text[256] = {};
        ::ERR_error_string_n(code, text, sizeof text);
        reasons << QString::fromLatin1(text);
    }
    return reasons.join(QStringLiteral("; "));
}

} // namespace server
