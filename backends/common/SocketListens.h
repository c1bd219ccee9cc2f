// Whether a daemon listens on a Unix socket: the system log on /dev/log, the journal on
// /run/systemd/journal/socket. Not on Windows.
#ifndef TEV_BACKENDS_SOCKETLISTENS_H
#define TEV_BACKENDS_SOCKETLISTENS_H

namespace TevBackends {

// Whether a datagram or a stream socket at `path` takes a connection.
bool socketListens(const char* path);

} // namespace TevBackends

#endif
