#pragma once

#include <QString>

namespace dbsvr {

// Where the data version of a database on a server comes from: a text the server itself keeps
// that changes with every change to the data, by whoever made it (ChangeWatch publishes a new
// version whenever the text differs from the one before).
class DataVersionSource {
public:
    virtual ~DataVersionSource() = default;
    // The current text; "" when it cannot be read, and then nothing may be vouched for.
    virtual QString read() = 0;

protected:
    DataVersionSource() = default;
    DataVersionSource(const DataVersionSource&) = delete;
    DataVersionSource& operator=(const DataVersionSource&) = delete;
};

} // namespace dbsvr
