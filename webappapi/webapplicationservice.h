#pragma once

#include <QString>

namespace bridge {

// What the web application needs of the web server's configuration, handed over typed
// whenever it changes (the context's entries stay as described, for any component).
struct ApplicationSettings {
    QString applicationFolder; // the ApplicationPath setting
    QString inQueueFolder;     // where the data server's replies arrive
    QString outQueueFolder;    // where messages for the data server are put
    QString instanceFolder;    // this run's own temporary folder, private to its user
    QString urlPrefix;         // the path prefix of the application's addresses ("" for "/")

    bool operator==(const ApplicationSettings&) const = default;
};

// The part of the web application that lasts for a whole run, beside the component made
// anew for every request: what it keeps between requests. The web server's core owns it,
// tells it of every change of the configuration and resets it with the application
// (ResetApplication).
class WebApplicationService {
public:
    virtual ~WebApplicationService() = default;

    virtual void configure(const ApplicationSettings& settings) = 0;
    // Forgets everything kept so far, as at the start of a run; the settings stay.
    virtual void reset() = 0;
};

} // namespace bridge
