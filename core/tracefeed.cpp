#include "core/tracefeed.h"

#include "diagnostics/trace.h"

#include <utility>

namespace core {

TraceFeed::TraceFeed(Sink sink) {
    diagnostics::Diagnostics::instance().setTraceSink(std::move(sink));
}

// Whatever owned the sink's receiver may go next: nothing reaches it from now on.
TraceFeed::~TraceFeed() {
    diagnostics::Diagnostics::instance().setTraceSink({});
}

} // namespace core
