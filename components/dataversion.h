#pragma once

#include <QString>

// The data version of a reply queue: a short text the replying side keeps in a file beside
// its replies and changes whenever the data its replies are made from may have changed. A
// reader may reuse an earlier reply to the same request while the text it read before sending
// that request is still the one it reads now. No file: nothing may be reused.

namespace components {

// The file's name in the queue folder (not a message: it never ends in ".msg").
inline constexpr char DATA_VERSION_FILE[] = "data.version";

// The version text; "" when there is none or it cannot be read.
QString ReadDataVersion(const QString& queueFolder);

// Replaces the version with text, all at once (written in the queue's "tmp" subfolder and
// renamed in). Returns false when it could not be written; the old file is then removed so
// that nothing stale is vouched for.
bool PublishDataVersion(const QString& queueFolder, const QString& text);

// Removes the version: from now on nothing may be reused.
void WithdrawDataVersion(const QString& queueFolder);

} // namespace components
