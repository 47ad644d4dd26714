#include "webapp/dataclient.h"

#include "common/error.h"
#include "common/xml.h"
#include "components/queue.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace webapp {

DataMessage::DataMessage(const char* type) {
    pugi::xml_node root = m_doc.append_child("XML");
    root.append_child("Type").text().set(type);
}

pugi::xml_node DataMessage::add(const char* name, const QString& text, pugi::xml_node parent) {
    pugi::xml_node node = (parent ? parent : root()).append_child(name);
    node.text().set(common::ToUtf8(text).c_str());
    return node;
}

QString DataMessage::xml() const {
    // A raw CR in text would reach the data server's parser as a line end and be read as LF
    // (XML end-of-line handling); as a character reference it stays a CR.
    return common::XmlText(m_doc).replace(QLatin1Char('\r'), QStringLiteral("&#13;"));
}

DataReply::DataReply(const QString& xml) : m_doc(std::make_unique<pugi::xml_document>()) {
    // The data server writes a CR of a value as it is: without end-of-line handling it stays.
    const std::string utf8 = common::ToUtf8(xml);
    m_doc->load_buffer(utf8.data(), utf8.size(), pugi::parse_default & ~pugi::parse_eol,
                       pugi::encoding_utf8);
}

QString DataReply::text(const char* xpath) const {
    return common::NodeText(root(), QString::fromLatin1(xpath));
}

DataClient::DataClient(QString outQueue, QString inQueue, int timeoutMs)
    : m_outQueue(std::move(outQueue)), m_inQueue(std::move(inQueue)), m_timeoutMs(timeoutMs) {}

DataReply DataClient::ask(const DataMessage& message) const {
    DataReply reply = askUnchecked(message);
    if (!reply.error().isEmpty())
        throw DataFailure{reply.error(), reply.text("Message")};
    return reply;
}

DataReply DataClient::askUnchecked(const DataMessage& message) const {
    removeStaleReplies();
    try {
        const auto out = components::NewQueue();
        out->folder = m_outQueue;
        out->package = message.xml();
        const QString id = out->send({});
        const auto in = components::NewQueue();
        in->folder = m_inQueue;
        if (in->Poll(id, m_timeoutMs).isEmpty())
            throw DataUnavailable{QStringLiteral("The data server did not answer within %1 s.")
                                      .arg(m_timeoutMs / 1000.0)};
        DataReply reply(in->package);
        if (!reply.root())
            throw DataUnavailable{QStringLiteral("The data server's reply is not XML.")};
        return reply;
    } catch (const common::Error& e) {
        throw DataUnavailable{e.description()};
    }
}

void DataClient::removeStaleReplies() const {
    if (m_inQueue.isEmpty())
        return;
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-STALE_AFTER_SECONDS);
    const QFileInfoList replies =
        QDir(m_inQueue).entryInfoList({QStringLiteral("*.msg")}, QDir::Files);
    for (const QFileInfo& reply : replies)
        if (reply.lastModified().toUTC() < cutoff)
            QFile::remove(reply.filePath());
}

} // namespace webapp
