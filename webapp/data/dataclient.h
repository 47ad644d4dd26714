#pragma once

#include "contract/protocol.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <typeindex>

namespace webapp {

class DataServerSilence;
class ReplyCache;
class ReplySweep;

// The data server did not answer in time, or its queue could not be used: the user gets a
// "try again" page.
struct DataUnavailable {
    QString reason;
};

// The data server answered with an error reply: its code and message are shown.
struct DataFailure {
    DataFailure(QString code, QString message, int filterIndex = 0)
        : code(std::move(code)), message(std::move(message)), filterIndex(filterIndex) {}

    QString code;
    QString message;
    int filterIndex = 0; // the refused filter of a table read (from 1), 0 for none
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

// A reply of the data server. Copies share the parsed document.
class DataReply final {
public:
    explicit DataReply(const QString& xml);

    pugi::xml_node root() const { return m_doc->document_element(); }
    // Text of the first node the XPath selects below the root; "" when none.
    QString text(const char* xpath) const;
    QString error() const { return text(dataserver::protocol::ERROR); }
    // Neither a write ("Changes") nor a result that may change without the data changing
    // ("Volatile"): the same request may be answered with this reply again.
    bool reusable() const;
    // The memory the reply holds, in bytes: its parsed document, and as much again as its text
    // in UTF-16 for the typed form as() makes of it.
    qsizetype bytes() const { return m_bytes; }

    // What make() builds from this reply, built once and shared by all its copies: a reply
    // kept for reuse is read into its typed form only the first time.
    template <typename T, typename Make> T as(Make make) const {
        if (m_derived->type != std::type_index(typeid(T)) || !m_derived->value) {
            m_derived->value = std::make_shared<const T>(make(*this));
            m_derived->type = std::type_index(typeid(T));
        }
        return *static_cast<const T*>(m_derived->value.get());
    }

private:
    struct Derived {
        std::type_index type = std::type_index(typeid(void));
        std::shared_ptr<const void> value;
    };

    std::shared_ptr<const pugi::xml_document> m_doc;
    std::shared_ptr<Derived> m_derived = std::make_shared<Derived>();
    qsizetype m_bytes = 0;
};

// Whether a reply may be reused for the same request (webapp/data/replycache.h).
enum class Reuse {
    Never,
    // While the data server's data version is unchanged: for requests that only read.
    WhileDataUnchanged,
};

// Sends messages to the data server through the queue folders and waits, bounded, for the
// reply. A page's worker waits for no longer than TIMEOUT_MS; a reply that comes later is
// never read and is removed by the sweep. One page's client: a page runs on one thread.
class DataClient final {
public:
    static constexpr int TIMEOUT_MS = 5000;
    // How long a page whose wait ran out waits for the data server to answer a ping. Pings
    // are answered apart from its workers, so a data server busy with long statements still
    // answers one at once: only one that does not counts as silent.
    // The last part of a page's wait in which it asks the data server for a ping as well.
    // Pings are answered apart from its workers: a data server busy with long statements
    // answers one at once, and only one that does not counts as silent.
    static constexpr int PING_CHECK_MS = 1000;
    // outQueue takes the messages, inQueue receives the replies. cache and sweep are the
    // web application's (webapp/applicationservice.h): they last longer than the client.
    DataClient(QString outQueue, QString inQueue, ReplyCache& cache, ReplySweep& sweep,
               int timeoutMs = TIMEOUT_MS);

    // Raises DataUnavailable when no reply comes in time, DataFailure for an error reply (and,
    // with the code ReplyTooLarge, for a reply over components::MAX_REPLY_BYTES).
    DataReply ask(const DataMessage& message, Reuse reuse = Reuse::Never) const;
    // From now on nothing is sent while silence says the data server is silent (given its
    // last alive signal, lastAlive): DataUnavailable at once instead. silence is the web
    // application's and outlasts the client.
    void heed(DataServerSilence& silence, const QDateTime& lastAlive);
    // As ask, but an error reply is returned rather than raised.
    DataReply askUnchecked(const DataMessage& message) const;
    // For a message answered in parts (components/replyparts.h): hands each part to part() as
    // it arrives, until the last, waiting for each at most until the deadline. Raises as ask()
    // does, also for an error part after others.
    void askInParts(const DataMessage& message, const std::function<void(const DataReply&)>& part,
                    const QDeadlineTimer& deadline) const;

private:
    DataReply askAndKeep(const DataMessage& message) const;
    DataReply roundTrip(const DataMessage& message) const;
    QString send(const DataMessage& message) const;
    // Raises DataUnavailable when no reply comes in time, after it has asked the data server to
    // cancel the message (a Cancel; see contract/protocol.h) when cancelLate.
    DataReply receive(const QString& id, int timeoutMs, bool cancelLate = true) const;
    void cancel(const QString& id) const;
    // The reply with id, or none when none came within timeoutMs. Raises common::Error.
    std::optional<QString> poll(const QString& id, int timeoutMs) const;
    // The reply with id within timeoutMs; for a page that heeds the data server's silence,
    // also whether the data server answers a ping when the reply is slow (see PING_CHECK_MS).
    std::optional<QString> awaitReply(const QString& id, int timeoutMs) const;
    // Whether the data server answers a ping within timeoutMs.
    bool answersPing(int timeoutMs) const;

    QString m_outQueue;
    QString m_inQueue;
    ReplyCache* m_cache = nullptr;
    ReplySweep* m_sweep = nullptr;
    DataServerSilence* m_silence = nullptr;
    QDateTime m_lastAlive;
    int m_timeoutMs = TIMEOUT_MS;
    mutable std::optional<QString> m_version; // the data version read for this page
};

} // namespace webapp
