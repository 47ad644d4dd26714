#pragma once

#include <QByteArray>
#include <QString>

namespace common {

// The head of an HTTP answer: the status line, the header lines in the order
// they are added, then the blank line. Text goes out in the code page.
class AnswerHead final {
public:
    // status: "200 OK".
    explicit AnswerHead(const QString& status);

    AnswerHead& add(const char* name, const QString& value);
    AnswerHead& add(const char* name, const QByteArray& value);
    // Lines built before with Line, as a cache keeps them.
    AnswerHead& addLines(const QByteArray& lines);
    // The head with its blank line.
    QByteArray end() const { return m_bytes + "\r\n"; }

    // One header line "name: value" with its line end.
    static QByteArray Line(const char* name, const QString& value);

private:
    QByteArray m_bytes;
};

} // namespace common
