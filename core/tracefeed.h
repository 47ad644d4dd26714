#pragma once

#include <QString>
#include <functional>

namespace core {

// The trace-log window's feed: while one lives, every trace entry reaches its sink once it is
// logged, as its text and its time text ("15 ms", or empty). One at a time.
class TraceFeed final {
public:
    using Sink = std::function<void(const QString& text, const QString& timeText)>;

    explicit TraceFeed(Sink sink);
    ~TraceFeed();
    TraceFeed(const TraceFeed&) = delete;
    TraceFeed& operator=(const TraceFeed&) = delete;
};

} // namespace core
