#pragma once

#include "server/clsheader.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace server {

// Parses the text of one complete request (one character per byte). Every
// header line (after the request line, before the blank line) that holds a ":"
// becomes a parameter; the value starts two characters after the ":" and is
// not trimmed otherwise ("Host:example" gives "xample"); a later line wins.
// Lines of a body are never parameters. An absolute-form target
// ("http://host/path") gives the path that follows the host. nullopt when a
// GET or POST request line cannot be cut (no " HTTP" after the path): the
// caller answers "400 Bad Request". Other methods get an empty FilePath.
std::optional<clsHeader> ProcessDataRequest(const QString& strData);

// The value of the header line name, whose name is matched in any letter case
// (the exact spelling first); nullopt when the request has none.
std::optional<QString> HeaderField(const common::Dictionary& parameters, const QString& name);

// The values of every header line called name (any letter case) of a complete request as it
// came (its bytes), in order: the text after the colon without the blanks and tabs around it
// (RFC 9110 5.5). For the fields that may come on several lines or must not be taken when they
// do (Cookie, Remote-User, X-Forwarded-For), which the parameters keep only the last of.
QList<QByteArray> HeaderValues(QByteArrayView request, QByteArrayView name);

// The value of a header line as the parser stores it: the text from the second
// character after the first ":" ("" when the line ends sooner).
QStringView HeaderLineValue(QStringView line, qsizetype colon);

} // namespace server
