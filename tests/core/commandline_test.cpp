#include "common/dictionary.h"
#include "common/text.h"
#include "core/commandline.h"
#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

using core::JoinArguments;
using core::ParseCommandLine;

namespace {
QString item(const common::DictionaryPtr& d, const QString& key) {
    return common::ToText(d->item(key));
}
} // namespace

TEST(CommandLine, ItemsWithBlanksCommasAndQuotedValues) {
    const auto d = ParseCommandLine("  instance=web1 hidden,datafolder=\"C:\\My Data\"  ");
    EXPECT_EQ(d->keys(), QStringList({"instance", "hidden", "datafolder"}));
    EXPECT_EQ(item(d, "instance"), "web1");
    EXPECT_TRUE(d->Exists("hidden"));
    EXPECT_EQ(item(d, "hidden"), "");
    EXPECT_EQ(item(d, "DataFolder"), "C:\\My Data"); // keys ignore case
    EXPECT_FALSE(d->Exists("missing"));
}

TEST(CommandLine, SlashAndDashPrefixesNameTheSameKey) {
    EXPECT_TRUE(ParseCommandLine("-hidden")->Exists("hidden"));
    EXPECT_TRUE(ParseCommandLine("/hidden")->Exists("hidden"));
    // Only one prefix character is dropped.
    EXPECT_TRUE(ParseCommandLine("--x")->Exists("-x"));
}

TEST(CommandLine, QuotingRules) {
    auto d = ParseCommandLine("a=\" x, \"\"y\"\" \"next");
    EXPECT_EQ(item(d, "a"), "x, \"y\""); // inner blanks kept, ends trimmed, "" is one quote
    EXPECT_TRUE(d->Exists("next"));      // text right after the closing quote starts an item

    d = ParseCommandLine("\"my key\"=x");
    EXPECT_EQ(item(d, "my key"), "x");

    d = ParseCommandLine("a=\"never closed, b=1");
    EXPECT_EQ(d->count(), 1);
    EXPECT_EQ(item(d, "a"), "never closed, b=1");

    d = ParseCommandLine("k = v");
    EXPECT_EQ(d->keys(), QStringList({"k", "", "v"}));

    d = ParseCommandLine("x=1 x=2");
    EXPECT_EQ(item(d, "x"), "2"); // the last value wins
    EXPECT_EQ(ParseCommandLine("   ")->count(), 0);
}

TEST(CommandLine, JoinedArgumentsRoundTrip) {
    const QStringList argv = {"datafolder=/my data",
                              "hidden",
                              "-instance=web 1",
                              "say=he said \"hi\", twice",
                              "my key=v",
                              "x=",
                              "plain=a/b"};
    EXPECT_EQ(JoinArguments({"datafolder=/my data", "hidden"}), "datafolder=\"/my data\" hidden");
    const auto d = ParseCommandLine(JoinArguments(argv));
    EXPECT_EQ(d->count(), 7);
    EXPECT_EQ(item(d, "datafolder"), "/my data");
    EXPECT_EQ(item(d, "instance"), "web 1");
    EXPECT_EQ(item(d, "say"), "he said \"hi\", twice");
    EXPECT_EQ(item(d, "my key"), "v");
    EXPECT_TRUE(d->Exists("x"));
    EXPECT_EQ(item(d, "plain"), "a/b");
    EXPECT_TRUE(d->Exists("hidden"));
}
