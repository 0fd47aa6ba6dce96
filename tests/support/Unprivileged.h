#pragma once

#ifndef _WIN32
#include <sys/fsuid.h>
#include <unistd.h>
#endif

/// While it lives, the file system's permission checks of this thread are made for the user "nobody"
/// (setfsuid), so that a test that runs as root, whom no file mode stops, can meet a file it may not read.
/// For any other user it changes nothing: the modes apply already. Windows has no such switch: there it
/// changes nothing either, and the tests that need it are left out of the Windows run. The files and folders
/// the test wants reachable must be open to others (chmod).
class AsUnprivilegedUser {
public:
#ifdef _WIN32
    AsUnprivilegedUser() : root_(false) {}
    ~AsUnprivilegedUser() = default;
#else
    AsUnprivilegedUser() : root_(::geteuid() == 0) {
        if (root_) {
            ::setfsgid(65534);
            ::setfsuid(65534);
        }
    }
    ~AsUnprivilegedUser() {
        if (root_) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    }
#endif
    AsUnprivilegedUser(const AsUnprivilegedUser&) = delete;
    AsUnprivilegedUser& operator=(const AsUnprivilegedUser&) = delete;

private:
    bool root_;
};
