#include "server/tls/opensslerror.h"

#include <openssl/err.h>

namespace server {

QString OpenSslErrorText() {
    QString text;
    while (const unsigned long code = ERR_get_error()) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        // "error:0A00010B:SSL routines::wrong version number": the reason is what a person reads.
        const char* reason = ERR_reason_error_string(code);
        if (!text.isEmpty())
            text += QStringLiteral("; ");
        text += QString::fromUtf8(reason ? reason : buffer);
    }
    return text;
}

void ClearOpenSslErrors() {
    ERR_clear_error();
}

} // namespace server
