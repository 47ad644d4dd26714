#pragma once

#include "common/value.h"

#include <QString>
#include <QStringList>

namespace core {

// Parses one command line of items "key", "key=value", "/key" or "-key", separated by
// blanks or commas, into a Dictionary with case-insensitive keys. A key or value in
// double quotes may hold blanks and commas; two double quotes inside stand for one.
// Blanks around keys and values are dropped, quoted or not. A key given twice keeps
// its last value. A quote left open runs to the end of the line.
common::DictionaryPtr ParseCommandLine(const QString& text);

// Rebuilds the one command-line text from the program's argument vector (without
// the program name), so that an argument such as `datafolder=/my data` survives
// ParseCommandLine as one item: the key and the value of an argument are each put
// in double quotes (inner quotes doubled) when they hold a blank, a comma or a
// double quote. Only leading and trailing blanks of a value are lost, as
// ParseCommandLine trims them.
QString JoinArguments(const QStringList& arguments);

// True when the command line (the program's arguments without its name) asks for
// a hidden run: nobody is there to answer a message or a dialog.
bool IsHiddenRun(const QStringList& arguments);

} // namespace core
