#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace webapp {

class Labels;

// One page of the help shipped as files: its file name (common::HelpFileName of its
// context) and its UTF-8 HTML.
struct HelpFile {
    QString name;
    QByteArray html;
};

// The help of one language as files a browser opens without any server: a page per topic,
// with the same texts as the web application's help pages, linked to each other by file
// name. They lie in <program folder>/help/<code>/ and take the style sheet and the logo of
// the web root two folders up.
std::vector<HelpFile> HelpBook(const Labels& labels);

} // namespace webapp
