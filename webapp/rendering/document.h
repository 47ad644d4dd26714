#pragma once

#include "webapp/rendering/html.h"

namespace webapp {

// What makes a page's content a whole HTML document: the pages the web application serves
// and the help files shipped with the program share its head, header and footer.
struct Document {
    QString language; // the lang attribute
    QString title;    // plain text: the heading, and the window title with the product's name
    // What the style sheet and the logo are named after: "/app/" or "../../wwwroot/".
    Html webRoot;
    bool brandLinksHome = false; // the logo and name link to webRoot
    Html navigation;             // after the brand in the header
    Html skipText;               // the skip link's text ("Skip to content")
    Html content;
    Html footer;
};

Html RenderDocument(const Document& document);

} // namespace webapp
