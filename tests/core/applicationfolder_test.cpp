#include "common/error.h"
#include "common/objectfactory.h"
#include "components/components.h"
#include "core/applicationfolder.h"
#include "diagnostics/trace.h"
#include "startupfixture.h"

#include <QDir>

using core::CheckApplicationFolder;

namespace {
class ApplicationFolderTest : public StartupFixture {
protected:
    QString makeFolder(const QString& name, std::initializer_list<const char*> parts) {
        const QString folder = path(name);
        QDir().mkpath(folder);
        for (const QString part : parts) {
            if (part.endsWith(".htm"))
                EXPECT_TRUE(support::WriteFile(folder + "/" + part, "own page"));
            else
                QDir().mkpath(folder + "/" + part);
        }
        return folder;
    }
    static QByteArray homePage(const QString& folder) {
        return support::ReadFile(folder + "/pages/home.htm");
    }
};
} // namespace

TEST_F(ApplicationFolderTest, MissingFolderOrFileIsReportedAndRefused) {
    EXPECT_FALSE(CheckApplicationFolder(path("nowhere")));
    ASSERT_TRUE(support::WriteFile(path("a-file"), {}));
    EXPECT_FALSE(CheckApplicationFolder(path("a-file")));
    EXPECT_EQ(m_ui.shown, QStringList({"48|No such folder", "48|No such folder"}));
    EXPECT_FALSE(QDir(path("nowhere")).exists());
}

TEST_F(ApplicationFolderTest, EmptyFolderIsCompletedOnYes) {
    const QString folder = makeFolder("my & app", {});
    EXPECT_TRUE(CheckApplicationFolder(folder));
    EXPECT_EQ(m_ui.shown, QStringList({"51|Complete " + folder + "?"}));
    EXPECT_TRUE(QDir(folder + "/forms").exists());
    EXPECT_EQ(homePage(folder), "<H1>Quorvex</H1>\r\n<P>Quorvex at " +
                                    QString(folder).replace("&", "&amp;").toLatin1() +
                                    "/pages/home.htm</P>");
}

TEST_F(ApplicationFolderTest, OnlyMissingElementsAreAdded) {
    const QString noHome = makeFolder("a", {"pages", "forms"});
    EXPECT_TRUE(CheckApplicationFolder(noHome));
    EXPECT_TRUE(homePage(noHome).startsWith("<H1>Quorvex</H1>"));

    const QString noForms = makeFolder("b", {"pages", "pages/home.htm"});
    EXPECT_TRUE(CheckApplicationFolder(noForms));
    EXPECT_TRUE(QDir(noForms + "/forms").exists());
    EXPECT_EQ(homePage(noForms), "own page");

    m_ui.shown.clear();
    EXPECT_TRUE(CheckApplicationFolder(noForms)); // complete now: no question
    EXPECT_TRUE(m_ui.shown.isEmpty());
}

TEST_F(ApplicationFolderTest, AnythingButYesRefusesAndAHiddenRunIsNeverAsked) {
    const QString folder = makeFolder("app", {});
    for (int answer : {common::ANSWER_NO, common::ANSWER_CANCEL, common::ANSWER_NONE}) {
        m_ui.answer = answer;
        EXPECT_FALSE(CheckApplicationFolder(folder));
    }
    EXPECT_EQ(m_ui.shown.size(), 3);

    m_ui.shown.clear();
    m_ui.answer = common::ANSWER_YES;
    diagnostics::Diagnostics::instance().setInteractive(false);
    EXPECT_FALSE(CheckApplicationFolder(folder));
    EXPECT_TRUE(m_ui.shown.isEmpty());
    EXPECT_FALSE(QDir(folder + "/pages").exists());
    EXPECT_TRUE(logText().contains("Complete " + folder + "?")); // still traced
}

TEST_F(ApplicationFolderTest, FileSystemFailuresRaise) {
    const QString folder = makeFolder("app", {"forms"});
    ASSERT_TRUE(support::WriteFile(folder + "/pages", {})); // a file where the folder must go
    EXPECT_THROW(CheckApplicationFolder(folder), common::Error);

    common::ObjectFactory::instance().removeClass("Scripting.FileSystemObject");
    try {
        CheckApplicationFolder(folder);
        ADD_FAILURE() << "no file services must raise";
    } catch (const common::Error& e) {
        EXPECT_EQ(e.number(), 429);
    }
    components::RegisterComponents();
}
