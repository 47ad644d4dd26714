#include "common/userinterface.h"

#include <cstdio>

namespace common {

int HeadlessInterface::messageBox(const QString& text, int, const QString& title) {
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(title), qUtf8Printable(text));
    std::fflush(stderr);
    return ANSWER_NONE;
}

} // namespace common
