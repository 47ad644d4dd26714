#include "core/commandline.h"

#include "common/dictionary.h"
#include "common/objectfactory.h"

namespace core {

namespace {

const QChar QUOTE = QLatin1Char('"');
const QChar BLANK = QLatin1Char(' ');
const QChar COMMA = QLatin1Char(',');
const QChar EQUALS = QLatin1Char('=');

// Blanks only: tabs and other white space are ordinary characters here.
QString trimBlanks(const QString& s) {
    qsizetype start = 0;
    qsizetype end = s.size();
    while (start < end && s[start] == BLANK)
        ++start;
    while (end > start && s[end - 1] == BLANK)
        --end;
    return s.mid(start, end - start);
}

// Reads a quoted text starting at pos (on the opening quote); leaves pos after the
// closing quote, or at the end when the quote is never closed.
QString readQuoted(const QString& text, qsizetype& pos) {
    QString out;
    ++pos;
    while (pos < text.size()) {
        const QChar c = text[pos];
        if (c != QUOTE) {
            out += c;
            ++pos;
        } else if (pos + 1 < text.size() && text[pos + 1] == QUOTE) {
            out += QUOTE;
            pos += 2;
        } else {
            ++pos;
            break;
        }
    }
    return out;
}

QString readUntil(const QString& text, qsizetype& pos, const QString& stops) {
    const qsizetype start = pos;
    while (pos < text.size() && !stops.contains(text[pos]))
        ++pos;
    return text.mid(start, pos - start);
}

QString readPart(const QString& text, qsizetype& pos, const QString& stops) {
    if (pos < text.size() && text[pos] == QUOTE)
        return readQuoted(text, pos);
    return readUntil(text, pos, stops);
}

QString quoted(const QString& s, const QString& specials) {
    for (const QChar c : specials) {
        if (s.contains(c)) {
            QString inner = s;
            inner.replace(QUOTE, QStringLiteral("\"\""));
            return QUOTE + inner + QUOTE;
        }
    }
    return s;
}

} // namespace

common::DictionaryPtr ParseCommandLine(const QString& text) {
    const common::DictionaryPtr items = common::NewHalvikDictionary();
    QString rest = trimBlanks(text);
    while (!rest.isEmpty()) {
        qsizetype pos = 0;
        QString key = trimBlanks(readPart(rest, pos, QStringLiteral("=, ")));
        if (key.startsWith(QLatin1Char('/')) || key.startsWith(QLatin1Char('-')))
            key.remove(0, 1);
        QString value;
        if (pos < rest.size() && rest[pos] == EQUALS) {
            ++pos;
            value = trimBlanks(readPart(rest, pos, QStringLiteral(", ")));
        }
        if (pos < rest.size() && (rest[pos] == COMMA || rest[pos] == BLANK))
            ++pos;
        items->Add(key, value);
        rest = trimBlanks(rest.mid(pos));
    }
    return items;
}

QString JoinArguments(const QStringList& arguments) {
    QStringList items;
    for (const QString& argument : arguments) {
        if (argument.isEmpty())
            continue;
        const qsizetype eq = argument.indexOf(EQUALS);
        if (eq < 0) {
            items << quoted(argument, QStringLiteral(" ,\"="));
            continue;
        }
        items << quoted(argument.left(eq), QStringLiteral(" ,\"=")) + EQUALS +
                     quoted(argument.mid(eq + 1), QStringLiteral(" ,\""));
    }
    return items.join(BLANK);
}

bool IsHiddenRun(const QStringList& arguments) {
    return ParseCommandLine(JoinArguments(arguments))->Exists(QStringLiteral("hidden"));
}

} // namespace core
