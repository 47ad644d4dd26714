#include "common/error.h"
#include "common/files.h"
#include "core/folders.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"
#include "tests/support/scopedenvironment.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace core;

using support::ScopedEnvironment;

TEST(Folders, TempFolderFromTempTmpTmpdirOrProgramFolder) {
    const struct {
        const char* temp;
        const char* tmp;
        const char* tmpdir;
        const char* folder;
    } cases[] = {{"/t/", "/other", "/third", "/t/Quorvex"},
                 {"", "/other", "/third", "/other/Quorvex"},
                 {nullptr, nullptr, "/third", "/third/Quorvex"},
                 {nullptr, "", nullptr, "/prog/Temp"}};
    for (const auto& c : cases) {
        const ScopedEnvironment env{{"TEMP", c.temp}, {"TMP", c.tmp}, {"TMPDIR", c.tmpdir}};
        EXPECT_EQ(GetTempFolder("/prog"), c.folder);
    }
}

TEST(Folders, InstanceFilesAndDefaultQueues) {
    const ScopedEnvironment env{{"TEMP", "/T"}, {"TMP", nullptr}, {"TMPDIR", nullptr}};
    FolderSet f;
    f.ProgramFolder = "/prog";
    f.WebRootFolder = "/prog/wwwroot";
    DeriveTempFolders(f);
    DeriveInstanceFiles(f, "1234");
    EXPECT_EQ(f.TempFolder, "/T/Quorvex");
    EXPECT_EQ(f.ExcelTempFolder, "/T/Quorvex/excel");
    EXPECT_EQ(f.WebTempFolder, "/prog/wwwroot/temp");
    EXPECT_EQ(f.InstanceFolder, "/T/Quorvex/1234");
    EXPECT_EQ(DefaultInQueueFolder(f), "/T/Quorvex/1234/Queue/results");
    EXPECT_EQ(DefaultOutQueueFolder(f), "/T/Quorvex/1234/Queue/requests");
    EXPECT_EQ(f.AliveFile, "/T/Quorvex/1234.dataserver.alive.xml");
    EXPECT_EQ(f.MessageFile, "/T/Quorvex/1234.dataserver.message.xml");
    EXPECT_EQ(f.ParameterFile, "/T/Quorvex/1234.dataserver.parameters.txt");
}

TEST(Folders, RelativeOptionsAreTakenFromTheirBaseFolder) {
    EXPECT_EQ(ConfigFolderFor("cfg", "/prog/data"), "/prog/data/cfg");
    EXPECT_EQ(ConfigFolderFor("/etc/qv/", "/prog/data"), "/etc/qv");
    EXPECT_EQ(SettingsFileFor("sub/web.xml", "/c"), "/c/sub/web.xml");
    EXPECT_EQ(SettingsFileFor("/x/web.xml", "/c"), "/x/web.xml");
    EXPECT_EQ(ContextFileFor("rel.xml", "/prog"), "rel.xml"); // used as it stands
}

TEST(Folders, CreateProgramFoldersMakesTheFixedSetAndReportsAFileInTheWay) {
    QTemporaryDir dir;
    CreateProgramFolders(dir.path());
    for (const char* sub :
         {"data/config", "data/Logs", "language", "examples", "excel", "res", "wwwroot/temp"})
        EXPECT_TRUE(QDir(dir.filePath(sub)).exists()) << sub;
    CreateProgramFolders(dir.path()); // existing folders are no error

    QTemporaryDir blocked;
    ASSERT_TRUE(support::WriteFile(blocked.filePath("data"), {}));
    try {
        CreateProgramFolders(blocked.path());
        FAIL() << "a file named data must stop the folder creation";
    } catch (const common::Error& e) {
        // The error names the file in the way, not a folder behind it.
        EXPECT_EQ(e.description(), "Error creating folder in function MkDirRecurse. Target=" +
                                       blocked.filePath("data") + ", Current=" +
                                       blocked.filePath("data") + "/. Not a directory");
    }
    // A file where the last folder should be is no folder either.
    EXPECT_THROW(common::MkDirRecurse(blocked.filePath("data")), common::Error);
}
