#pragma once

#include <QStringList>

// `websvr adduser=NAME role=ROLE`: adds a user of the web application, or changes one, from a
// script, with the password on standard input. It reads the settings file as a start does
// (datafolder=, configfolder=, config=, language= as there) but writes nothing of it, starts no
// server and needs no display: the program folder's data server, in its one-message mode,
// saves the user in the application's database.

// The exit codes.
inline constexpr int ADDUSER_SAVED = 0;
inline constexpr int ADDUSER_REFUSED = 1;   // name, role, password or application: nothing written
inline constexpr int ADDUSER_NOT_SAVED = 2; // the data server could not save it

// Whether the command line (the program's arguments without its name) asks for it.
bool IsAddUserCommand(const QStringList& arguments);

// Runs it: a line on standard output when the user was saved, else one on standard error, and
// the exit code. Neither ever holds the password or its hash.
int RunAddUser(const QStringList& arguments);
