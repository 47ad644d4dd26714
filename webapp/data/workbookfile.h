#pragma once

#include "common/response.h"

#include <QByteArray>
#include <QString>

struct lxw_workbook;

namespace webapp {

// The file a workbook export is written to, for one request on one thread. The writer needs a
// name until it closes the workbook: the file is made 0600 with a name of its own in folder, a
// folder private to the run, and its worksheets' rows wait in unnamed files there too (the
// writer's constant memory mode: one row in memory at a time). finish() closes the workbook,
// opens the file and takes its name away; an export given up removes it. Raises common::Error
// when the file cannot be made, written or read back.
class WorkbookFile final {
public:
    explicit WorkbookFile(const QString& folder);
    ~WorkbookFile();
    WorkbookFile(const WorkbookFile&) = delete;
    WorkbookFile& operator=(const WorkbookFile&) = delete;

    lxw_workbook* workbook() const { return m_workbook; }
    // The whole workbook, read from its first byte.
    common::Response::File finish();

private:
    QByteArray m_path;
    QByteArray m_folder; // the writer keeps a pointer to it
    lxw_workbook* m_workbook = nullptr;
};

} // namespace webapp
