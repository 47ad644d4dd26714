#pragma once

#include <QByteArray>
#include <QString>

namespace support {

// A message taken from a queue folder: its id ("" when none came) and body.
struct TakenMessage {
    QString id;
    QByteArray body;
};

// Takes the message id (any message for "") from a queue folder as a reader does (read, then
// removed), waiting for it at most timeoutMs. Watches the folder with an inotify instance of its
// own, so it may run on a thread of its own while the queue component's Poll (one watch per
// process) waits on the test's main thread.
TakenMessage TakeQueueMessage(const QString& folder, const QString& id, int timeoutMs = 10000);

} // namespace support
