#pragma once

#include "webapp/forms/fieldcheck.h"
#include "webapp/pageenvironment.h"

namespace webapp {

// Pages for what went wrong, each a complete answer with its status in the frame.
Response NotFoundPage(const PageEnvironment& env, const QString& detail = {});
Response ForbiddenPage(const PageEnvironment& env, const QString& message);
// 400: a field that no page takes (FindUnusableField); nothing was done.
Response UnusableFieldPage(const PageEnvironment& env, const UnusableField& field);
// 503 with Retry-After: the data server did not answer; extraContent goes below the message.
Response UnavailablePage(const PageEnvironment& env, const QString& reason,
                         const Html& extraContent = {});
// The data server's error reply: its code and message.
Html FailureBox(const PageEnvironment& env, const DataFailure& failure);
Response FailurePage(const PageEnvironment& env, const DataFailure& failure);

} // namespace webapp
