#pragma once

#include "webapp/rendering/html.h"
#include "webapp/rendering/labels.h"

#include <QString>

namespace webapp {

class RequestContext;

// The common frame of every page: title, menu (Home, Tables, Queries, Forms,
// Administration, Help), the page, and a footer with product and version; the web root's
// style sheet and logo. Every text comes from the labels.
class Frame final {
public:
    Frame(const Labels& labels, const RequestContext& context);

    // A whole HTML document. title is plain text. helpContext names the help topic the
    // menu's Help link opens.
    Html render(const QString& title, const Html& content, const QString& helpContext = {}) const;

    // The address of the help topic (the desktop window's help address form).
    static Link helpLink(const QString& context);

private:
    const Labels& m_labels;
    const RequestContext& m_context;
};

} // namespace webapp
