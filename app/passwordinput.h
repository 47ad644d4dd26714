#pragma once

#include <QString>
#include <cstdio>
#include <optional>

// Reads a password given to a command: one line of in (UTF-8), its line break dropped (a CR
// before it too). On a terminal, prompt goes to standard error first and the typing is not
// echoed. None when in cannot be read; an empty text for an empty line or input.
std::optional<QString> ReadPasswordLine(std::FILE* in, const QString& prompt);
