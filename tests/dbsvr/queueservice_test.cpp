// The data server's queue service: replies by id, and an export's parts paced by the reader.
#include "components/replyparts.h"
#include "dbsvr/queueservice.h"
#include "dbsvr/replysink.h"
#include "tests/support/processes.h"
#include "tests/support/qtprinters.h"
#include "tests/support/queuereader.h"

#include "components/queue.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <thread>

using dbsvr::QueueService;
using dbsvr::ReplySink;

namespace {
QStringList messages(const QString& folder) {
    QStringList names = QDir(folder).entryList({"*.msg"}, QDir::Files);
    names.sort();
    return names;
}
} // namespace

// No more than two parts of an export wait in the out-queue: the next waits for the reader to
// take the one two before it, and is not written when the reader does not within the deadline.
// An error reply after them goes out at once.
TEST(QueueService, AnExportsPartsWaitForTheReader) {
    QTemporaryDir dir;
    const QString in = dir.filePath("in"), out = dir.filePath("out");
    const int parts = 5;
    QList<bool> sent;
    QDeadlineTimer deadline;
    QueueService service(in, out,
                         [&](const QString&, const QByteArray&, std::unique_ptr<ReplySink> sink) {
                             for (int n = 1; n <= parts; ++n)
                                 sent << sink->sendPart(QByteArray::number(n), deadline);
                             sink->send("end");
                         });
    service.start();

    // Nobody reads: two parts go, the others wait in vain, the end goes at once.
    deadline.setRemainingTime(300);
    components::SendMessage(in, "A", "<XML/>");
    ASSERT_TRUE(support::Eventually([&] { return service.served() == 1; }));
    EXPECT_EQ(sent, QList<bool>({true, true, false, false, false}));
    EXPECT_EQ(messages(out), QStringList({"A.2.msg", "A.3.msg", "A.msg"}));
    EXPECT_EQ(support::TakeQueueMessage(out, "A.3").body, "end");

    // A reader takes them as they come: every part goes, in order.
    sent.clear();
    deadline.setRemainingTime(10000);
    QByteArrayList bodies;
    std::thread reader([&] {
        for (int n = 1; n <= parts + 1; ++n)
            bodies << support::TakeQueueMessage(out, components::PartId("B", n)).body;
    });
    components::SendMessage(in, "B", "<XML/>");
    const bool served = support::Eventually([&] { return service.served() == 2; });
    reader.join();
    ASSERT_TRUE(served);
    EXPECT_EQ(sent, QList<bool>(parts, true));
    EXPECT_EQ(bodies, QByteArrayList({"1", "2", "3", "4", "5", "end"}));
}

// A message stays in the in-queue's "taken" folder until it is answered: one its sink dropped
// unanswered (a data server stopped or killed) is served again, oldest first, by the next
// service on the queue.
TEST(QueueService, WhatIsTakenStaysUntilAnsweredAndIsServedAgainAtStart) {
    QTemporaryDir dir;
    const QString in = dir.filePath("in"), out = dir.filePath("out");
    const QString taken = in + "/" + components::TAKEN_FOLDER;
    ASSERT_TRUE(QDir().mkpath(taken));
    // Left by a predecessor, the oldest last in name order.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const struct {
        const char* id;
        int ageSeconds;
    } left[] = {{"replied", 30}, {"unanswered", 20}, {"cancel", 10}, {"export", 40}};
    for (const auto& m : left) {
        QFile file(taken + "/" + m.id + ".msg");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<XML/>");
        ASSERT_TRUE(file.flush()); // a later write would set the time anew
        ASSERT_TRUE(
            file.setFileTime(now.addSecs(-m.ageSeconds), QFileDevice::FileModificationTime));
    }

    QStringList order;
    std::map<QString, std::unique_ptr<ReplySink>> sinks;
    QueueService service(
        in, out, [&](const QString& id, const QByteArray&, std::unique_ptr<ReplySink> sink) {
            order << id;
            sinks[id] = std::move(sink);
        });
    service.start();
    EXPECT_EQ(order, QStringList({"export", "replied", "unanswered", "cancel"}));
    EXPECT_EQ(messages(in), QStringList{});
    // Held by the workers: nothing is answered yet.
    EXPECT_EQ(messages(taken),
              QStringList({"cancel.msg", "export.msg", "replied.msg", "unanswered.msg"}));

    sinks["replied"]->send("reply");
    ASSERT_TRUE(sinks["export"]->sendPart("part", QDeadlineTimer(10000)));
    sinks["cancel"]->finishWithoutReply();
    sinks.clear();
    EXPECT_EQ(messages(taken), QStringList{"unanswered.msg"});
    EXPECT_EQ(messages(out), QStringList({"export.msg", "replied.msg"}));
}
