#include "SocketListens.h"

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace TevBackends {

namespace {

// 0 if a datagram or a stream socket at `path` takes a connection, or why not.
int connectError(const char* path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
    int error = 0;
    for (const int type : {SOCK_DGRAM, SOCK_STREAM}) {
        const int socket = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
        if (socket < 0)
            return errno;
        const bool connected = ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        error = connected ? 0 : errno;
        ::close(socket);
        if (error != EPROTOTYPE)
            break;
    }
    return error;
}

} // namespace

void requireListener(const char* path, const char* daemon, const char* why, const char* backend)
{
    const int error = connectError(path);
    if (error == ENOENT || error == ECONNREFUSED || error == EPROTOTYPE || error == ENOTSOCK)
        throw std::runtime_error(std::string("No ") + daemon + " listens on " + path + " (" + why + "): the " +
                                 backend + " backend would send every line nowhere");
    if (error != 0)
        throw std::runtime_error(std::string("Cannot reach the ") + daemon + " on " + path + ": " +
                                 std::strerror(error));
}

} // namespace TevBackends
