#pragma once

#include <QString>

namespace common {

// The help pages ship with the program as HTML files, so that help opens whatever state the
// server is in (not listening yet, its port taken, the data server down):
// <program folder>/help/<language code>/<file>, one file per help context.
inline constexpr const char* HELP_FOLDER = "help";
// The language whose pages stand in for a language that has none.
inline constexpr const char* HELP_FALLBACK_LANGUAGE = "en";

// The file of a help context: "index.html" for the contents (""), the context + ".html" for
// one of ASCII letters, digits, "-" and "_" ("tracelog.html", "ServerSettings.html");
// "index.html" for any other, so that no context leads out of its language's folder.
QString HelpFileName(const QString& context);

// The file URL of the page for context in language (a code named as a context is): the
// language's pages, else those of HELP_FALLBACK_LANGUAGE; the contents when the context has
// no page of its own.
QString HelpFileAddress(const QString& programFolder, const QString& language,
                        const QString& context);

} // namespace common
