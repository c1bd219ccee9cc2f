#include "SocketListens.h"

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace TevBackends {

bool socketListens(const char* path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
    for (const int type : {SOCK_DGRAM, SOCK_STREAM}) {
        const int socket = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
        if (socket < 0)
            return false;
        const bool connected = ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        const int error = errno;
        ::close(socket);
        if (connected || error != EPROTOTYPE)
            return connected;
    }
    return false;
}

} // namespace TevBackends
