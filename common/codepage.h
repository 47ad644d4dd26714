#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace common {

// Windows-1252, the single-byte code page of the wire, the log, the parameter
// file and the home page. Conversion happens at the edges, here only.
// Characters the code page cannot hold become "?".
QByteArray ToCodePage(const QString& text);
QString FromCodePage(QByteArrayView bytes);

// The character of one code-page byte (0..255).
QChar CodePageChar(unsigned char byte);

} // namespace common
