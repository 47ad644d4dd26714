#include "common/codepage.h"
#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

using namespace common;

TEST(CodePage, EveryByteSurvivesARoundTrip) {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    EXPECT_EQ(ToCodePage(FromCodePage(all)), all);
}

TEST(CodePage, MapsWindows1252SpecialsAndReplacesTheUnmappable) {
    EXPECT_EQ(FromCodePage(QByteArray("\x80\x9f\xe9", 3)), QString::fromUtf8("€Ÿé"));
    EXPECT_EQ(ToCodePage(QString::fromUtf8("€é")), QByteArray("\x80\xe9"));
    EXPECT_EQ(ToCodePage(QString::fromUtf8("a\u4e2db")), QByteArray("a?b"));
}
