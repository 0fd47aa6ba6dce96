#pragma once

#include <sys/fsuid.h>
#include <unistd.h>

/// While it lives, the file system's permission checks of this thread are made for the user "nobody"
/// (setfsuid), so that a test that runs as root, whom no file mode stops, can meet a file it may not read.
/// For any other user it changes nothing: the modes apply already. The files and folders the test wants
/// reachable must be open to others (chmod).
class AsUnprivilegedUser {
public:
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
    AsUnprivilegedUser(const AsUnprivilegedUser&) = delete;
    AsUnprivilegedUser& operator=(const AsUnprivilegedUser&) = delete;

private:
    bool root_;
};
