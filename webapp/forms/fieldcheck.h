#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace webapp {

class RequestContext;

// A field of a request that no page takes as it came.
struct UnusableField {
    enum class Why {
        NotText, // its name or value is not UTF-8 (a character cut off or wrongly encoded)
        TooLong  // its name or value holds more than MAX_VALUE_LENGTH characters
    };
    QString name; // decoded, for the message
    Why why = Why::NotText;
};

// The first field of the request that is not UTF-8 text or is too long. Fields whose
// decoded name leftToPage accepts are not looked at: their page has rules of its own.
// Nothing is cut or guessed: such a field makes the whole request one to refuse.
std::optional<UnusableField>
FindUnusableField(const RequestContext& context,
                  const std::function<bool(const QString&)>& leftToPage);

} // namespace webapp
