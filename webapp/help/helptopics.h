#pragma once

#include "webapp/rendering/html.h"

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

// The help's body: the list of topics, each linked to hrefFor(its context) (an href
// attribute's value), and article beside it. The text of the language file is the only
// source of both the pages the web application serves and the files shipped with the program.
Html HelpBody(const Labels& labels, const std::function<Html(const QString&)>& hrefFor,
              const Html& article);

// A topic's text as paragraphs (a line break in the label starts a new one).
Html HelpArticle(const Labels& labels, const HelpTopic& topic);

} // namespace webapp
