#pragma once

#include "common/component.h"
#include "common/response.h"
#include "common/value.h"

#include <pugixml.hpp>

namespace bridge {

// The class name the web server creates its web application component by.
inline constexpr const char* WEB_APPLICATION_CLASS = "Quorvex.WebApp";

// What the web server asks of the web application component, created anew
// through the object factory for every dynamic request and called exactly
// twice, in this order: SetTranslation, then ProcessRequest (through Answer).
class WebApplication : public common::Component {
public:
    // The root element of the language document the web server has loaded. It
    // stays valid for the life of this component (one request).
    virtual void SetTranslation(pugi::xml_node root) = 0;

    // Answers one request. context is the request's context Dictionary; the
    // component may add or change entries, in particular "Redirect" (a text
    // that makes the web server answer with a 302 to that address instead).
    // The result is converted to text, one character per byte on the wire
    // (Windows-1252): either a page body, which the web server sends behind
    // its own "200 OK" header, or a complete answer beginning "HTTP/1."
    // (webappapi/answertext.h). Raises common::Error for failures; the web server
    // answers them with 500.
    virtual common::Value ProcessRequest(common::DictionaryPtr& context) = 0;

    // ProcessRequest with its answer typed, as the web server calls it: a component that
    // builds a Response gives it here, and its ProcessRequest is the text of that Response.
    // By default the text ProcessRequest returns, read as ResponseFromText reads it.
    virtual common::Response Answer(common::DictionaryPtr& context);
};

} // namespace bridge
