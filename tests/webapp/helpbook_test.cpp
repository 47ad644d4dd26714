// The help shipped as files with the program: made from the language files by the web
// application's own code, staged in the program folder, a page per topic.
#include "common/files.h"
#include "common/helpfiles.h"
#include "common/xml.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"
#include "webapp/help/helpbook.h"
#include "webapp/help/helptopics.h"
#include "webapp/rendering/html.h"
#include "webapp/rendering/labels.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <pugixml.hpp>

using namespace webapp;

TEST(HelpBook, TheStagedHelpHoldsEveryTopicOfEveryLanguageAsItsLanguageFileSays) {
    for (const QString code : {"en", "de"}) {
        pugi::xml_document document;
        ASSERT_TRUE(
            common::LoadXmlFile(document, support::StageDir() + "/language/" + code + ".xml"));
        const Labels labels(document.document_element());
        const QDir folder(support::StageDir() + "/help/" + code);
        const std::vector<HelpFile> book = HelpBook(labels);
        ASSERT_EQ(book.size(), size_t(HelpTopicsEnd() - HelpTopicsBegin()));
        for (const HelpTopic* t = HelpTopicsBegin(); t != HelpTopicsEnd(); ++t) {
            const QString name = common::HelpFileName(QLatin1String(t->context));
            const QByteArray staged = support::ReadFile(folder.filePath(name));
            const std::string where = (code + "/" + name).toStdString();
            // Staged from the language file as it is now.
            const auto made = std::find_if(book.begin(), book.end(),
                                           [&](const HelpFile& f) { return f.name == name; });
            ASSERT_NE(made, book.end()) << where;
            EXPECT_EQ(staged, made->html) << where;
            // The topic's section: its title and its text, in the page's language.
            const QString page = QString::fromUtf8(staged);
            EXPECT_TRUE(page.contains("<html lang=\"" + code + "\">")) << where;
            EXPECT_TRUE(
                page.contains("<h1>" + Html::text(HelpTitle(labels, *t)).toString() + "</h1>"))
                << where;
            const QString text =
                labels.text(QStringLiteral("webHelpText") + QLatin1String(t->labels));
            EXPECT_FALSE(text.startsWith("[Missing label")) << where;
            EXPECT_TRUE(
                page.contains("<p>" + Html::text(text.section("\r\n", 0, 0)).toString() + "</p>"))
                << where;
            // Every link leads to a file that is there (the other topics, the style sheet, the
            // icon), or to an element of the page (the skip link).
            static const QRegularExpression link("(?:href|src)=\"([^\"]+)\"");
            for (auto it = link.globalMatch(page); it.hasNext();) {
                const QString target = it.next().captured(1);
                EXPECT_TRUE(target.startsWith('#') ? page.contains("id=\"" + target.mid(1) + "\"")
                                                   : QFileInfo::exists(folder.filePath(target)))
                    << where << " -> " << target.toStdString();
            }
        }
    }
}
