#pragma once

// Readable failure output for Qt types, and an order check on text. Every test source of a
// binary includes this header, so that all of them print these types the same way.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '{' << list.join(QStringLiteral(", ")).toStdString() << '}';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << '"' << bytes.toStdString() << '"';
}

namespace support {

// Whether text holds every entry, each after the one before it.
inline ::testing::AssertionResult ContainsInOrder(const QString& text, const QStringList& entries) {
    qsizetype at = 0;
    for (const QString& entry : entries) {
        const qsizetype found = text.indexOf(entry, at);
        if (found < 0)
            return ::testing::AssertionFailure()
                   << "missing or out of order: " << entry.toStdString() << "\nin:\n"
                   << text.toStdString();
        at = found + entry.size();
    }
    return ::testing::AssertionSuccess();
}

} // namespace support
