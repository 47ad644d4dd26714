// The web application's lasting part: the component made for each request works with the
// service of the run, told its settings typed, and with nothing once the service is gone.
#include "bridge/webapplicationobject.h"
#include "common/error.h"
#include "common/files.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"
#include "webapp/applicationservice.h"
#include "webappfixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace webapptest;

TEST(ApplicationService, TheApplicationFolderComesFromTheSettingsNotFromTheDictionary) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.filePath("app/pages")));
    ASSERT_TRUE(support::WriteFile(dir.filePath("app/pages/home.htm"), "<p>configured</p>"));
    Browser browser(dir.filePath("app"),
                    QString::fromUtf8(common::ReadFile(support::StageDir() + "/language/en.xml")));
    // What the web server writes into the shared Dictionary is for any component; this one
    // is told its folder.
    browser.application()->setItem("ApplicationFolder", dir.filePath("elsewhere"));
    EXPECT_TRUE(browser.get("").body.contains("<p>configured</p>"));

    // Reset with the application, it reads the files anew and keeps working.
    ASSERT_TRUE(support::WriteFile(dir.filePath("app/pages/home.htm"), "<p>changed</p>"));
    browser.service().reset();
    EXPECT_TRUE(browser.get("").body.contains("<p>changed</p>"));
}

TEST(ApplicationService, NoComponentIsMadeOnceItsServiceIsGone) {
    auto service = std::make_shared<webapp::ApplicationService>();
    webapp::RegisterWebApplication(service);
    EXPECT_TRUE(bridge::GetWebApplicationObject());
    service.reset();
    try {
        bridge::GetWebApplicationObject();
        ADD_FAILURE() << "a component without its service";
    } catch (const common::Error& e) {
        EXPECT_EQ(e.number(), common::ERR_CANNOT_CREATE);
        EXPECT_EQ(e.description(), "Error creating object: Quorvex.WebApp");
    }
}
