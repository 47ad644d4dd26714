#pragma once

namespace startup {

// What the start-up sequence, the timer tick, the request handler, the menus and the
// shutdown ask of the data server's supervision. The web server core holds exactly one.
class DataServerSupervisor {
public:
    virtual ~DataServerSupervisor() = default;

    // Launches the data server; false when it could not be started.
    virtual bool StartDataServer() = 0;
    // Stops and starts it again (after a change of settings); false when the start failed.
    virtual bool RestartDataServer() = 0;
    // Checks the data server and its messages; true when nothing needs attention.
    virtual bool CheckDataServer(bool restartAllowed) = 0;
    // Whether dynamic requests may go to the web application.
    virtual bool IsDataServerRunning() = 0;
    // Opens the data server's own data connection settings; raises when it cannot start.
    virtual bool ShowDataConnectionSettings() = 0;
    // Shutdown: releases the mutexes shared with the data server and gives it a moment to
    // end, so that it leaves no file behind.
    virtual void ReleaseDataServerHandles() = 0;
};

} // namespace startup
