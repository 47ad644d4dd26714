#pragma once

#include <QString>

class QWidget;

namespace ui {

// path when it is a folder that exists, else the nearest folder above it that does.
QString NearestExistingFolder(const QString& path);

// The folder picker: opens on startFolder (or the nearest folder above it that exists) and
// lets the user choose a folder. True, with chosen set, when a folder was chosen; false
// when the picker was cancelled.
bool BrowseForFolder(QWidget* parent, const QString& title, const QString& startFolder,
                     QString& chosen);

} // namespace ui
