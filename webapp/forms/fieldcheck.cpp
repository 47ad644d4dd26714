#include "webapp/forms/fieldcheck.h"

#include "webapp/forms/valuechecks.h"
#include "webapp/requestcontext.h"

namespace webapp {

namespace {
// On the wire a character takes at least one byte: most texts need no count.
bool tooLong(const QString& wire) {
    return wire.size() > MAX_VALUE_LENGTH && CharacterCount(FromWire(wire)) > MAX_VALUE_LENGTH;
}
} // namespace

std::optional<UnusableField>
FindUnusableField(const RequestContext& context,
                  const std::function<bool(const QString&)>& leftToPage) {
    for (const auto& [name, value] : context.wireFields()) {
        const QString decoded = FromWire(name);
        if (!IsUtf8OnWire(name))
            return UnusableField{decoded, UnusableField::Why::NotText};
        if (tooLong(name))
            return UnusableField{decoded, UnusableField::Why::TooLong};
        if (leftToPage && leftToPage(decoded))
            continue;
        if (!IsUtf8OnWire(value))
            return UnusableField{decoded, UnusableField::Why::NotText};
        if (tooLong(value))
            return UnusableField{decoded, UnusableField::Why::TooLong};
    }
    return std::nullopt;
}

} // namespace webapp
