// Whether a daemon listens on a Unix socket: the system log on /dev/log, the journal on
// /run/systemd/journal/socket. Not on Windows.
#ifndef TEV_BACKENDS_SOCKETLISTENS_H
#define TEV_BACKENDS_SOCKETLISTENS_H

namespace TevBackends {

// Returns if a datagram or a stream socket at `path` takes a connection. Otherwise throws
// std::runtime_error: "No <daemon> listens on <path> (<why>): the <backend> backend would send
// every line nowhere" when nothing listens there, "Cannot reach the <daemon> on <path>: <reason>"
// when the test itself fails (no file descriptor left, say).
void requireListener(const char* path, const char* daemon, const char* why, const char* backend);

} // namespace TevBackends

#endif
