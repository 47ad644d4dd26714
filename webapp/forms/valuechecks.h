#pragma once

#include <QString>
#include <optional>

namespace webapp {

// Checks of one entered value, shared by query parameters and form fields.

// The most characters a field of a request may hold: a form field without a maxlength of
// its own, a filter value, a query parameter, any other field and any field's name.
inline constexpr qsizetype MAX_VALUE_LENGTH = 10000;

// A whole number that fits 64 bits, optionally signed; blanks around it are allowed.
std::optional<qint64> ParseInteger(const QString& text);
// A finite decimal number ("2.5", "-1e3"); blanks around it are allowed.
std::optional<double> ParseReal(const QString& text);
// Something like name@host.domain, no blanks.
bool IsEmailAddress(const QString& text);
// A calendar date written yyyy-MM-dd, as date inputs send it.
bool IsIsoDate(const QString& text);
// Characters XML cannot carry to the data server (NUL and other control characters, lone
// surrogates); tab and line breaks only where lineBreaks allows them.
bool HasUnsendableCharacters(const QString& text, bool lineBreaks);
// The length in characters as a user counts them (a character outside the BMP is one).
qsizetype CharacterCount(const QString& text);

} // namespace webapp
