#pragma once

#include <QString>

namespace core {

// Whether path is a usable web application folder: it must hold "pages",
// "pages/home.htm" and "forms". A missing folder (or a file) is reported and gives
// false; a folder lacking elements is completed only when the user answers Yes, which
// a hidden run never does. File-system failures raise common::Error.
bool CheckApplicationFolder(const QString& path);

// Writes path/pages/home.htm (Windows-1252): the product name as heading, then the
// translated "HomePageText" with {ProductName} and {HomePageFile} filled in.
void WriteDefaultHomePage(const QString& path);

} // namespace core
