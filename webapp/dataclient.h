#pragma once

#include <QString>
#include <memory>
#include <pugixml.hpp>

namespace webapp {

// The data server did not answer in time, or its queue could not be used: the user gets a
// "try again" page.
struct DataUnavailable {
    QString reason;
};

// The data server answered with an error reply: its code and message are shown.
struct DataFailure {
    QString code;
    QString message;
};

// A request message for the data server: <XML><Type>type</Type>...</XML>.
class DataMessage final {
public:
    explicit DataMessage(const char* type);

    // Appends <name>text</name> to parent (the root by default) and returns it.
    pugi::xml_node add(const char* name, const QString& text, pugi::xml_node parent = {});
    pugi::xml_node root() const { return m_doc.document_element(); }
    QString xml() const;

private:
    pugi::xml_document m_doc;
};

// A reply of the data server.
class DataReply final {
public:
    explicit DataReply(const QString& xml);

    pugi::xml_node root() const { return m_doc->document_element(); }
    // Text of the first node the XPath selects below the root; "" when none.
    QString text(const char* xpath) const;
    QString error() const { return text("Error"); }

private:
    std::unique_ptr<pugi::xml_document> m_doc;
};

// Sends messages to the data server through the queue folders and waits, bounded, for the
// reply. The component runs on the web server's only thread, so no wait may be longer than
// TIMEOUT_MS; a reply that comes later is never read and is removed once it is older than
// STALE_AFTER_SECONDS.
class DataClient final {
public:
    static constexpr int TIMEOUT_MS = 5000;
    static constexpr int STALE_AFTER_SECONDS = 60;

    // outQueue takes the messages, inQueue receives the replies.
    DataClient(QString outQueue, QString inQueue, int timeoutMs = TIMEOUT_MS);

    // Raises DataUnavailable when no reply comes in time, DataFailure for an error reply.
    DataReply ask(const DataMessage& message) const;
    // As ask, but an error reply is returned rather than raised.
    DataReply askUnchecked(const DataMessage& message) const;

private:
    void removeStaleReplies() const;

    QString m_outQueue;
    QString m_inQueue;
    int m_timeoutMs = TIMEOUT_MS;
};

} // namespace webapp
