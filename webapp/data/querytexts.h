#pragma once

#include "webapp/data/remotedatabase.h"

namespace webapp {

class Labels;

// What a page shows for a query or a parameter: the text of its label id where the language
// has that label, else the title dataserver.xml gives, else its name.
QString TitleOf(const Labels& labels, const DisplayTexts& texts, const QString& name);
// Its description: the label "<label id>Desc" where the language has it, else the description
// dataserver.xml gives ("" for none).
QString DescriptionOf(const Labels& labels, const DisplayTexts& texts);

} // namespace webapp
