#pragma once

#include <QString>

namespace common {

// Decodes "+" to a space and "%XY" escapes to the Windows-1252 character of
// that byte. The escapes are worked off from the end of the text backwards, so
// a character produced by one escape may serve as a digit of the escape in
// front of it but is never decoded again on its own ("%2541" gives "%41").
// Malformed escapes are not errors: the run of hex digits at the start of the
// two characters after "%" gives the byte (none gives 0), and both characters
// are consumed ("%4z" gives the byte 4, "%zz" the byte 0, a final "%" the byte 0).
QString UrlDecode(const QString& text);

} // namespace common
