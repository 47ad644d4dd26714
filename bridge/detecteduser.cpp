#include "bridge/detecteduser.h"

#include "bridge/accountnames.h"
#include "common/error.h"
#include "contract/socketowner.h"
#include "diagnostics/trace.h"
#include "server/requestorigin.h"
#include "webappapi/contextkeys.h"

namespace bridge {

namespace {
DetectedUser named(const QString& name, const QString& authType) {
    return name.isEmpty() ? DetectedUser{} : DetectedUser{name, authType};
}

// The account of the client's socket: its own end is the peer of ours.
QString socketOwnerName(const server::ConnectionEnds& ends) {
    try {
        static AccountNames names;
        const std::optional<uid_t> owner = dataserver::TcpSocketOwner(ends.peer, ends.local);
        return owner ? names.nameOf(*owner) : QString();
    } catch (const common::Error& e) {
        diagnostics::WriteTrace(QStringLiteral("The user of a loopback client is unknown: ") +
                                    e.description(),
                                diagnostics::Severity::Warning);
        return {};
    }
}
} // namespace

DetectedUser DetectUser(const server::RequestOrigin& origin) {
    switch (origin.via) {
    case server::RequestOrigin::Via::TrustedProxy:
        return named(origin.proxyUser, keys::AUTH_TYPE_PROXY);
    case server::RequestOrigin::Via::Loopback:
        return named(socketOwnerName(origin.ends), keys::AUTH_TYPE_LOCAL);
    case server::RequestOrigin::Via::Network:
        break;
    }
    return {};
}

} // namespace bridge
