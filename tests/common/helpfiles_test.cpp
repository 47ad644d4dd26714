// Where the help shipped with the program is found for a context and a language.
#include "common/helpfiles.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"

#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

TEST(HelpFiles, EveryContextGetsAFileOfItsLanguageFolder) {
    const struct {
        const char* context;
        const char* file;
    } names[] = {
        {"", "index.html"},
        {"tracelog", "tracelog.html"},
        {"ServerSettings", "ServerSettings.html"},
        {"home", "home.html"},
        {"a-b_9", "a-b_9.html"},
        {"../../etc/passwd", "index.html"},
        {"x/y", "index.html"},
        {"x.y", "index.html"},
        {"caf\u00e9", "index.html"},
        {" home", "index.html"},
    };
    for (const auto& n : names)
        EXPECT_EQ(common::HelpFileName(QString::fromUtf8(n.context)), n.file) << n.context;
}

TEST(HelpFiles, TheAddressFallsBackToEnglishAndToTheContents) {
    QTemporaryDir dir;
    // A program folder whose path a URL must encode.
    const QString program = dir.filePath("my programs, 100%");
    for (const char* file : {"help/en/index.html", "help/en/tracelog.html", "help/de/index.html"})
        ASSERT_TRUE(support::WriteFile(program + "/" + file, "<html></html>"));
    const struct {
        const char* language;
        const char* context;
        const char* file;
    } cases[] = {
        {"en", "tracelog", "help/en/tracelog.html"},
        {"en", "", "help/en/index.html"},
        {"en", "ServerSettings", "help/en/index.html"}, // no page of its own
        {"de", "tracelog", "help/de/index.html"},       // the language's contents first
        {"fr", "tracelog", "help/en/tracelog.html"},    // a language without help
        {"", "tracelog", "help/en/tracelog.html"},
        {"../en", "tracelog", "help/en/tracelog.html"},
    };
    for (const auto& c : cases) {
        const QString address = common::HelpFileAddress(program, c.language, c.context);
        const QUrl url(address, QUrl::StrictMode);
        EXPECT_TRUE(url.isValid()) << address.toStdString();
        EXPECT_TRUE(address.startsWith("file:///")) << address.toStdString();
        EXPECT_FALSE(address.contains(' ')) << address.toStdString();
        EXPECT_EQ(url.toLocalFile(), program + "/" + c.file) << c.language << " " << c.context;
    }
}
