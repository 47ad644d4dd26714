#pragma once

#include "common/value.h"

#include <QString>
#include <cstdint>

namespace common {

// Forgiving conversions: they never fail, empty meaning absent.

// Text form of a value; "" for empty, null, objects and arrays.
// Booleans give "True"/"False"; numbers their shortest form with a full stop;
// dates "yyyy-MM-dd HH:mm:ss" (a fixed form rather than the locale's).
QString ToText(const Value& value);
// 32-bit integer, rounded half to even; 0 for anything not numeric or out of range.
int32_t ToLong(const Value& value);
// A value below 0 becomes the integer 0; anything else is returned unchanged.
Value NonNegative(const Value& value);
// The leading decimal number of a text (full stop as separator), 0 when none.
double LeadingNumber(const QString& text);

// The text of value escaped for XML (EscapeFor::Xml).
QString XmlEscape(const Value& value);
// A language file's label text as shown: "\\" is one backslash and "\n" a line break (CR LF),
// read left to right (so "\\n" stays a backslash and the letter n); then %1, %2... are
// replaced by args (one value, or an array of them), %1 before %10.
QString LabelText(const QString& text, const Value& args = {});
// A string as an XPath 1.0 literal (the concat() form when it holds an apostrophe).
QString XPathLiteral(const QString& s);

// True when a non-folder entry exists at path ("" is false).
bool FileExists(const QString& path);
// Opens a URL or document with the desktop's handler; empty value for "".
Value ShellOpen(const QString& target);

} // namespace common
