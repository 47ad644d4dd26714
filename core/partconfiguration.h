#pragma once

namespace bridge {
struct PageContext;
class WebApplicationService;
} // namespace bridge
namespace dataserver {
class Supervisor;
}
namespace server {
struct HttpConfig;
}

namespace core {

struct Configuration;

// What each part of the core sees of the run's configuration: the one place where a value
// of the configuration is handed to the part that uses it. Each sets the values the
// configuration decides and leaves the part's others (limits, the core's callbacks) as they
// are. The core calls them again after every change of the configuration.
void ConfigureHttpServer(const Configuration& configuration, server::HttpConfig& http);
void ConfigureSupervision(const Configuration& configuration, dataserver::Supervisor& supervisor);
void ConfigurePages(const Configuration& configuration, bridge::PageContext& pages);
void ConfigureWebApplication(const Configuration& configuration,
                             bridge::WebApplicationService& webApplication);

} // namespace core
