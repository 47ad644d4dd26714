#pragma once

#include "contract/contract.h"

#include <QByteArrayView>
#include <QString>

namespace dbsvr {

// What the web server hands the data server in its parameter file.
using dataserver::Parameters;

// Parses the parameter file's text: Windows-1252, or UTF-8 when it begins with
// a byte-order mark; lines key="value" separated by CRLF (a bare LF is
// accepted too). Keys compare without regard to case;
// unknown keys and lines without "=" are ignored; a value without quotes is
// taken as it stands. Never fails: missing keys stay empty.
Parameters ParseParameterText(QByteArrayView bytes);

// Reads and parses the file; raises common::Error when it cannot be read.
Parameters ReadParameterFile(const QString& path);

} // namespace dbsvr
