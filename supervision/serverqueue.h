#pragma once

#include <QString>
#include <memory>
#include <pugixml.hpp>

// Messages to the data server through the two queue folders (see components/queue.h for
// the message files) and the ping that proves a freshly started data server answers.

namespace dataserver {

// The web server's queue folders: replies arrive in `in`, messages go out through `out`.
struct QueueFolders {
    QString in;  // InQueueFolder
    QString out; // OutQueueFolder
};

inline constexpr int QUEUE_TIMEOUT = 20000; // milliseconds a reply is waited for

// Creates queueFolder/requests and queueFolder/results with every missing parent. On failure
// returns false with errorText "Error <number>. <description>"; raises nothing.
bool CreateQueueFolders(const QString& queueFolder, QString& errorText);

// Removes the messages left in both folders from an earlier run.
void ClearQueues(const QueueFolders& q);

// The end of a run: removes the messages of folder and of its partial-writes subfolder,
// then both folders. Ignores every error; a folder that still holds anything stays.
void RemoveQueueFolder(const QString& folder);

// Sends message and waits for its reply. nullptr when no reply came in time; a reply that is
// not well-formed XML gives an empty document.
std::unique_ptr<pugi::xml_document> SendQueueMessage(const QueueFolders& q,
                                                     const pugi::xml_document& message,
                                                     int timeout = QUEUE_TIMEOUT);

// Pings the data server; true when any reply came, info then "<Error>. <Message>" of it.
bool PingDataServer(const QueueFolders& q, QString& info, int timeout = QUEUE_TIMEOUT);

} // namespace dataserver
