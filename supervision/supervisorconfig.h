#pragma once

#include "common/value.h"

#include <QString>
#include <functional>

namespace dataserver {

// What the data server's supervision needs to know of the web server's run: where the
// data server lives, the files and folders it shares with it, and how the web server runs.
struct SupervisorConfig {
    QString ProgramFolder; // holds the dbsvr executable
    QString ParameterFile;
    QString AliveFile;
    QString MessageFile;
    QString InQueueFolder;  // the web server's: replies arrive here
    QString OutQueueFolder; // the web server's: messages go out here
    QString ApplicationPath;
    QString RunningMutexName; // the web server's own token: the parent of the configuration mode
    bool ShowDataServer = false;
    // Its "Initialized" entry is emptied at every start, so that the web application sees
    // that its data server is a new one.
    common::DictionaryPtr ApplicationDictionary;
    // True once the web server is asked to stop: the long waits for the data server
    // give up then, so that a stop never waits for a start or a stop to time out.
    std::function<bool()> stopRequested;
};

} // namespace dataserver
