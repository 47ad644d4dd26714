#include "supervision/serverqueue.h"

#include "common/error.h"
#include "common/files.h"
#include "common/xml.h"
#include "components/queue.h"
#include "contract/contract.h"
#include "contract/protocol.h"

#include <QDir>

namespace dataserver {

namespace {
std::shared_ptr<components::Queue> queueAt(const QString& folder) {
    auto queue = components::NewQueue();
    queue->folder = folder;
    return queue;
}
} // namespace

bool CreateQueueFolders(const QString& queueFolder, QString& errorText) {
    try {
        common::MkDirRecurse(queueFolder + QLatin1Char('/') + QLatin1String(QUEUE_REQUESTS),
                             components::QUEUE_FOLDER_MODE);
        common::MkDirRecurse(queueFolder + QLatin1Char('/') + QLatin1String(QUEUE_RESULTS),
                             components::QUEUE_FOLDER_MODE);
    } catch (const common::Error& e) {
        errorText = QStringLiteral("Error %1. %2").arg(e.number()).arg(e.description());
        return false;
    }
    errorText.clear();
    return true;
}

void ClearQueues(const QueueFolders& q) {
    queueAt(q.in)->Clear();
    queueAt(q.out)->Clear();
}

void RemoveQueueFolder(const QString& folder) {
    if (folder.isEmpty())
        return;
    // Not through the object factory: the end of a run needs no registered component.
    components::Queue queue;
    queue.folder = folder;
    try {
        queue.Clear();
    } catch (const common::Error&) {
        // What could not be removed keeps its folder below.
    }
    for (const char* sub : {components::PARTIAL_FOLDER, components::TAKEN_FOLDER})
        QDir().rmdir(folder + QLatin1Char('/') + QLatin1String(sub));
    QDir().rmdir(folder); // refuses a folder that still holds anything
}

std::unique_ptr<pugi::xml_document>
SendQueueMessage(const QueueFolders& q, const pugi::xml_document& message, int timeout) {
    const auto incoming = queueAt(q.in);
    const auto outgoing = queueAt(q.out);
    outgoing->package = common::XmlText(message);
    const QString id = outgoing->send(QString());
    if (incoming->Poll(id, timeout).isEmpty())
        return nullptr;
    auto reply = std::make_unique<pugi::xml_document>();
    common::LoadXmlString(*reply, incoming->package); // ill-formed text leaves it empty
    return reply;
}

bool PingDataServer(const QueueFolders& q, QString& info, int timeout) {
    info.clear();
    pugi::xml_document ping;
    ping.append_child(protocol::ROOT).append_child(protocol::TYPE).text().set(protocol::PING);
    const auto reply = SendQueueMessage(q, ping, timeout);
    if (!reply)
        return false;
    const auto text = [&reply](const char* name) {
        return common::NodeText(*reply, QStringLiteral("/%1/%2").arg(QLatin1String(protocol::ROOT),
                                                                     QLatin1String(name)));
    };
    info = text(protocol::ERROR) + QStringLiteral(". ") + text(protocol::MESSAGE);
    return true;
}

} // namespace dataserver
