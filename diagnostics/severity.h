#pragma once

namespace diagnostics {

// How grave a log line is: the number in its severity column.
enum class Severity { Info = 0, Warning = 1, Error = 2 };

} // namespace diagnostics
