#pragma once

#include "webapp/pageenvironment.h"

#include <QString>
#include <optional>

namespace webapp {

// A name that stays inside its folder: not empty, no "/", "\", NUL or other control
// character, not "." or "..", and no leading dot (hidden files stay hidden).
bool IsPlainFileName(const QString& name);

// The bytes of the file name in folder (a folder of the application folder); nullopt when it
// is not a readable regular file inside folder: a symbolic link that leads out of it is not
// followed. A file unchanged since an earlier request of the run costs one stat.
std::optional<QByteArray> ReadApplicationFile(const PageEnvironment& env, const QString& folder,
                                              const QString& name);

// The HTML of an application page file: Windows-1252 unless it starts with a UTF-8
// byte-order mark; of a whole document only what its body holds. title receives the
// document's <title>, when it has one.
QString PageFileContent(const QByteArray& bytes, QString* title = nullptr);

// The home page, pages/home.htm of the application folder, in the frame.
Response HomePage(const PageEnvironment& env);
// ?page=page&name=about: pages/about.htm; any name but a plain file name gets 404.
Response NamedPage(const PageEnvironment& env);

} // namespace webapp
