#pragma once

#include "bridge/newcontext.h"
#include "bridge/runningcheck.h"
#include "server/requesthandler.h"

#include <functional>

namespace bridge {

struct PageContext;

// The answer to a dynamic request while the data server is down, complete with
// its status line.
common::Response DataServerNotRunningAnswer();

// What the HTTP layer's dynamic requests reach: refused with
// DataServerNotRunningAnswer while the data server is down, otherwise made by the
// web application component from a request object and a new context.
// Prepare belongs to the event loop's thread: it reads the core's record and status
// there, and nothing more; the work it gives holds its own copies and runs anywhere.
class DynamicPages final : public server::RequestHandler {
public:
    // context: the core's record, read at every request. isDataServerRunning:
    // whether the data server runs now (asked through a RunningCheck).
    DynamicPages(const PageContext& context, std::function<bool()> isDataServerRunning)
        : m_context(context), m_isDataServerRunning(std::move(isDataServerRunning)) {}

    // The work builds the request object, a new component and a new context, has the
    // component answer and traces "Processing time". A "Redirect" the component set
    // replaces its answer by RedirectAnswer; the cookies it set ("SetCookie") are added to
    // the answer (AddCookies). Errors of the component, of its creation and
    // of a refused redirect pass to the HTTP layer, which answers 500.
    server::PageWork Prepare(const server::DynamicRequest& request) override;

private:
    const PageContext& m_context;
    RunningCheck m_isDataServerRunning;
    ContextMaker m_contexts;
};

} // namespace bridge
