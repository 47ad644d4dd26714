#pragma once

#include "common/response.h"

#include <QString>

namespace bridge {

// The text form of an answer, as a web application component's ProcessRequest returns it:
// one character per byte of the wire (Windows-1252), either a page body or a complete answer
// that begins with its own status line. The two directions of the conversion live here alone.

// A text beginning "HTTP/1." (in any letter case) is a complete answer, sent as it stands
// (Response::Form::Verbatim); any other text is a page body (Response::Form::Page).
common::Response ResponseFromText(const QString& text);

// The text of an answer: a page body as it is, a complete answer with its head (a body in a
// file is read for it).
QString ResponseText(const common::Response& response);

} // namespace bridge
