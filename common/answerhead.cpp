#include "common/answerhead.h"

#include "common/codepage.h"

namespace common {

namespace {
QByteArray line(const char* name, const QByteArray& value) {
    return QByteArray(name) + ": " + value + "\r\n";
}
} // namespace

AnswerHead::AnswerHead(const QString& status)
    : m_bytes("HTTP/1.1 " + ToCodePage(status) + "\r\n") {}

AnswerHead& AnswerHead::add(const char* name, const QString& value) {
    m_bytes += Line(name, value);
    return *this;
}

AnswerHead& AnswerHead::add(const char* name, const QByteArray& value) {
    m_bytes += line(name, value);
    return *this;
}

AnswerHead& AnswerHead::addLines(const QByteArray& lines) {
    m_bytes += lines;
    return *this;
}

QByteArray AnswerHead::Line(const char* name, const QString& value) {
    return line(name, ToCodePage(value));
}

} // namespace common
