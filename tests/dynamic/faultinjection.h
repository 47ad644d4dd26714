#pragma once

#include "webapp/applicationservice.h"

#include <memory>

// Faults on request, for the tests that drive a real websvr: the test build websvr_faults
// registers the web application component wrapped, so that a dynamic request with the form
// field "qvfault" gets, for qvfault=error, error 5 "Injected fault" raised by the component,
// and for qvfault=redirect a "Redirect" to an address holding CR LF. Every other request
// reaches the real component unchanged. The shipped websvr holds none of this.
void RegisterFaultInjection(const std::shared_ptr<webapp::ApplicationService>& service);
