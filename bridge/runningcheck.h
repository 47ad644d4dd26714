#pragma once

#include <QElapsedTimer>
#include <functional>

namespace bridge {

// Whether the data server runs, asked for every dynamic request. Asking costs a
// connection to its running token in both processes, a sixth of a small page's
// time, so a "running" answer is reused for REUSE_MS; "not running" is never
// reused, so a replaced data server is seen at once. A data server lost within
// the window only costs the requests of that window the component's own
// "try again" answer instead of the "not running" one.
class RunningCheck final {
public:
    static constexpr qint64 REUSE_MS = 100;

    explicit RunningCheck(std::function<bool()> isRunning) : m_isRunning(std::move(isRunning)) {}

    bool operator()();

private:
    std::function<bool()> m_isRunning;
    QElapsedTimer m_seenRunning; // invalid: not seen running lately
};

} // namespace bridge
