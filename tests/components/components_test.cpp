#include "common/error.h"
#include "common/objectfactory.h"
#include "components/components.h"
#include "components/filesystemobject.h"
#include "components/queue.h"
#include "components/regexp.h"
#include "tests/support/qtprinters.h"
#include "tests/support/scopedenvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace components;

namespace {
int creationError(const QString& className) {
    try {
        common::CreateObjectByName(className);
    } catch (const common::Error& e) {
        return e.number();
    }
    return 0;
}

// Registers the components again with PATH set to path, then restores PATH.
void registerWithPath(const QString& path) {
    const support::ScopedEnvironment env{{"PATH", QFile::encodeName(path).constData()}};
    RegisterComponents();
}
} // namespace

TEST(Components, QueueMissingFromTheFactoryRaises429) {
    common::ObjectFactory::instance().removeClass(QStringLiteral("Halvik.Queue"));
    try {
        NewQueue();
        ADD_FAILURE() << "NewQueue worked without the class";
    } catch (const common::Error& e) {
        EXPECT_EQ(e.number(), 429);
        EXPECT_EQ(e.description(), "Error creating object: Halvik.Queue");
    }
    RegisterComponents();
    EXPECT_EQ(NewQueue()->className(), "Halvik.Queue");
}

TEST(Components, SpreadsheetClassesAreBuiltInWhateverIsOnPath) {
    QTemporaryDir empty;
    registerWithPath(empty.path());
    EXPECT_EQ(creationError("Excel.Application"), 0);
    for (int v = 9; v <= 15; ++v)
        EXPECT_EQ(creationError(QStringLiteral("Excel.Application.%1").arg(v)), 0) << v;
    EXPECT_EQ(creationError("Excel.Application.16"), 429);
    EXPECT_EQ(creationError("Excel.Application.8"), 429);
    RegisterComponents();
}

TEST(Components, FileSystemObjectTestsAndCreatesFolders) {
    QTemporaryDir dir;
    FileSystemObject fso;
    const QString folder = dir.filePath(QStringLiteral("pages"));
    EXPECT_FALSE(fso.FolderExists(folder));
    fso.CreateFolder(folder);
    EXPECT_TRUE(fso.FolderExists(folder));
    EXPECT_FALSE(fso.FileExists(folder));
    QFile(folder + "/home.htm").open(QIODevice::WriteOnly);
    EXPECT_TRUE(fso.FileExists(folder + "/home.htm"));
    EXPECT_FALSE(fso.FolderExists(folder + "/home.htm"));
    EXPECT_FALSE(fso.FolderExists(QString()));
    try {
        fso.CreateFolder(folder);
        ADD_FAILURE() << "an existing folder was created again";
    } catch (const common::Error& e) {
        EXPECT_EQ(e.number(), 58);
    }
    try {
        fso.CreateFolder(dir.filePath(QStringLiteral("missing/forms")));
        ADD_FAILURE() << "a folder without parent was created";
    } catch (const common::Error& e) {
        EXPECT_EQ(e.number(), 76);
    }
}

TEST(Components, RegExpTestsAndReplacesWithGroups) {
    RegExp re;
    re.Pattern = QStringLiteral("(\\w+)@(\\w+)");
    EXPECT_TRUE(re.Test(QStringLiteral("mail ann@host now")));
    EXPECT_EQ(re.Replace(QStringLiteral("ann@a bob@b"), QStringLiteral("$2:$1 ($&) $$9 $9")),
              "a:ann (ann@a) $9 $9 bob@b");
    re.Global = true;
    EXPECT_EQ(re.Replace(QStringLiteral("ann@a bob@b"), QStringLiteral("$2")), "a b");
    re.Pattern = QStringLiteral("^ABC$");
    EXPECT_FALSE(re.Test(QStringLiteral("x\nabc")));
    re.IgnoreCase = true;
    re.Multiline = true;
    EXPECT_TRUE(re.Test(QStringLiteral("x\nabc")));
    re.Pattern = QStringLiteral("(unclosed");
    try {
        re.Test(QStringLiteral("x"));
        ADD_FAILURE() << "an invalid pattern was accepted";
    } catch (const common::Error& e) {
        EXPECT_EQ(e.number(), 5017);
    }
}
