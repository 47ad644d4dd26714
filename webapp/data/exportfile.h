#pragma once

#include "common/response.h"

#include <QByteArray>
#include <QString>
#include <memory>

class QFile;

namespace webapp {

// A file an export writes its text to as the data server's parts arrive, so that neither the
// rows nor the text are held in memory, and which the web server then streams as the body.
// It never has a name for anybody to find (or, where the file system cannot make such a file,
// only until it is open): made 0600 in folder, a folder private to the run, it is gone as soon
// as the answer is sent or dropped, whatever happens. Raises common::Error when the file
// cannot be made or written.
class ExportFile final {
public:
    explicit ExportFile(const QString& folder);

    void write(const QByteArray& bytes);
    // The whole text, read from its first byte.
    common::Response::File finish();

private:
    std::shared_ptr<QFile> m_file;
    qint64 m_length = 0;
};

} // namespace webapp
