#include "webapp/data/replycache.h"

#include <gtest/gtest.h>
#include <malloc.h>

using webapp::DataReply;
using webapp::ReplyCache;

namespace {

// What the heap has handed out and not had back, by glibc's own count: what the cache holds,
// whatever it believes it holds.
size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

QString Rows(int count) {
    QString rows;
    for (int n = 0; n < count; ++n)
        rows +=
            QStringLiteral("<R><C>%1</C><C>Customer %1</C><C>City</C><C>c%1@example.com</C></R>")
                .arg(n);
    return "<XML><Columns><C>id</C><C>name</C><C>city</C><C>email</C></Columns><Rows>" + rows +
           "</Rows></XML>";
}

QString Request(int n) {
    return QStringLiteral("<XML><Type>ReadTable</Type><Table>customers</Table><Filter><Column>"
                          "name</Column><Op>ne</Op><Value>Nobody %1</Value></Filter></XML>")
        .arg(n);
}

} // namespace

// A page asked with other parameters each time leaves a reply of its own in the cache. However
// small the replies, what the cache holds stays within its bound (a parsed reply holds far more
// than its text), and the latest ones are still answered from it.
TEST(ReplyCache, HoldsNoMoreThanItsBoundForManyDistinctRequests) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the heap is the sanitizer's here, and glibc does not count it";
#endif
    const struct {
        const char* what;
        int rows;
    } cases[] = {{"no rows", 0}, {"a page of 20 rows", 20}};
    for (const auto& c : cases) {
        const QString reply = Rows(c.rows);
        ReplyCache cache;
        const size_t before = HeapInUse();
        size_t most = 0;
        for (int n = 0; n < 4000; ++n) {
            cache.store(QStringLiteral("v1"), Request(n), DataReply(reply));
            most = std::max(most, HeapInUse() - std::min(before, HeapInUse()));
        }
        EXPECT_LE(most, size_t(ReplyCache::MAX_BYTES + ReplyCache::MAX_BYTES / 8)) << c.what;
        const std::optional<DataReply> latest = cache.find(QStringLiteral("v1"), Request(3999));
        ASSERT_TRUE(latest) << c.what;
        EXPECT_EQ(latest->root().child("Rows").select_nodes("R").size(), size_t(c.rows)) << c.what;
    }
}
