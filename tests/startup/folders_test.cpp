#include "common/error.h"
#include "startup/folders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace startup;

namespace {
// Sets the temporary-folder variables for one test and restores them after.
class TempEnvironment final {
public:
    TempEnvironment(const char* temp, const char* tmp, const char* tmpdir) {
        for (const char* name : NAMES)
            m_saved.append(qgetenv(name));
        set("TEMP", temp);
        set("TMP", tmp);
        set("TMPDIR", tmpdir);
    }
    ~TempEnvironment() {
        for (int i = 0; i < 3; ++i)
            set(NAMES[i], m_saved[i].isNull() ? nullptr : m_saved[i].constData());
    }

private:
    static void set(const char* name, const char* value) {
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    static constexpr const char* NAMES[] = {"TEMP", "TMP", "TMPDIR"};
    QList<QByteArray> m_saved;
};
} // namespace

TEST(Folders, TempFolderFromTempTmpTmpdirOrProgramFolder) {
    {
        TempEnvironment env("/t/", "/other", "/third");
        EXPECT_EQ(GetTempFolder("/prog"), "/t/Quorvex");
    }
    {
        TempEnvironment env("", "/other", "/third");
        EXPECT_EQ(GetTempFolder("/prog"), "/other/Quorvex");
    }
    {
        TempEnvironment env(nullptr, nullptr, "/third");
        EXPECT_EQ(GetTempFolder("/prog"), "/third/Quorvex");
    }
    {
        TempEnvironment env(nullptr, "", nullptr);
        EXPECT_EQ(GetTempFolder("/prog"), "/prog/Temp");
    }
}

TEST(Folders, InstanceFilesAndDefaultQueues) {
    TempEnvironment env("/T", nullptr, nullptr);
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
    QFile file(blocked.filePath("data"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    try {
        CreateProgramFolders(blocked.path());
        FAIL() << "a file named data must stop the folder creation";
    } catch (const common::Error& e) {
        EXPECT_TRUE(e.description().startsWith("Error creating folder in function MkDirRecurse."));
    }
}
