#pragma once

#include "webapp/pageenvironment.h"

namespace webapp {

// The pages on which an editor changes a table's rows (see README, "Editing rows"):
//   ?page=new&table=t             a form for a new row
//   ?page=edit&table=t&k.id=2     a form for the row with that key
//   ?page=delete&table=t&k.id=2   the row, and a button that deletes it
// Each posts to itself with a form token and nonce (the write's request id), and the edit
// and delete with the values the editor saw: the data server writes nothing over a row that
// changed meanwhile, and the page then shows the row as it is now.
Response NewRowPage(const PageEnvironment& env);
Response EditRowPage(const PageEnvironment& env);
Response DeleteRowPage(const PageEnvironment& env);

// Whether the request's user may add, change and delete the rows of table.
bool MayEditRows(const PageEnvironment& env, const QString& table);

} // namespace webapp
