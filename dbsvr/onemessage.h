#pragma once

#include <QString>
#include <cstdio>

namespace dbsvr {

// `dbsvr message=- configfolder=<application folder>`: opens the database that folder's
// dataserver.xml names, as the queue service does, serves one request read from in (to its
// end) with the same message handler and writes the reply to out (an export's parts one after
// the other). No queue folders, no tokens, no alive file: for scripts that change the
// application's data from the command line. Returns the exit code (contract/contract.h); why no
// database could be opened goes to standard error (and the log).
int RunOneMessage(const QString& configFolder, std::FILE* in, std::FILE* out);

} // namespace dbsvr
