#include "components/regexp.h"

#include "common/error.h"

#include <QRegularExpression>

namespace components {

const QString RegExp::CLASS_NAME = QStringLiteral("VBScript.RegExp");

namespace {
constexpr int ERR_REGEXP_SYNTAX = 5017;

// Expands "$n", "$&" and "$$" of a replacement for one match; anything else stays as it is.
QString expand(const QString& replacement, const QRegularExpressionMatch& match) {
    QString out;
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement.at(i);
        const QChar next = i + 1 < replacement.size() ? replacement.at(i + 1) : QChar();
        if (c != QLatin1Char('$') || next.isNull()) {
            out += c;
        } else if (next == QLatin1Char('$')) {
            out += QLatin1Char('$');
            ++i;
        } else if (next == QLatin1Char('&')) {
            out += match.captured(0);
            ++i;
        } else if (next.isDigit() && next != QLatin1Char('0')) {
            int group = next.digitValue();
            qsizetype used = 1;
            const QChar second = i + 2 < replacement.size() ? replacement.at(i + 2) : QChar();
            if (second.isDigit() && group * 10 + second.digitValue() <= match.lastCapturedIndex()) {
                group = group * 10 + second.digitValue();
                used = 2;
            }
            if (group <= match.lastCapturedIndex()) {
                out += match.captured(group);
                i += used;
            } else {
                out += c;
            }
        } else {
            out += c;
        }
    }
    return out;
}
} // namespace

QRegularExpression RegExp::compiled() const {
    QRegularExpression::PatternOptions options;
    if (IgnoreCase)
        options |= QRegularExpression::CaseInsensitiveOption;
    if (Multiline)
        options |= QRegularExpression::MultilineOption;
    QRegularExpression re(Pattern, options);
    if (!re.isValid())
        throw common::Error(
            ERR_REGEXP_SYNTAX,
            QStringLiteral("Syntax error in regular expression: ") + re.errorString(), CLASS_NAME);
    return re;
}

bool RegExp::Test(const QString& text) const {
    return compiled().match(text).hasMatch();
}

QString RegExp::Replace(const QString& text, const QString& replacement) const {
    const QRegularExpression re = compiled();
    QString out;
    qsizetype copied = 0;
    auto it = re.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        out += text.mid(copied, match.capturedStart(0) - copied);
        out += expand(replacement, match);
        copied = match.capturedEnd(0);
        if (!Global)
            break;
    }
    return out + text.mid(copied);
}

} // namespace components
