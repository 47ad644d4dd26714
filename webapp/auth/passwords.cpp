#include "webapp/auth/passwords.h"

#include "common/error.h"

#include <sodium.h>

namespace webapp {

namespace {

void initialise() {
    // Safe to call from several threads and more than once.
    if (sodium_init() < 0)
        throw common::Error(0, QStringLiteral("The cryptography library cannot be initialised."));
}

} // namespace

namespace {
bool hasControl(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    return false;
}
} // namespace

const char* UserNameProblem(const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > MAX_USER_NAME || hasControl(trimmed))
        return "webUserNameInvalid";
    return "";
}

const char* PasswordProblem(const QString& password) {
    if (password.size() < PasswordPolicy::MIN_LENGTH)
        return "webPasswordShort";
    if (password.size() > PasswordPolicy::MAX_LENGTH)
        return "webPasswordLong";
    if (hasControl(password))
        return "webPasswordControl";
    return "";
}

QString HashPassword(const QString& password) {
    initialise();
    const QByteArray bytes = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, bytes.constData(), size_t(bytes.size()),
                              PasswordPolicy::OPERATIONS, PasswordPolicy::MEMORY_BYTES,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw common::Error(0, QStringLiteral("Not enough memory to hash a password."));
    return QString::fromLatin1(out);
}

bool VerifyPassword(const QString& hash, const QString& password) {
    initialise();
    const QByteArray stored = hash.toLatin1();
    if (stored.isEmpty() || stored.size() >= crypto_pwhash_STRBYTES)
        return false;
    const QByteArray bytes = password.toUtf8();
    return crypto_pwhash_str_verify(stored.constData(), bytes.constData(), size_t(bytes.size())) ==
           0;
}

bool NeedsRehash(const QString& hash) {
    initialise();
    const QByteArray stored = hash.toLatin1();
    return crypto_pwhash_str_needs_rehash(stored.constData(), PasswordPolicy::OPERATIONS,
                                          PasswordPolicy::MEMORY_BYTES) != 0;
}

const QString& DecoyHash() {
    static const QString decoy = [] {
        initialise();
        unsigned char random[32];
        randombytes_buf(random, sizeof random);
        return HashPassword(QString::fromLatin1(
            QByteArray(reinterpret_cast<const char*>(random), sizeof random).toBase64()));
    }();
    return decoy;
}

} // namespace webapp
