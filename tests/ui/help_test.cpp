// Help opens the pages shipped with the program, whatever state the server is in: from the
// settings dialog that start-up opens before anything listens, from the main window and
// from the trace log, in the run's language.
#include "desktopfixture.h"

#include "i18n/language.h"
#include "ui/tracelogwindow.h"

#include <QAction>
#include <QPushButton>
#include <QUrl>

using namespace support;

namespace {

class HelpTest : public DesktopFixture {
protected:
    // The page of the program folder's help for language and file, as a file address.
    QString page(const QString& language, const QString& file) const {
        return QUrl::fromLocalFile(m_program.path("help/" + language + "/" + file))
            .toString(QUrl::FullyEncoded);
    }
    // The file behind address holds the section titled by the label titleId.
    ::testing::AssertionResult holdsSection(const QString& address, const char* titleId) const {
        const QString file = QUrl(address).toLocalFile();
        const QString html = QString::fromUtf8(ReadFile(file));
        if (html.contains("<h1>" + i18n::Translate(titleId) + "</h1>"))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << file.toStdString() << " lacks " << titleId;
    }
};

} // namespace

TEST_F(HelpTest, TheSettingsDialogOfAStartThatServesNothingYetOpensItsPage) {
    // An unusable application folder: start-up opens the dialog before the data server
    // starts and before anything listens.
    m_program.writeSettings("<ApplicationPath>" + m_program.beside("missing") +
                            "</ApplicationPath>");
    m_modals.onDialog = [](QWidget* dialog) {
        dialog->findChild<QPushButton*>("cmdHelp")->click();
        static_cast<QDialog*>(dialog)->reject();
    };
    launchCore();
    ASSERT_TRUE(Eventually([this] { return m_exitCode.has_value(); }, WAIT_MS));
    EXPECT_FALSE(logText().contains("Start data server"));
    ASSERT_TRUE(Eventually([this] { return !openedUrls().isEmpty(); }));
    EXPECT_EQ(openedUrls(), QStringList{page("en", "ServerSettings.html")});
    EXPECT_TRUE(holdsSection(openedUrls().value(0), "webHelpTitleSettings"));
}

TEST_F(HelpTest, TheWindowAndTheTraceLogOpenTheirPagesInTheRunsLanguage) {
    startCore({"language=de"});
    ASSERT_TRUE(Eventually([this] { return openedUrls().size() == 1; })); // the admin page
    // With the server stopped as well as running: the pages need none of it.
    m_core->StopServer();
    control<QAction>("mnuHelpContents")->trigger();
    control<QAction>("mnuTraceLog")->trigger();
    m_desktop->traceLog()->findChild<QPushButton*>("cmdHelp")->click();
    ASSERT_TRUE(Eventually([this] { return openedUrls().size() == 3; }));
    QStringList help = openedUrls().mid(1);
    help.sort();
    EXPECT_EQ(help, QStringList({page("de", "index.html"), page("de", "tracelog.html")}));
    EXPECT_TRUE(holdsSection(page("de", "index.html"), "webHelpTitleServer"));
    EXPECT_TRUE(holdsSection(page("de", "tracelog.html"), "webHelpTitleTraceLog"));
}
