#pragma once

#include <QString>

namespace dbsvr {

class CommandLine;

// `dbsvr mode=config configfolder=<folder> [parentmutex=<name>] [database=<file>]`:
// sets the database file in the application folder's configuration file.
// With database= it writes the setting and says what it did; without it, on a
// desktop, it opens the settings dialog, and elsewhere prints the current
// setting and how to change it. Returns the process exit code.
int RunConfigMode(int& argc, char** argv, const CommandLine& commandLine);

// The settings dialog (configdialog.cpp, the only file on QtWidgets). Ends,
// like a cancel, when the parent token disappears.
int RunConfigDialog(int& argc, char** argv, const QString& configFolder,
                    const QString& parentMutex);

// What the data server says about a database file: "" when it opens as an
// SQLite database, else the reason it does not.
QString DatabaseProblem(const QString& path);

} // namespace dbsvr
