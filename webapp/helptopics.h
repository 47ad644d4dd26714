#pragma once

#include <QString>
#include <functional>

namespace webapp {

class Labels;

// One help topic: its context, as the help address and the help file name carry it, and
// the suffix of its labels (webHelpTitle<suffix>, webHelpText<suffix>).
struct HelpTopic {
    const char* context;
    const char* labels;
};

// Every topic, in the order of the list of topics: "" (the web server), "tracelog",
// "ServerSettings", and the application's pages "home", "tables", "queries", "forms",
// "admin".
const HelpTopic* HelpTopicsBegin();
const HelpTopic* HelpTopicsEnd();

// The topic of context (any letter case); null when there is none.
const HelpTopic* FindHelpTopic(const QString& context);

QString HelpTitle(const Labels& labels, const HelpTopic& topic);

// The help's body HTML: the list of topics, each linked to linkFor(its context), and
// article (HTML) beside it. The text of the language file is the only source of both the
// pages the web application serves and the files shipped with the program.
QString HelpBody(const Labels& labels, const std::function<QString(const QString&)>& linkFor,
                 const QString& article);

// A topic's text as HTML paragraphs (a line break in the label starts a new one).
QString HelpArticle(const Labels& labels, const HelpTopic& topic);

} // namespace webapp
