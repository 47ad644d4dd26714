#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace ui {

// The file picker: opens in the folder of start (or the nearest folder above it that
// exists), with start selected when it is a file, showing the files that match the first
// of nameFilters ("PEM files (*.pem)"). True, with chosen set to the file's absolute path,
// when a file was chosen; false when the picker was cancelled.
bool BrowseForFile(QWidget* parent, const QString& title, const QString& start,
                   const QStringList& nameFilters, QString& chosen);

} // namespace ui
