#include "ui/folderpicker.h"

#include <QDir>
#include <QFileDialog>

namespace ui {

QString NearestExistingFolder(const QString& path) {
    QString folder = path;
    while (!folder.isEmpty() && !QDir(folder).exists()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder)
            break;
        folder = parent;
    }
    return folder;
}

bool BrowseForFolder(QWidget* parent, const QString& title, const QString& startFolder,
                     QString& chosen) {
    QFileDialog picker(parent, title, NearestExistingFolder(startFolder));
    picker.setObjectName(QStringLiteral("folderPicker"));
    picker.setFileMode(QFileDialog::Directory);
    picker.setOption(QFileDialog::ShowDirsOnly);
    picker.setAcceptMode(QFileDialog::AcceptOpen);
    if (picker.exec() != QDialog::Accepted || picker.selectedFiles().isEmpty())
        return false;
    chosen = QDir::cleanPath(picker.selectedFiles().constFirst());
    return true;
}

} // namespace ui
