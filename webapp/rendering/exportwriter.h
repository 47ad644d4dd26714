#pragma once

#include "common/response.h"
#include "webapp/data/remotedatabase.h"

namespace webapp {

// Writes one export's rows, a part at a time as the data server sends them, into the file the
// answer is sent from. For the thread that serves the request.
class ExportWriter {
public:
    virtual ~ExportWriter() = default;
    virtual void add(const RowSet& part) = 0;
    // Whether the last part said that rows were left out.
    virtual bool truncated() const = 0;
    // The whole file, read from its first byte.
    virtual common::Response::File finish() = 0;
};

} // namespace webapp
