#pragma once

#include <QString>

// What websvr and dbsvr agree on, for both to include: a name changed here changes on
// both sides at once. The queue messages themselves (files "<id>.msg" in a queue folder)
// are the queue component's format, components/queue.h.

namespace dataserver {

// The parameter file websvr writes for each start of the data server and dbsvr reads:
// one line key="value" per entry of PARAMETER_KEYS, in that order, joined by CRLF with
// none after the last; Windows-1252, or UTF-8 after a byte-order mark.
struct Parameters {
    QString parentMutex;  // token held by whoever wants the data server alive
    QString runningMutex; // token the data server holds while it runs
    QString inQueue;      // where the data server reads requests (websvr's out-queue)
    QString outQueue;     // where it puts its replies (websvr's in-queue)
    QString aliveFile;
    QString messageFile;
    QString configFolder; // the application folder
};

struct ParameterKey {
    const char* key;
    QString Parameters::*value;
};

inline constexpr ParameterKey PARAMETER_KEYS[] = {
    {"parentmutex", &Parameters::parentMutex},   {"runningmutex", &Parameters::runningMutex},
    {"inqueue", &Parameters::inQueue},           {"outqueue", &Parameters::outQueue},
    {"alivefile", &Parameters::aliveFile},       {"messagefile", &Parameters::messageFile},
    {"configfolder", &Parameters::configFolder},
};

inline constexpr char UTF8_BYTE_ORDER_MARK[] = "\xEF\xBB\xBF";

// The message file, <XML><Type>type</Type><Code>code</Code><Message>text</Message></XML>:
// the types websvr acts on, and the code of a "Message" that makes an interactive websvr
// open the data connection settings.
inline constexpr char MESSAGE_CRITICAL[] = "Critical";
inline constexpr char MESSAGE_RESTART[] = "Restart";
inline constexpr char MESSAGE_DONE[] = "Done";
inline constexpr char MESSAGE_MESSAGE[] = "Message";
inline constexpr char CODE_UNABLE_TO_CONNECT_DB[] = "UnableToConnectDB";

// The environment variable that names the folder of the data server's daily log: websvr
// sets it to its own logs folder for the data server it starts. Without it, dbsvr logs into
// data/Logs of its program folder, where a websvr with the default data folder logs.
inline constexpr char LOGS_FOLDER_VARIABLE[] = "QV_LOGS_FOLDER";

// The data server's one-message mode, `dbsvr message=- configfolder=<application folder>`:
// one request on its standard input, the reply on its standard output, and these exit codes.
inline constexpr char ONE_MESSAGE_KEY[] = "message";
inline constexpr char ONE_MESSAGE_STDIN[] = "-";
inline constexpr int ONE_MESSAGE_ANSWERED = 0;    // the reply is not an error
inline constexpr int ONE_MESSAGE_FAILED = 1;      // the reply is an error, or was not written
inline constexpr int ONE_MESSAGE_NO_DATABASE = 2; // no database opened, or a wrong command line

// The token a developer's hand-started data server holds: websvr then starts none.
inline constexpr char DEBUG_TOKEN[] = "DS_DEBUG";

// The two queue folders under an instance's queue folder: websvr's messages to the data
// server go into "requests", its replies come back in "results".
inline constexpr char QUEUE_REQUESTS[] = "requests";
inline constexpr char QUEUE_RESULTS[] = "results";

} // namespace dataserver
