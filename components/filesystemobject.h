#pragma once

#include "common/component.h"

#include <QString>

namespace components {

// "Scripting.FileSystemObject": the folder and file tests and folder creation the program
// asks of the scripting runtime's file-system object.
class FileSystemObject final : public common::Component {
public:
    static const QString CLASS_NAME; // "Scripting.FileSystemObject"

    QString className() const override { return CLASS_NAME; }

    bool FolderExists(const QString& path) const;
    bool FileExists(const QString& path) const;
    // Creates one folder whose parent exists. Raises common::Error 58 "File already exists"
    // when something is there, 76 "Path not found" without the parent, 70 "Permission denied"
    // when refused, otherwise the errno with its text.
    void CreateFolder(const QString& path) const;
};

} // namespace components
