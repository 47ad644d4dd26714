#pragma once

#include <QString>

namespace core {

// Where the message for a missing scripting component sends the user.
inline constexpr const char* SCRIPTING_DOWNLOAD_LOCATION = "https://www.quorvex.example/download/";

// Makes sure every component the server depends on can be created, tracing each
// check. Raises 429 with the component's own message when a class is missing, or the
// creation error's number with "Error while checking prerequisit component ...".
void CheckComponents();

// Whether a usable spreadsheet application is there (versions 15 down to 9 are
// accepted). Never raises: reason explains a false answer and is empty otherwise.
bool CheckExcel(QString& reason, bool& ok);

} // namespace core
