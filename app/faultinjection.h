#pragma once

// Faults on request, for the integration tests that drive the real websvr. With
// QV_FAULT_INJECTION=webapp in the environment, the web application component is
// wrapped: a dynamic request with the form field "qvfault" gets, for
// qvfault=error, error 5 "Injected fault" raised by the component, and for
// qvfault=redirect a "Redirect" to an address holding CR LF. Every other request
// reaches the real component unchanged. Without the variable nothing changes.
#include "webapp/applicationservice.h"

#include <memory>

void RegisterFaultInjection(const std::shared_ptr<webapp::ApplicationService>& service);
