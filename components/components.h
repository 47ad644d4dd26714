#pragma once

namespace components {

// Registers every component class of the program with the object factory: "Halvik.Queue",
// "Scripting.FileSystemObject", "VBScript.RegExp", and "Excel.Application" with
// "Excel.Application.9" to ".15" (built in). Calling it again restores classes that tests
// removed or replaced.
void RegisterComponents();

} // namespace components
