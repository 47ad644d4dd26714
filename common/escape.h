#pragma once

#include <QString>
#include <QStringView>

namespace common {

// Where an escaped text is written. Either way it may stand as element text and as an
// attribute value in double quotes.
enum class EscapeFor {
    // XML messages and files: "&", "<", ">" and the double quote as character references,
    // every other character as it is, so that a parser reads back exactly what was written.
    Xml,
    // Web pages: those and "'" (as "&#39;", for values in single quotes); control characters
    // other than tab, line feed and carriage return (NUL included), which a browser shows as
    // nothing, as their Unicode control pictures (U+2400 + c, U+2421 for DEL), so that a page
    // shows every character a text holds.
    Html,
};

// Appends text to out, escaped for target.
void AppendEscaped(QString& out, QStringView text, EscapeFor target);
// text escaped for target; text itself, shared rather than copied, when nothing needs it.
QString Escaped(const QString& text, EscapeFor target);

} // namespace common
