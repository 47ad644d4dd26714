#pragma once

#include "common/dictionary.h"
#include "common/objectfactory.h"

#include <QString>

namespace server {

// One parsed request.
struct clsHeader {
    // One entry per "name: value" line, as written; for POST also "Content" = the body.
    common::DictionaryPtr Parameters = common::NewDictionary();
    QString Request;  // the request line, without its line end
    QString FilePath; // the URL-decoded path; for GET without the query text
    QString Command;  // for GET the query text after the first "?", otherwise ""
};

} // namespace server
