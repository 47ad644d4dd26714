#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace dbsvr {

// Serves a queue folder: every message file "<id>.msg" that lands in the
// in-queue (renamed in from its "tmp" subfolder, or closed after writing) is
// moved into the in-queue's "taken" subfolder, read and handed to the handler with the sink for
// its replies; a reply is written as "<id>.msg" into the out-queue's "tmp" subfolder and renamed
// into the out-queue, where the sender's Poll finds it. The handler may keep the sink and reply
// later, from any thread. The taken message is removed when its sink goes after a reply (or
// after finishWithoutReply); at start, what a predecessor left in "taken" is served again, so a
// message is answered at least once even when the data server is killed while working on it.
//
// inotify tells about each file as it lands, so a reply leaves within the same
// turn of the event loop; a scan at start and a slow periodic one catch what
// arrived before the watch or was lost to an event-queue overflow.
class ReplySink;

class QueueService final : public QObject {
public:
    // Takes the request of the message id; its reply (or an export's parts) goes to the sink,
    // now or later, which writes the n-th under components::PartId(id, n). It does not raise.
    using Handler = std::function<void(const QString& id, const QByteArray& request,
                                       std::unique_ptr<ReplySink> sink)>;

    // Requests bigger than this get an error reply without being read whole.
    static constexpr qint64 MAX_REQUEST_BYTES = 16 * 1024 * 1024;
    // The reply to a request bigger than that: the error InvalidRequest.
    static QByteArray TooLargeReply();

    QueueService(QString inQueue, QString outQueue, Handler handler, QObject* parent = nullptr);
    ~QueueService() override;

    // Creates the queue folders that are missing (the out-queue's "tmp", the in-queue's "taken").
    // Raises common::Error when they cannot be made.
    static void CreateFolders(const QString& inQueue, const QString& outQueue);

    // Creates missing queue folders, puts back what a predecessor took and did not answer,
    // starts watching and serves what already waits. Raises common::Error when the folders cannot
    // be made or watched.
    void start();

    int served() const { return m_served; }

private:
    void restoreTaken();
    void watch();
    void onEvents();
    void rescan();
    void scan();
    void serve(const QString& fileName);

    QString m_inQueue;
    QString m_outQueue;
    Handler m_handler;
    int m_inotify = -1;
    int m_watch = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_rescan;
    int m_served = 0;
};

} // namespace dbsvr
