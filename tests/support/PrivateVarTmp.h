#ifndef TEV_TESTS_PRIVATEVARTMP_H
#define TEV_TESTS_PRIVATEVARTMP_H

// Gives the calling process an empty /var/tmp of its own, so that tests of the crisis
// log neither read nor touch the machine's, and no program holding it can fail them:
// as root in a mount namespace, otherwise in a user namespace too.

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

namespace TevTest {

// "" once done, else why it cannot be done here.
inline std::string isolateVarTmp()
{
    const auto write = [](const char* path, const std::string& text) { return bool(std::ofstream(path) << text); };
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (uid == 0) {
        if (::unshare(CLONE_NEWNS) != 0)
            return std::string("cannot make a mount namespace: ") + std::strerror(errno);
    } else if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 || !write("/proc/self/setgroups", "deny") ||
               !write("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
               !write("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
        return std::string("not root, and no user namespace to be had: ") + std::strerror(errno);
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) // in a chroot, / is no mount point
        return std::string("cannot keep a mount from reaching the machine's /var/tmp: ") + std::strerror(errno);
    if (::mount("tmpfs", "/var/tmp", "tmpfs", 0, "mode=1777") != 0)
        return std::string("cannot mount a private /var/tmp: ") + std::strerror(errno);
    return "";
}

} // namespace TevTest

#endif
