#include "ui/filepicker.h"

#include "ui/folderpicker.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace ui {

bool BrowseForFile(QWidget* parent, const QString& title, const QString& start,
                   const QStringList& nameFilters, QString& chosen) {
    QFileDialog picker(parent, title, NearestExistingFolder(start));
    picker.setObjectName(QStringLiteral("filePicker"));
    picker.setFileMode(QFileDialog::ExistingFile);
    picker.setAcceptMode(QFileDialog::AcceptOpen);
    picker.setNameFilters(nameFilters);
    if (QFileInfo(start).isFile())
        picker.selectFile(start);
    if (picker.exec() != QDialog::Accepted || picker.selectedFiles().isEmpty())
        return false;
    chosen = QDir::cleanPath(picker.selectedFiles().constFirst());
    return true;
}

} // namespace ui
