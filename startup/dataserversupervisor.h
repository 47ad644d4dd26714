#pragma once

namespace startup {

// What the start-up sequence, the timer tick, the request handler and the shutdown
// ask of the data server's supervision. The web server core holds exactly one.
class DataServerSupervisor {
public:
    virtual ~DataServerSupervisor() = default;

    // Launches the data server; false when it could not be started.
    virtual bool StartDataServer() = 0;
    // Checks the data server and its messages; true when nothing needs attention.
    virtual bool CheckDataServer(bool restartAllowed) = 0;
    // Whether dynamic requests may go to the web application.
    virtual bool IsDataServerRunning() = 0;
    // Shutdown: releases the mutexes shared with the data server.
    virtual void ReleaseDataServerHandles() = 0;
};

} // namespace startup
