#include "common/dictionary.h"
#include "common/error.h"
#include "common/objectfactory.h"
#include "common/text.h"
#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace common;

TEST(Dictionary, MissingKeyReadsEmptyAndLastWriteWins) {
    auto d = NewDictionary();
    EXPECT_TRUE(d->item("nothing").isEmpty());
    EXPECT_EQ(ToText(d->item("nothing")), "");
    d->Add("a", QString("1"));
    d->Add("a", QString("2")); // a repeated form field replaces, never fails
    d->setItem("b", int32_t(3));
    EXPECT_EQ(d->count(), 2);
    EXPECT_EQ(ToText(d->item("a")), "2");
    EXPECT_EQ(d->keys(), QStringList({"a", "b"}));
}

// The "Application" Dictionary is shared by the pages running at once.
TEST(Dictionary, WritersAtOnceLoseNothingAndAddOnlyOnce) {
    constexpr int THREADS = 8, KEYS = 300;
    const DictionaryPtr d = NewDictionary();
    std::vector<DictionaryPtr> added(THREADS);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t)
        threads.emplace_back([&, t] {
            added[size_t(t)] = d->itemOrAdd("records", NewDictionary()).dictionary();
            for (int k = 0; k < KEYS; ++k) {
                d->setItem(QString("t%1-%2").arg(t).arg(k), int32_t(k));
                d->setItem("last", QString("t%1").arg(t));
                (void)d->keys();
                (void)ToText(d->item("last"));
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(d->count(), THREADS * KEYS + 2);
    for (int t = 0; t < THREADS; ++t) {
        EXPECT_EQ(added[size_t(t)], d->item("records").dictionary());
        for (int k = 0; k < KEYS; k += 37)
            EXPECT_EQ(d->item(QString("t%1-%2").arg(t).arg(k)).toInt(), k);
    }
    EXPECT_TRUE(ToText(d->item("last")).startsWith("t"));
}

TEST(Dictionary, RemoveKeepsOrderAndLookupsIntact) {
    auto d = NewDictionary();
    for (const char* k : {"x", "y", "z"})
        d->Add(k, QString(k));
    EXPECT_TRUE(d->remove("x"));
    EXPECT_FALSE(d->remove("x"));
    EXPECT_EQ(d->keys(), QStringList({"y", "z"}));
    EXPECT_EQ(ToText(d->item("z")), "z");
}

TEST(Dictionary, HalvikKeysIgnoreCaseVantoriKeysDoNot) {
    auto h = NewHalvikDictionary();
    h->Add("Hidden", Value());
    EXPECT_TRUE(h->Exists("hidden"));
    auto v = NewDictionary();
    v->Add("Hidden", Value());
    EXPECT_FALSE(v->Exists("hidden"));
}

TEST(Dictionary, IsSharedByReference) {
    auto outer = NewDictionary();
    auto inner = NewDictionary();
    outer->setItem("inner", inner);
    inner->setItem("k", QString("v"));
    EXPECT_EQ(ToText(outer->item("inner").dictionary()->item("k")), "v");
}

TEST(ObjectFactory, UnknownClassRaises429AndNamesCompareWithoutCase) {
    try {
        CreateObjectByName("No.SuchClass");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ERR_CANNOT_CREATE);
        EXPECT_EQ(e.description(), "Error creating object: No.SuchClass");
    }
    EXPECT_EQ(CreateObjectByName("vantori.DICTIONARY")->className(), "Vantori.Dictionary");
}

TEST(Error, WrappingKeepsNumberAndSource) {
    const Error e = Error(70, "Permission denied", "fs").wrapped("Error creating folder. ");
    EXPECT_EQ(e.number(), 70);
    EXPECT_EQ(e.source(), "fs");
    EXPECT_EQ(e.description(), "Error creating folder. Permission denied");
}
