#pragma once

#include <QByteArrayView>
#include <optional>
#include <sys/types.h>

namespace dataserver {

// The owner of the listening Unix stream socket bound to an address, asked of the kernel's
// socket diagnostics rather than of the socket itself, so it works when nobody can connect
// (a full backlog). address: the bytes of sun_path as bound (an abstract address begins
// with its NUL). Returns nothing when no such socket listens; raises common::Error when the
// kernel cannot be asked.
std::optional<uid_t> ListeningSocketOwner(QByteArrayView address);

} // namespace dataserver
