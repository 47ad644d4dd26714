#pragma once

#include <QString>

namespace webapp {

// Passwords as kept: Argon2id strings (libsodium's crypto_pwhash_str), which hold their salt
// and their cost, so that a cost raised later still verifies the hashes made before it.
// The cost is MEMORY_BYTES and OPERATIONS per hash: some tens of milliseconds of one core.
// Sign-ins are bounded by it by design (see SignInGate).
struct PasswordPolicy {
    static constexpr int MIN_LENGTH = 8;
    static constexpr int MAX_LENGTH = 1024; // characters; a longer one costs the same to hash
    static constexpr unsigned long long OPERATIONS = 2;
    static constexpr size_t MEMORY_BYTES = 19u * 1024 * 1024;
};

// The label id of what is wrong with a user name (1 to MAX_USER_NAME characters after
// trimming, no control characters); "" when it will do.
inline constexpr int MAX_USER_NAME = 64;
const char* UserNameProblem(const QString& name);
// The label id of what is wrong with a new password; "" when it will do.
const char* PasswordProblem(const QString& password);
// A new hash of password. Raises common::Error when the memory for it cannot be had.
QString HashPassword(const QString& password);
// Whether password is the one hash was made of; false for an empty or malformed hash.
bool VerifyPassword(const QString& hash, const QString& password);
// Whether hash was made with another cost than today's: it is made again at the next sign-in.
bool NeedsRehash(const QString& hash);
// A hash of a password nobody knows, made once: verified against when the account does not
// exist, so that an unknown user costs what a wrong password costs.
const QString& DecoyHash();

} // namespace webapp
