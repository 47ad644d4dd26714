#pragma once

#include "common/component.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <sys/types.h>

// The queue component "Halvik.Queue": messages between the web server and the data server.
//
// A queue is a folder. Each message is one file "<id>.msg" in it whose content is the message
// body as UTF-8 text (XML text between the two servers); ids are GUID strings (36 upper-case
// hexadecimal characters, 8-4-4-4-12). A sender writes the file as "tmp/<id>.msg" below the
// queue folder and renames it into the folder when complete, so a reader never sees half a
// message. A reply carries the id of the message it answers: the replying side sends it with
// that id into its own out-queue, which is the asking side's in-queue. The data server keeps a
// message it works on in the "taken" subfolder until it has answered it, so that a successor
// serves it again when it died first. Only "*.msg" files in the folder and in its "tmp" and
// "taken" subfolders belong to the queue.

namespace components {

// The ending of every message file's name.
inline constexpr char MESSAGE_SUFFIX[] = ".msg";
// The subfolder of a queue folder where a message is written before it appears.
inline constexpr char PARTIAL_FOLDER[] = "tmp";
// The subfolder of a queue folder where the data server keeps the messages it has not answered.
inline constexpr char TAKEN_FOLDER[] = "taken";
// What goes through a queue is for the web server and the data server of one user alone,
// whatever folder it goes through: folders made for a queue, and its files.
inline constexpr mode_t QUEUE_FOLDER_MODE = 0700;
inline constexpr mode_t QUEUE_FILE_MODE = 0600;

class Queue final : public common::Component {
public:
    static const QString CLASS_NAME; // "Halvik.Queue"

    QString className() const override { return CLASS_NAME; }

    QString folder;  // the queue folder
    QString package; // body of the message to send, or of the message received
    // The largest message Poll reads, in bytes; 0 for any. A larger one is removed unread and
    // raises common::Error with the number EFBIG.
    qint64 maxBytes = 0;

    // Puts package into folder as a new message and returns its id. A non-empty id names the
    // message (a reply to that message); empty makes a new GUID. Raises common::Error when the
    // id is not a plain file name or the message cannot be written.
    QString send(const QString& id);

    // Waits until the message with that id is in folder, or, for the empty id, any message
    // (the oldest first); reads it into package, removes it and returns its id. Returns ""
    // when nothing arrived within timeoutMs milliseconds. Wakes as soon as a message lands.
    // Raises common::Error when the folder cannot be watched or the message cannot be read.
    QString Poll(const QString& id, int timeoutMs);

    // Removes every "*.msg" in folder, folder/tmp and folder/taken, and the folder's data version
    // (components/dataversion.h): what it vouched for is gone. Other files stay.
    void Clear();
};

// Puts body into folder as the message id (written beside it and renamed in), as send() does.
// Raises common::Error when the id is not a plain file name or the message cannot be written.
void SendMessage(const QString& folder, const QString& id, const QByteArray& body);

// A new queue through the object factory (common::CreateObjectByName "Halvik.Queue");
// raises 429 when the class is not registered.
std::shared_ptr<Queue> NewQueue();

} // namespace components
