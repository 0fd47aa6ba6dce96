#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

/// A test server run as a child process: started with `args` (program first), its standard error written
/// to `errorFile` (when given), and the port it prints on its first line read (at most 20 s). The child
/// ends when it is killed or its standard input closes, so it never outlives the test. Throws
/// std::runtime_error naming `what` when it does not start.
class ServerProcess {
public:
    ServerProcess(std::vector<std::string> args, const std::string& errorFile, const std::string& what);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int port() const { return port_; }
    /// Kills the child and waits for it (on Windows: closes the lifeline and waits until its port is closed).
    void stop();

private:
    // Stops what did start and throws with what the server wrote to its error file.
    [[noreturn]] void failedToStart(const std::string& errorFile, const std::string& what) {
        stop();
        std::ifstream errors(errorFile);
        throw std::runtime_error(what + " did not start " +
                                 std::string(std::istreambuf_iterator<char>(errors), {}));
    }

    int pid_ = -1;
    intptr_t stdinFd_ = -1; // the lifeline socket on Windows
    int port_ = 0;
};
