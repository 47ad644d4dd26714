#include "common/escape.h"

#include <algorithm>

namespace common {

namespace {

// Tab, line feed and carriage return are the white space of multi-line text: a text area
// shows them as they are, and elsewhere they read as blanks.
bool isInvisibleControl(char16_t c) {
    return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0x7F;
}

// The character reference that stands for c; empty when c needs none.
QLatin1String reference(char16_t c, EscapeFor target) {
    switch (c) {
    case u'&':
        return QLatin1String("&amp;");
    case u'<':
        return QLatin1String("&lt;");
    case u'>':
        return QLatin1String("&gt;");
    case u'"':
        return QLatin1String("&quot;");
    case u'\'':
        return target == EscapeFor::Html ? QLatin1String("&#39;") : QLatin1String();
    default:
        return {};
    }
}

bool needsEscaping(char16_t c, EscapeFor target) {
    if (c > u'>') // letters and most else: only DEL is above every character with a reference
        return c == 0x7F && target == EscapeFor::Html;
    return !reference(c, target).isEmpty() || (target == EscapeFor::Html && isInvisibleControl(c));
}

QChar controlPicture(char16_t c) {
    return QChar(c == 0x7F ? char16_t(0x2421) : char16_t(0x2400 + c));
}

} // namespace

void AppendEscaped(QString& out, QStringView text, EscapeFor target) {
    qsizetype plain = 0; // where the run of characters that stand as they are begins
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!needsEscaping(c, target))
            continue;
        out += text.sliced(plain, i - plain);
        const QLatin1String ref = reference(c, target);
        if (ref.isEmpty())
            out += controlPicture(c);
        else
            out += ref;
        plain = i + 1;
    }
    out += text.sliced(plain);
}

QString Escaped(const QString& text, EscapeFor target) {
    // Most texts need nothing: they are returned shared, without a copy.
    if (std::none_of(text.begin(), text.end(),
                     [target](QChar c) { return needsEscaping(c.unicode(), target); }))
        return text;
    QString out;
    out.reserve(text.size() + text.size() / 8);
    AppendEscaped(out, text, target);
    return out;
}

} // namespace common
