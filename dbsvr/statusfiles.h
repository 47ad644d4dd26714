#pragma once

#include <QString>

namespace dbsvr {

// The two files through which the web server watches us. Both are written
// beside their final name and renamed into place, so the web server never
// reads half a file, and readable by their owner only. Both raise
// common::Error when the file cannot be written.

// <XML><Alive>2024-05-01T12:00:00.123</Alive><Pid>4711</Pid></XML>; the web
// server reads only the file's modification time. Does nothing for "".
void WriteAliveFile(const QString& path);

// The message types and codes are the contract's (contract/contract.h).

// <XML><Type>type</Type><Code>code</Code><Message>text</Message></XML>.
// Does nothing for "".
void WriteMessageFile(const QString& path, const QString& type, const QString& code,
                      const QString& message);

} // namespace dbsvr
