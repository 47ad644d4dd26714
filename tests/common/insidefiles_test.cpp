#include "common/insidefiles.h"
#include "tests/support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class InsideFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir(m_dir.path()).mkdir("pages"));
        ASSERT_TRUE(QDir(m_dir.path()).mkdir("outside"));
    }
    QString pages() const { return m_dir.filePath("pages"); }
    void write(const QString& relative, const QByteArray& bytes) {
        QFile file(m_dir.filePath(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    void link(const QString& target, const QString& relative) {
        QFile::remove(m_dir.filePath(relative));
        ASSERT_EQ(
            ::symlink(qPrintable(m_dir.filePath(target)), qPrintable(m_dir.filePath(relative))), 0);
    }
    std::optional<QByteArray> read(const QString& name) { return m_files.read(pages(), name); }

    QTemporaryDir m_dir;
    common::InsideFiles m_files;
};

} // namespace

TEST_F(InsideFilesTest, AKeptFileIsReadAgainOnceItChangesOrGoes) {
    write("pages/home.htm", "first");
    EXPECT_EQ(read("home.htm"), QByteArray("first"));
    EXPECT_EQ(read("home.htm"), QByteArray("first"));
    // The same size, written again: the change time tells it apart.
    write("pages/home.htm", "other");
    EXPECT_EQ(read("home.htm"), QByteArray("other"));
    // Replaced by another file under the same name.
    write("pages/new.htm", "replaced");
    ASSERT_EQ(::rename(qPrintable(m_dir.filePath("pages/new.htm")),
                       qPrintable(m_dir.filePath("pages/home.htm"))),
              0);
    EXPECT_EQ(read("home.htm"), QByteArray("replaced"));
    ASSERT_TRUE(QFile::remove(m_dir.filePath("pages/home.htm")));
    EXPECT_EQ(read("home.htm"), std::nullopt);
    EXPECT_EQ(m_files.read(QString(), "home.htm"), std::nullopt);
    EXPECT_EQ(read("."), std::nullopt); // a folder is no file
}

TEST_F(InsideFilesTest, ALinkNeverLeadsOutEvenAfterTheFileWasKept) {
    write("pages/real.htm", "inside");
    write("outside/secret.htm", "secret");
    link("pages/real.htm", "pages/home.htm");
    EXPECT_EQ(read("home.htm"), QByteArray("inside"));
    link("outside/secret.htm", "pages/home.htm");
    EXPECT_EQ(read("home.htm"), std::nullopt);
    EXPECT_EQ(read("../outside/secret.htm"), std::nullopt);
    // The folder itself swapped for a link to another one.
    EXPECT_EQ(read("real.htm"), QByteArray("inside"));
    write("outside/real.htm", "elsewhere");
    ASSERT_TRUE(QDir(pages()).removeRecursively());
    link("outside", "pages");
    EXPECT_EQ(read("real.htm"), QByteArray("elsewhere")); // the folder's own files, now
}
