#include "dbsvr/onemessage.h"

#include "common/errnotext.h"
#include "common/xmlvalue.h"
#include "contract/contract.h"
#include "contract/protocol.h"
#include "dbsvr/databasestatus.h"
#include "dbsvr/dataserverlog.h"
#include "dbsvr/messagehandler.h"
#include "dbsvr/queueservice.h"
#include "dbsvr/replysink.h"
#include "dbsvr/workerdatabase.h"
#include "diagnostics/trace.h"

#include <QFileInfo>
#include <cerrno>
#include <pugixml.hpp>

namespace dbsvr {

using dataserver::ONE_MESSAGE_ANSWERED;
using dataserver::ONE_MESSAGE_FAILED;
using dataserver::ONE_MESSAGE_NO_DATABASE;

namespace {

// The whole of in, or none when it could not be read. A request larger than a queue message
// may be is cut off one byte past that limit: enough for the handler's refusal.
std::optional<QByteArray> readRequest(std::FILE* in) {
    QByteArray request;
    char buffer[64 * 1024];
    while (request.size() <= QueueService::MAX_REQUEST_BYTES) {
        const size_t got = std::fread(buffer, 1, sizeof buffer, in);
        request.append(buffer, qsizetype(got));
        if (got < sizeof buffer)
            break;
    }
    if (std::ferror(in))
        return std::nullopt;
    return request;
}

bool isErrorReply(const QByteArray& reply) {
    namespace protocol = dataserver::protocol;
    pugi::xml_document doc;
    if (!doc.load_buffer(reply.constData(), size_t(reply.size()), common::MESSAGE_PARSE))
        return true;
    return QLatin1String(doc.document_element().child(protocol::TYPE).child_value()) ==
           QLatin1String(protocol::ERROR);
}

// Writes every reply to the stream as it comes, a line break after each; remembers whether
// one was an error or could not be written.
class StreamReplies final : public ReplySink {
public:
    explicit StreamReplies(std::FILE* out) : m_out(out) {}
    void send(const QByteArray& reply) override {
        m_failed = isErrorReply(reply) || m_failed;
        if (std::fwrite(reply.constData(), 1, size_t(reply.size()), m_out) !=
                size_t(reply.size()) ||
            std::fputc('\n', m_out) == EOF || std::fflush(m_out) != 0)
            m_unwritten = true;
    }
    bool sendPart(const QByteArray& part, const QDeadlineTimer&) override {
        send(part);
        return !m_unwritten;
    }
    bool failed() const { return m_failed; }
    bool unwritten() const { return m_unwritten; }

private:
    std::FILE* m_out;
    bool m_failed = false;
    bool m_unwritten = false;
};

} // namespace

int RunOneMessage(const QString& configFolder, std::FILE* in, std::FILE* out) {
    if (configFolder.isEmpty() || !QFileInfo(configFolder).isDir()) {
        ReportFault(configFolder.isEmpty() ? QStringLiteral("configfolder= is missing.")
                                           : QStringLiteral("no such folder: ") + configFolder,
                    diagnostics::Severity::Error);
        return ONE_MESSAGE_NO_DATABASE;
    }
    // Read to its end before anything else: whoever writes it is never left with a closed pipe.
    const std::optional<QByteArray> request = readRequest(in);
    if (!request) {
        ReportFault(QStringLiteral("The request could not be read from standard input: ") +
                        common::ErrnoText(errno),
                    diagnostics::Severity::Error);
        return ONE_MESSAGE_FAILED;
    }
    DatabaseStatus status;
    WorkerDatabase database(configFolder, status, nullptr);
    if (!database.connect()) {
        ReportFault(database.connectError(), diagnostics::Severity::Error);
        return ONE_MESSAGE_NO_DATABASE;
    }
    StreamReplies replies(out);
    if (request->size() > QueueService::MAX_REQUEST_BYTES)
        replies.send(QueueService::TooLargeReply());
    else
        ServeRequest(MessageHandler(database.config(), database.database()), *request, replies);
    if (replies.unwritten()) {
        ReportFault(QStringLiteral("The reply could not be written to standard output: ") +
                        common::ErrnoText(errno),
                    diagnostics::Severity::Error);
        return ONE_MESSAGE_FAILED;
    }
    return replies.failed() ? ONE_MESSAGE_FAILED : ONE_MESSAGE_ANSWERED;
}

} // namespace dbsvr
