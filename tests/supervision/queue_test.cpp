#include "common/error.h"
#include "components/queue.h"
#include "supervision/process.h"
#include "supervision/serverqueue.h"
#include "tests/support/processes.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <latch>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace dataserver;
using support::WriteFile;

namespace {
QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// A helper process, killed as the object goes. Started with posix_spawn rather than QProcess:
// ThreadSanitizer (which runs these tests) cannot follow QProcess's vfork-like start, and
// loses every lock the starting thread takes afterwards, reporting races that are none.
class Peer final {
public:
    Peer(const QString& program, const QStringList& arguments)
        : m_pid(StartProcess(program, arguments)) {}
    ~Peer() { TerminateProcessById(int(m_pid), 0); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    bool started() const { return m_pid > 0; }

private:
    qint64 m_pid;
};

class QueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(CreateQueueFolders(m_dir.path(), error));
        EXPECT_EQ(error, "");
        // The web server's view: replies arrive in results, messages go out through requests.
        m_folders = {m_dir.filePath(QStringLiteral("results")),
                     m_dir.filePath(QStringLiteral("requests"))};
    }
    // A data server stand-in: answers each message of our out-queue into our in-queue.
    std::unique_ptr<Peer> startPeer(const QStringList& reply = {}) {
        auto peer = std::make_unique<Peer>(support::HelperProgram(QStringLiteral("qv_queuepeer")),
                                           QStringList{m_folders.out, m_folders.in} + reply);
        EXPECT_TRUE(peer->started());
        return peer;
    }

    QTemporaryDir m_dir;
    QueueFolders m_folders;
};
} // namespace

TEST_F(QueueTest, SendLeavesOneCompleteMessageThatPollTakes) {
    auto out = components::NewQueue();
    out->folder = m_folders.out;
    out->package = QStringLiteral("<XML>caf\u00e9</XML>");
    const QString id = out->send(QString());
    EXPECT_EQ(id.size(), 36);
    EXPECT_EQ(entries(m_folders.out), QStringList{id + ".msg"});
    EXPECT_EQ(entries(m_folders.out + "/tmp"), QStringList{});
    QFile file(m_folders.out + "/" + id + ".msg");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("<XML>caf\xc3\xa9</XML>"));

    auto reader = components::NewQueue();
    reader->folder = m_folders.out;
    EXPECT_EQ(reader->Poll(id, 0), id);
    EXPECT_EQ(reader->package, out->package);
    EXPECT_EQ(entries(m_folders.out), QStringList{});
    EXPECT_EQ(reader->Poll(id, 0), "");
}

TEST_F(QueueTest, PollNeverSeesHalfWrittenMessagesAndTimesOutEmpty) {
    const QString id = QStringLiteral("0D9F7C2A-0000-4000-8000-000000000001");
    ASSERT_TRUE(WriteFile(m_folders.in + "/tmp/" + id + ".msg", "<XML><Ty"));
    auto in = components::NewQueue();
    in->folder = m_folders.in;
    EXPECT_EQ(in->Poll(id, 200), "");
    EXPECT_EQ(in->Poll(QString(), 0), "");
    EXPECT_EQ(entries(m_folders.in + "/tmp"), QStringList{id + ".msg"});
}

TEST_F(QueueTest, PeerRepliesArriveWholeAndMatchedById) {
    const auto peer = startPeer();
    auto out = components::NewQueue();
    auto in = components::NewQueue();
    out->folder = m_folders.out;
    in->folder = m_folders.in;
    // Large enough that a reader without tmp-and-rename would catch it half written.
    const QString big = QStringLiteral("<XML>") + QString(4 << 20, QLatin1Char('x')) + "</XML>";
    out->package = QStringLiteral("<XML>first</XML>");
    const QString first = out->send(QString());
    out->package = big;
    const QString second = out->send(QString());
    // Poll waits for the reply (no sleep here): it wakes when the peer's rename lands.
    EXPECT_EQ(in->Poll(second, 60000), second);
    EXPECT_EQ(in->package.size(), big.size());
    EXPECT_TRUE(in->package == big);
    EXPECT_EQ(in->Poll(first, 60000), first);
    EXPECT_EQ(in->package, "<XML>first</XML>");
}

// The pages running at once wait in one folder: each is woken by its own reply, and none
// takes another's news of a landing.
TEST_F(QueueTest, ManyWaitsAtOnceEachGetTheirOwnReply) {
    constexpr int WAITS = 8;
    std::vector<QString> ids, received(WAITS);
    for (int k = 0; k < WAITS; ++k)
        ids.push_back(QStringLiteral("REPLY-%1").arg(k));
    std::latch watching(WAITS);
    std::vector<std::thread> waits;
    for (int k = 0; k < WAITS; ++k)
        waits.emplace_back([&, k] {
            auto in = components::NewQueue();
            in->folder = m_folders.in;
            watching.count_down();
            if (in->Poll(ids[size_t(k)], 60000) == ids[size_t(k)])
                received[size_t(k)] = in->package;
        });
    watching.wait();
    for (int k = WAITS - 1; k >= 0; --k)
        components::SendMessage(m_folders.in, ids[size_t(k)], QByteArray::number(k));
    for (std::thread& wait : waits)
        wait.join();
    for (int k = 0; k < WAITS; ++k)
        EXPECT_EQ(received[size_t(k)], QString::number(k));
    EXPECT_EQ(entries(m_folders.in), QStringList{});
}

// Also what a data server took and had not answered: a new run must not have it served again.
TEST_F(QueueTest, ClearRemovesMessagesOfTheFolderTmpAndTakenOnly) {
    for (const char* name : {"a.msg", ".hidden.msg", "keep.txt", "tmp/b.msg", "tmp/keep.txt",
                             "taken/e.msg", "taken/keep.txt", "sub/c.msg"})
        ASSERT_TRUE(WriteFile(m_folders.in + "/" + name, "x"));
    ASSERT_TRUE(WriteFile(m_folders.out + "/d.msg", "x"));
    ClearQueues(m_folders);
    EXPECT_EQ(entries(m_folders.in), QStringList{"keep.txt"});
    EXPECT_EQ(entries(m_folders.in + "/tmp"), QStringList{"keep.txt"});
    EXPECT_EQ(entries(m_folders.in + "/taken"), QStringList{"keep.txt"});
    EXPECT_EQ(entries(m_folders.in + "/sub"), QStringList{"c.msg"});
    EXPECT_EQ(entries(m_folders.out), QStringList{});
}

TEST_F(QueueTest, IdsThatWouldLeaveTheFolderAreRefused) {
    auto queue = components::NewQueue();
    queue->folder = m_folders.out;
    for (const QString& id :
         {QStringLiteral("../escape"), QStringLiteral(".."), QStringLiteral("a/b")}) {
        EXPECT_THROW(queue->send(id), common::Error) << id.toStdString();
        EXPECT_THROW(queue->Poll(id, 0), common::Error) << id.toStdString();
    }
    EXPECT_EQ(entries(m_dir.path()), QStringList{});
}

TEST_F(QueueTest, MissingOrUnsetFolderRaisesInsteadOfWaiting) {
    auto queue = components::NewQueue();
    queue->folder = m_dir.filePath(QStringLiteral("missing"));
    EXPECT_THROW(queue->Poll(QString(), 60000), common::Error);
    EXPECT_THROW(queue->send(QString()), common::Error);
    queue->folder.clear(); // never the current folder or the root
    EXPECT_THROW(queue->send(QString()), common::Error);
    EXPECT_THROW(queue->Clear(), common::Error);
}

TEST_F(QueueTest, PingInfoJoinsErrorAndMessageOfTheReply) {
    const struct {
        const char* reply;
        const char* info;
    } cases[] = {
        {"<XML><Error>E17</Error><Message>No database</Message></XML>", "E17. No database"},
        {"<XML/>", ". "}};
    for (const auto& c : cases) {
        const auto peer = startPeer({QString::fromUtf8(c.reply)});
        QString info = QStringLiteral("stale");
        EXPECT_TRUE(PingDataServer(m_folders, info, 60000)) << c.reply;
        EXPECT_EQ(info, c.info);
    }
}

TEST_F(QueueTest, PingWithoutAReplyIsFalse) {
    QString info = QStringLiteral("stale");
    EXPECT_FALSE(PingDataServer(m_folders, info, 200));
    EXPECT_EQ(info, "");
    // The ping itself went out as XML text.
    auto requests = components::NewQueue();
    requests->folder = m_folders.out;
    EXPECT_FALSE(requests->Poll(QString(), 0).isEmpty());
    EXPECT_EQ(requests->package, "<XML><Type>Ping</Type></XML>");
}

TEST_F(QueueTest, ReplyThatIsNotXmlGivesAnEmptyDocument) {
    const auto peer = startPeer({QStringLiteral("not <xml")});
    pugi::xml_document message;
    message.append_child("XML");
    const auto reply = SendQueueMessage(m_folders, message, 60000);
    ASSERT_NE(reply, nullptr);
    EXPECT_FALSE(reply->document_element());
}

TEST(QueueFolders, FailureGivesErrorNumberAndDescription) {
    QTemporaryDir dir;
    ASSERT_TRUE(
        WriteFile(dir.filePath(QStringLiteral("blocker")), "a file where a folder should be"));
    QString error;
    EXPECT_FALSE(CreateQueueFolders(dir.filePath(QStringLiteral("blocker/queue")), error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Error %1. ").arg(ENOTDIR))) << error.toStdString();
    if (::geteuid() != 0) { // root writes into read-only folders
        const QString readOnly = dir.filePath(QStringLiteral("ro"));
        QDir().mkdir(readOnly);
        QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_FALSE(CreateQueueFolders(readOnly + "/queue", error));
        EXPECT_TRUE(error.startsWith(QStringLiteral("Error %1. ").arg(EACCES)));
    }
}
