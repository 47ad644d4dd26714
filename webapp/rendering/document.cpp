#include "webapp/rendering/document.h"

#include "common/version.h"

namespace webapp {

Html RenderDocument(const Document& d) {
    const Html product = Html::text(common::ProductName());
    const Html title = Html::text(d.title);
    // PNG: static files are typed by a fixed table with no entry for SVG, and a browser
    // draws no image sent without its type.
    const Html brand =
        "<img src=\"" + d.webRoot + "logo.png\" width=\"36\" height=\"36\" alt=\"\"> " + product;
    return "<!DOCTYPE html>\n<html lang=\"" + Html::text(d.language) +
           "\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
           title + " - " + product + "</title>\n<link rel=\"icon\" type=\"image/png\" href=\"" +
           d.webRoot + "logo.png\">\n<link rel=\"stylesheet\" href=\"" + d.webRoot +
           "style.css\">\n</head>\n<body class=\"app\">\n<a class=\"skip\" href=\"#main\">" +
           d.skipText + "</a>\n<header class=\"appbar\">" +
           (d.brandLinksHome
                ? Html("<a class=\"brand\" href=\"" + d.webRoot + "\">" + brand + "</a>")
                : Html("<span class=\"brand\">" + brand + "</span>")) +
           d.navigation + "</header>\n<main id=\"main\" tabindex=\"-1\">\n<h1>" + title +
           "</h1>\n" + d.content + "\n</main>\n<footer>" + d.footer +
           "</footer>\n</body>\n</html>\n";
}

} // namespace webapp
