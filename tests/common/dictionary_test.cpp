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

// Small Dictionaries are scanned, larger ones indexed: both ways find, replace and remove alike.
TEST(Dictionary, RemoveKeepsOrderAndLookupsIntactSmallAndLarge) {
    for (const int size : {5, 40}) {
        SCOPED_TRACE(size);
        auto d = NewHalvikDictionary();
        QStringList keys;
        for (int k = 0; k < size; ++k) {
            keys << QString("Key%1").arg(k);
            d->Add(keys.last(), int32_t(k));
        }
        EXPECT_TRUE(d->remove("KEY0"));
        EXPECT_FALSE(d->remove("key0"));
        EXPECT_TRUE(d->remove(keys[1]));
        keys.remove(0, 2);
        EXPECT_EQ(d->keys(), keys);
        d->setItem(QString("key%1").arg(size - 1), QString("last"));
        d->setItem("key0", QString("again"));
        EXPECT_EQ(d->count(), size - 1);
        EXPECT_EQ(ToText(d->item(QString("KEY%1").arg(size - 1))), "last");
        EXPECT_EQ(ToText(d->item("Key2")), "2");
        EXPECT_EQ(d->keys().last(), "key0");
    }
}

TEST(Dictionary, HalvikKeysIgnoreCaseVantoriKeysDoNot) {
    for (const int size : {1, 40}) {
        auto h = NewHalvikDictionary();
        auto v = NewDictionary();
        for (int k = 1; k < size; ++k) {
            h->Add(QString("k%1").arg(k), Value());
            v->Add(QString("k%1").arg(k), Value());
        }
        h->Add("Hidden", Value());
        v->Add("Hidden", Value());
        EXPECT_TRUE(h->Exists("hidden")) << size;
        EXPECT_FALSE(v->Exists("hidden")) << size;
        EXPECT_TRUE(v->Exists("Hidden")) << size;
    }
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
