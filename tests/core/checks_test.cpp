#include "common/error.h"
#include "common/objectfactory.h"
#include "components/components.h"
#include "core/checks.h"
#include "startupfixture.h"
#include "tests/support/scopedenvironment.h"

using common::ObjectFactory;

namespace {
class Fake final : public common::Component {
public:
    QString className() const override { return "Fake"; }
};

common::ObjectPtr makeFake() {
    return std::make_shared<Fake>();
}

// Every test leaves the factory as the program registers it.
class ChecksTest : public StartupFixture {
protected:
    void TearDown() override {
        removeExcel();
        components::RegisterComponents();
        StartupFixture::TearDown();
    }

    // No spreadsheet class at all, as on a machine without one.
    static void removeExcel() {
        for (int v = 8; v <= 16; ++v)
            ObjectFactory::instance().removeClass(QString("Excel.Application.%1").arg(v));
        ObjectFactory::instance().removeClass("Excel.Application");
    }

    void registerExcel(std::initializer_list<int> versions) {
        ObjectFactory::instance().registerClass("Excel.Application", makeFake);
        for (int v : versions)
            ObjectFactory::instance().registerClass(QString("Excel.Application.%1").arg(v),
                                                    makeFake);
    }

    QString excel(bool* okOut = nullptr) {
        QString reason = "stale";
        bool ok = false;
        const bool result = core::CheckExcel(reason, ok);
        EXPECT_EQ(result, ok);
        if (okOut)
            *okOut = ok;
        return reason;
    }
};
} // namespace

TEST_F(ChecksTest, AllComponentsPresentTracesEachRowInOrder) {
    core::CheckComponents();
    EXPECT_TRUE(support::ContainsInOrder(
        logText(), {"Check component VBScript.RegExp", "Check component Scripting.FileSystemObject",
                    "Check component Halvik.Queue", "Check component Halvik.Dictionary"}));
}

TEST_F(ChecksTest, MissingQueueStopsAtTheThirdRowWithItsOwnMessage) {
    ObjectFactory::instance().removeClass("Halvik.Queue");
    try {
        core::CheckComponents();
        FAIL() << "a missing queue component must stop the start";
    } catch (const common::Error& e) {
        EXPECT_EQ(e.number(), 429);
        EXPECT_EQ(e.description(), "Your system is missing the Halvik.Queue object. Reinstalling "
                                   "the application might solve this problem.");
    }
    EXPECT_TRUE(logText().contains("Check component Halvik.Queue"));
    EXPECT_FALSE(logText().contains("Check component Halvik.Dictionary"));
}

TEST_F(ChecksTest, MissingScriptingComponentAndOtherCreationErrors) {
    ObjectFactory::instance().removeClass("VBScript.RegExp");
    try {
        core::CheckComponents();
        FAIL();
    } catch (const common::Error& e) {
        EXPECT_EQ(e.number(), 429);
        EXPECT_TRUE(e.description().startsWith(
            "Your system is missing the Microsoft Scripting Engine component VBScript.RegExp. "
            "The Scripting Engine can be downloaded and installed from "));
        EXPECT_TRUE(e.description().endsWith(
            ". Please install the Scripting Engine and run this program again."));
    }
    components::RegisterComponents();
    ObjectFactory::instance().registerClass(
        "Scripting.FileSystemObject",
        []() -> common::ObjectPtr { throw common::Error(70, "Permission denied"); });
    try {
        core::CheckComponents();
        FAIL();
    } catch (const common::Error& e) {
        EXPECT_EQ(e.number(), 70);
        EXPECT_EQ(e.description(), "Error while checking prerequisit component "
                                   "Scripting.FileSystemObject. Permission denied");
    }
}

TEST_F(ChecksTest, TheBuiltInSpreadsheetApplicationPassesTheCheck) {
    const support::ScopedEnvironment noPrograms{{"PATH", "/nonexistent"}};
    components::RegisterComponents();
    bool ok = false;
    EXPECT_EQ(excel(&ok), "");
    EXPECT_TRUE(ok);
}

TEST_F(ChecksTest, ExcelVersions) {
    removeExcel();
    bool ok = true;
    EXPECT_EQ(excel(&ok), "Excel is not installed.");
    EXPECT_FALSE(ok);

    const QString tooOld = "You need Microsoft Excel 2000/XP/2003 or later. The version on this "
                           "computer is too old to be used with Quorvex.";
    registerExcel({});
    EXPECT_EQ(excel(), tooOld);
    registerExcel({16, 8}); // neither is ever tried
    EXPECT_EQ(excel(), tooOld);

    registerExcel({9});
    EXPECT_EQ(excel(&ok), "");
    EXPECT_TRUE(ok);

    int tried14 = 0;
    ObjectFactory::instance().registerClass("Excel.Application.15", []() -> common::ObjectPtr {
        throw common::Error(70, "Permission denied");
    });
    ObjectFactory::instance().registerClass("Excel.Application.14", [&tried14] {
        ++tried14;
        return makeFake();
    });
    EXPECT_EQ(excel(&ok), "Error detecting Excel version (15). 70. Permission denied");
    EXPECT_FALSE(ok);
    EXPECT_EQ(tried14, 0);

    ObjectFactory::instance().registerClass("Excel.Application", []() -> common::ObjectPtr {
        throw common::Error(462, "The remote server machine does not exist");
    });
    EXPECT_EQ(excel(), "Error 462. The remote server machine does not exist");
}
