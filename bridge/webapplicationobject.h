#pragma once

#include "webappapi/webapplication.h"

#include <memory>

namespace bridge {

// A new web application component ("Quorvex.WebApp" through the object factory)
// that has been given the root of the loaded language document. Raises 429
// "Error creating object: Quorvex.WebApp" when no such class is registered, or
// when what is registered under that name is no web application.
std::shared_ptr<WebApplication> GetWebApplicationObject();

} // namespace bridge
