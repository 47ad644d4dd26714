#pragma once

#include "common/component.h"

#include <QString>

class QRegularExpression;

namespace components {

// "VBScript.RegExp": regular expressions with the scripting runtime's properties.
// Patterns are Perl-compatible, which covers the scripting syntax.
class RegExp final : public common::Component {
public:
    static const QString CLASS_NAME; // "VBScript.RegExp"

    QString className() const override { return CLASS_NAME; }

    QString Pattern;
    bool IgnoreCase = false;
    bool Global = false;    // Replace replaces every match, not only the first
    bool Multiline = false; // ^ and $ match at line breaks

    // Whether the pattern matches somewhere in text. An invalid pattern raises 5017.
    bool Test(const QString& text) const;
    // text with the first (or, with Global, every) match replaced; in replacement "$1".."$99"
    // stand for groups, "$&" for the whole match and "$$" for "$".
    QString Replace(const QString& text, const QString& replacement) const;

private:
    QRegularExpression compiled() const;
};

} // namespace components
