#pragma once

#include "startup/dataserversupervisor.h"

namespace startup {

// Stands in until the data server is supervised: nothing is launched, and the data
// server counts as running only when a developer runs one by hand ("DS_DEBUG" held).
class UnsupervisedDataServer final : public DataServerSupervisor {
public:
    explicit UnsupervisedDataServer(const bool& dataServerDebug) : m_debug(dataServerDebug) {}

    bool StartDataServer() override { return true; }
    bool CheckDataServer(bool) override { return m_debug; }
    bool IsDataServerRunning() override { return m_debug; }
    void ReleaseDataServerHandles() override {}

private:
    const bool& m_debug;
};

} // namespace startup
