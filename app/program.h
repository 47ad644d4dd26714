#pragma once

#include <functional>
#include <memory>

namespace webapp {
class ApplicationService;
}

// How the web application component is registered with the object factory for the run's
// service; webapp::RegisterWebApplication unless a test build puts another in its place.
using WebApplicationRegistration =
    std::function<void(const std::shared_ptr<webapp::ApplicationService>&)>;

// The whole websvr program, from its arguments to its exit status: desktop or headless
// chosen before the application object, the components and the web application registered,
// the core run until it finishes.
int RunWebServer(int argc, char** argv,
                 const WebApplicationRegistration& registerWebApplication = {});
