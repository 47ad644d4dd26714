#pragma once

#include <QString>

namespace server {

// The content type of a file by its extension: the text after the last "." of
// the whole name (folders included; no "." means the whole name), looked up
// case-sensitively in the program's own table of 160 extensions. "" when the
// extension is not in the table ("GIF" is not "gif").
QString GetContentType(const QString& fileName);

// Number of entries in the table.
int ContentTypeCount();

} // namespace server
