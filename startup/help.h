#pragma once

#include <QString>

namespace startup {

// The product identifier the help address names.
inline constexpr const char* PRODUCT_ID = "QV";

// The help page for context, served by this server itself so that help works without the
// internet: http://localhost:<port>/fn/?productid=QV&version=1.0.202&fn=help&context=<context>.
// The context is empty for the web server's own help, "tracelog" and "ServerSettings" for
// the trace log and the settings dialog.
QString HelpAddress(int port, const QString& context);

} // namespace startup
