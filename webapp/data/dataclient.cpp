#include "webapp/data/dataclient.h"

#include "common/error.h"
#include "common/xml.h"
#include "common/xmlvalue.h"
#include "components/dataversion.h"
#include "components/queue.h"
#include "components/replyparts.h"
#include "contract/protocol.h"
#include "webapp/data/dataserversilence.h"
#include "webapp/data/replycache.h"
#include "webapp/data/replysweep.h"
#include "webapp/data/xmlmemory.h"

#include <algorithm>
#include <cerrno>

namespace webapp {

namespace protocol = dataserver::protocol;

DataMessage::DataMessage(const char* type) {
    pugi::xml_node root = m_doc.append_child(protocol::ROOT);
    root.append_child(protocol::TYPE).text().set(type);
}

pugi::xml_node DataMessage::add(const char* name, const QString& text, pugi::xml_node parent) {
    pugi::xml_node node = (parent ? parent : root()).append_child(name);
    common::SetValueText(node, text);
    return node;
}

QString DataMessage::xml() const {
    // A raw CR in text would reach the data server's parser as a line end and be read as LF
    // (XML end-of-line handling); as a character reference it stays a CR.
    return common::XmlText(m_doc).replace(QLatin1Char('\r'), QStringLiteral("&#13;"));
}

DataReply::DataReply(const QString& xml) {
    // The data server writes a CR of a value as it is: without end-of-line handling it stays.
    const std::string utf8 = common::ToUtf8(xml);
    const XmlMemoryMeter parsed;
    auto doc = std::make_shared<pugi::xml_document>();
    doc->load_buffer(utf8.data(), utf8.size(), common::MESSAGE_PARSE & ~pugi::parse_eol,
                     pugi::encoding_utf8);
    m_doc = std::move(doc);
    m_bytes = parsed.bytes() + qsizetype(sizeof(pugi::xml_document)) + 2 * xml.size();
}

bool DataReply::reusable() const {
    return !root().child(protocol::CHANGES) &&
           QLatin1String(root().child(protocol::VOLATILE).child_value()) !=
               QLatin1String(protocol::TRUE_TEXT);
}

QString DataReply::text(const char* xpath) const {
    return common::NodeText(root(), QString::fromLatin1(xpath));
}

DataClient::DataClient(QString outQueue, QString inQueue, ReplyCache& cache, ReplySweep& sweep,
                       int timeoutMs)
    : m_outQueue(std::move(outQueue)), m_inQueue(std::move(inQueue)), m_cache(&cache),
      m_sweep(&sweep), m_timeoutMs(timeoutMs) {}

void DataClient::heed(DataServerSilence& silence, const QDateTime& lastAlive) {
    m_silence = &silence;
    m_lastAlive = lastAlive;
}

DataReply DataClient::ask(const DataMessage& message, Reuse reuse) const {
    DataReply reply = reuse == Reuse::Never ? askUnchecked(message) : askAndKeep(message);
    if (!reply.error().isEmpty())
        throw DataFailure{
            reply.error(), common::ValueText(reply.root().child(protocol::MESSAGE)),
            reply.root().child(protocol::FILTER).attribute(protocol::ATTRIBUTE_INDEX).as_int()};
    return reply;
}

DataReply DataClient::askAndKeep(const DataMessage& message) const {
    m_sweep->run(m_inQueue);
    // Read before asking: a change while the request is under way makes the kept reply
    // belong to an old version, never a fresh version to an old reply. Read once for all the
    // reading requests of a page, which so see one state of the data.
    if (!m_version)
        m_version = components::ReadDataVersion(m_inQueue);
    const QString version = *m_version;
    if (version.isEmpty())
        return roundTrip(message);
    const QString key = m_inQueue + QLatin1Char('\n') + version;
    const QString request = message.xml();
    if (std::optional<DataReply> kept = m_cache->find(key, request))
        return *kept;
    DataReply reply = roundTrip(message);
    if (reply.error().isEmpty() && reply.reusable())
        m_cache->store(key, request, reply);
    return reply;
}

DataReply DataClient::askUnchecked(const DataMessage& message) const {
    m_sweep->run(m_inQueue);
    m_version.reset(); // this request may write: what is read after it must see that
    return roundTrip(message);
}

DataReply DataClient::roundTrip(const DataMessage& message) const {
    // A write with a request id is left to finish: sent again, it then counts as done.
    return receive(send(message), m_timeoutMs, !message.root().child(protocol::REQUEST_ID));
}

void DataClient::askInParts(const DataMessage& message,
                            const std::function<void(const DataReply&)>& part,
                            const QDeadlineTimer& deadline) const {
    m_sweep->run(m_inQueue);
    const QString id = send(message);
    for (int n = 1;; ++n) {
        const DataReply reply =
            receive(components::PartId(id, n), int(std::max<qint64>(deadline.remainingTime(), 0)));
        if (!reply.error().isEmpty()) {
            // The parts still to come are not read; the sweep removes what is left.
            throw DataFailure{reply.error(),
                              common::ValueText(reply.root().child(protocol::MESSAGE))};
        }
        part(reply);
        if (QLatin1String(reply.root().child(protocol::CONTINUED).child_value()) !=
            QLatin1String(protocol::TRUE_TEXT))
            return;
    }
}

QString DataClient::send(const DataMessage& message) const {
    if (m_silence) {
        const QDateTime since = m_silence->silentSince(m_lastAlive);
        if (since.isValid())
            throw DataUnavailable{
                QStringLiteral("The data server has not answered since %1.")
                    .arg(since.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))};
    }
    try {
        const auto out = components::NewQueue();
        out->folder = m_outQueue;
        out->package = message.xml();
        return out->send({});
    } catch (const common::Error& e) {
        throw DataUnavailable{e.description()};
    }
}

void DataClient::cancel(const QString& id) const {
    // A part's id is its message's id and ".n" (components::PartId); message ids hold no dot.
    DataMessage marker(protocol::CANCEL);
    marker.add(protocol::ID, id.section(QLatin1Char('.'), 0, 0));
    try {
        send(marker);
    } catch (const DataUnavailable&) {
        // The statement then ends at the data server's time limit.
    }
}

std::optional<QString> DataClient::poll(const QString& id, int timeoutMs) const {
    const auto in = components::NewQueue();
    in->folder = m_inQueue;
    in->maxBytes = components::MAX_REPLY_BYTES;
    if (in->Poll(id, timeoutMs).isEmpty())
        return std::nullopt;
    return in->package;
}

bool DataClient::answersPing(int timeoutMs) const {
    try {
        if (poll(send(DataMessage(protocol::PING)), timeoutMs))
            return true;
        m_sweep->expectLate(m_inQueue);
    } catch (const DataUnavailable&) {
        // A queue that cannot be used is no answer either.
    } catch (const common::Error&) {
    }
    return false;
}

std::optional<QString> DataClient::awaitReply(const QString& id, int timeoutMs) const {
    if (!m_silence || timeoutMs < 2 * PING_CHECK_MS)
        return poll(id, timeoutMs);
    // The last part of the wait asks whether the data server is there at all: one busy with
    // long statements answers a ping at once (apart from its workers), a hung one does not.
    const QDeadlineTimer end(timeoutMs);
    if (std::optional<QString> package = poll(id, timeoutMs - PING_CHECK_MS))
        return package;
    const bool alive = answersPing(int(end.remainingTime()));
    std::optional<QString> package = poll(id, int(end.remainingTime()));
    if (!package && alive)
        m_silence->heard(); // busy, not silent: the next page may ask again
    else if (!package)
        m_silence->waitRanOut();
    return package;
}

DataReply DataClient::receive(const QString& id, int timeoutMs, bool cancelLate) const {
    try {
        const std::optional<QString> package = awaitReply(id, timeoutMs);
        if (!package) {
            m_sweep->expectLate(m_inQueue);
            if (cancelLate)
                cancel(id);
            throw DataUnavailable{QStringLiteral("The data server did not answer within %1 s.")
                                      .arg(timeoutMs / 1000.0)};
        }
        if (m_silence)
            m_silence->heard();
        DataReply reply(*package);
        if (!reply.root())
            throw DataUnavailable{QStringLiteral("The data server's reply is not XML.")};
        return reply;
    } catch (const common::Error& e) {
        if (e.number() == EFBIG)
            throw DataFailure{QString::fromLatin1(protocol::ERROR_REPLY_TOO_LARGE),
                              e.description()};
        throw DataUnavailable{e.description()};
    }
}

} // namespace webapp
