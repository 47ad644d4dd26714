#pragma once

#include <QString>

namespace common {

// A new GUID as 36 upper-case hexadecimal characters grouped 8-4-4-4-12, no braces.
QString NewGuidString();

} // namespace common
