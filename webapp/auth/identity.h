#pragma once

#include "webapp/auth/accessrules.h"
#include "webapp/auth/role.h"

#include <QString>

namespace webapp {

class AccountStore;
class RequestContext;

// Who makes a request, and with which role.
struct Identity {
    enum class Source {
        None,    // anonymous
        Session, // signed in with an account of the application
        Local,   // the local account that owns the client's socket on this machine
        Proxy,   // the name a trusted reverse proxy passed
    };
    QString user; // "" for anonymous
    Role role = Role::Anonymous;
    Source source = Source::None;
    QString sessionKey;        // the server's key of the session; "" without one
    bool endedSession = false; // a session cookie came whose session has ended: remove it

    bool signedIn() const { return source == Source::Session; }
    bool anonymous() const { return user.isEmpty(); }
    // What forms shown to this identity are bound to, beside the run: its session, or its
    // detected name; "" for anonymous.
    QString formBinding() const;
};

// The user mode the context names: true for "APPLICATION" (accounts with passwords), false for
// "DETECT" (the names the web server detected).
bool IsApplicationMode(const RequestContext& request);
// The account this program runs as.
QString ProgramAccount();
// The client's address as the web server judged it (behind a trusted proxy, the one it
// passed).
QString ClientAddress(const RequestContext& request);

// Finds the request's identity: a live session of its cookie (application user mode), else the
// program's own account on a connection from this machine (an administrator in both modes),
// else in the detect user mode the name the web server detected (its account's role, or the
// rules' role for detected users), else anonymous. A session past its idle time-out
// (SessionTimeout minutes, 0: none) or SESSION_MAX_SECONDS, or whose user is disabled, is not
// used. May ask the data server, and raise as AccountStore does.
Identity ResolveIdentity(const RequestContext& request, const AccountStore& accounts,
                         const AccessRules& rules);

} // namespace webapp
