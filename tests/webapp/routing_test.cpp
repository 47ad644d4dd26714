// Routing by form fields, the frame, the application's own pages, labels and help.
#include "common/files.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"
#include "webappfixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace webapptest;

namespace {

// An application folder with only pages: no data server is needed for them.
class PagesFolder {
public:
    PagesFolder() { QDir().mkpath(m_dir.filePath("app/pages")); }
    QString app() const { return m_dir.filePath("app"); }
    void page(const QString& name, const QByteArray& bytes) const {
        support::WriteFile(app() + "/pages/" + name, bytes);
    }
    QString outside(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

QString englishLabels() {
    return QString::fromUtf8(common::ReadFile(support::StageDir() + "/language/en.xml"));
}

} // namespace

TEST(ApplicationPages, HomeAndNamedPagesAreShownInTheFrame) {
    PagesFolder folder;
    // Windows-1252 by default: 0xE9 is "é", 0x80 the euro sign. A whole document gives its body.
    folder.page("home.htm", "<html><head><title>Shop</title></head>\r\n"
                            "<BODY class=\"x\"><p>Caf\xE9 \x80 5</p></BODY></html>");
    // A UTF-8 byte-order mark makes the page UTF-8.
    folder.page("about.htm", "\xEF\xBB\xBF<p>Gr\xC3\xBC\xC3\x9F"
                             "e \xE2\x9C\x93</p>");
    Browser browser(folder.app(), englishLabels());

    const Page home = browser.get("");
    EXPECT_EQ(home.status, 200);
    EXPECT_FALSE(home.complete);
    EXPECT_TRUE(home.body.contains(QString::fromUtf8("<p>Café € 5</p>")));
    EXPECT_FALSE(home.body.contains("<BODY"));
    EXPECT_TRUE(support::ContainsInOrder(
        home.body,
        {"<html lang=\"en\">", "<meta charset=\"utf-8\">", "href=\"/style.css\"", "/logo.png",
         ">Home</a>", ">Tables</a>", ">Queries</a>", ">Forms</a>", ">Administration</a>", "fn=help",
         ">Help</a>", "<h1>Shop</h1>", "<footer>Quorvex 1.0.202</footer>"}));

    const Page about = browser.get("page=page&name=about");
    EXPECT_EQ(about.status, 200);
    EXPECT_TRUE(about.body.contains(QString::fromUtf8("<p>Grüße ✓</p>")));
    EXPECT_EQ(browser.get("page=page&name=about.htm").body, about.body);
}

TEST(ApplicationPages, NamesThatCouldLeaveThePagesFolderAreRefused) {
    PagesFolder folder;
    folder.page("home.htm", "<p>home</p>");
    support::WriteFile(folder.app() + "/secret.htm", "SECRET inside");
    support::WriteFile(folder.outside("secret.htm"), "SECRET outside");
    support::WriteFile(folder.app() + "/pages/.hidden.htm", "SECRET hidden");
    QFile::link(folder.outside("secret.htm"), folder.app() + "/pages/link.htm");
    Browser browser(folder.app(), englishLabels());

    const char* names[] = {"..%2Fsecret",
                           "%2E%2E%2Fsecret.htm",
                           "..",
                           ".",
                           "sub%2F..%2F..%2Fsecret",
                           "..%5Csecret",
                           "home%00.htm",
                           "%2Fetc%2Fpasswd",
                           ".hidden",
                           "link",
                           "missing",
                           ""};
    for (const char* name : names) {
        const Page page = browser.get(QStringLiteral("page=page&name=") + name);
        EXPECT_EQ(page.status, 404) << name;
        EXPECT_TRUE(page.complete) << name;
        EXPECT_FALSE(page.body.contains("SECRET")) << name;
    }
}

TEST(Labels, ComeFromTheLanguageDocumentGivenAndMissingOnesShowTheirId) {
    PagesFolder folder;
    folder.page("home.htm", "<p>home</p>");
    Browser browser(folder.app(), QString::fromUtf8(R"(<Language code="de">
        <Label id="webMenuHome">Anfang &amp; &lt;mehr&gt;</Label>
        <Label id="webMenuTables">erste</Label>
        <Label id="webMenuTables">zweite</Label>
        <Label id="webFooter">%2 von %1\nEnde \\n</Label>
        <Label id="webHomeTitle">Startseite</Label>
        </Language>)"));
    const Page page = browser.get("");
    EXPECT_TRUE(page.body.contains("<html lang=\"de\">"));
    EXPECT_TRUE(page.body.contains(">Anfang &amp; &lt;mehr&gt;</a>"));
    EXPECT_TRUE(page.body.contains(">erste</a>"));
    EXPECT_FALSE(page.body.contains("zweite"));
    EXPECT_TRUE(page.body.contains(">[Missing label: webMenuQueries]</a>"));
    EXPECT_TRUE(page.body.contains("<footer>1.0.202 von Quorvex\r\nEnde \\n</footer>"));
    EXPECT_TRUE(page.body.contains("<title>Startseite - Quorvex</title>"));
}

TEST(Routing, UnknownPagesAndHelpTopics) {
    PagesFolder folder;
    Browser browser(folder.app(), englishLabels());
    EXPECT_EQ(browser.get("page=nosuchpage").status, 404);
    EXPECT_EQ(browser.get("").status, 404); // no home.htm in this folder

    // The desktop window's help addresses: /fn/?productid=QV&version=...&fn=help&context=...
    const struct {
        const char* context;
        const char* title;
    } topics[] = {{"", "The web server"},
                  {"tracelog", "The trace log"},
                  {"ServerSettings", "Web server settings"},
                  {"tables", "Tables"},
                  {"forms", "Forms"}};
    for (const auto& t : topics) {
        const Page page = browser.get(
            QStringLiteral("productid=QV&version=1.0.202&fn=help&context=") + t.context);
        EXPECT_EQ(page.status, 200) << t.context;
        EXPECT_TRUE(page.body.contains(QStringLiteral("<h1>") + t.title + "</h1>")) << t.context;
        EXPECT_TRUE(page.body.contains("<article><p>")) << t.context;
    }
    const Page unknown = browser.get("fn=help&context=nonsense");
    EXPECT_EQ(unknown.status, 200);
    EXPECT_TRUE(unknown.body.contains("There is no help on &quot;nonsense&quot;"));
}
