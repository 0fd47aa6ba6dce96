#pragma once

#include "ServerProcess.h"

#include <memory>
#include <string>

/// A real HTTP server (tests/support/http_server.py) on 127.0.0.1 with a port of its own, serving `root`,
/// or, when `root` is empty, one that takes connections and never answers; HTTPS with `certPem` (certificate
/// and key). Stopped by the destructor.
class HttpServer {
public:
    explicit HttpServer(const std::string& root, const std::string& certPem = "");
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int port() const { return process_->port(); }
    /// "http://127.0.0.1:<port>/" (or https) followed by `path`.
    std::string url(const std::string& path = "") const {
        return (tls_ ? "https" : "http") + std::string("://127.0.0.1:") + std::to_string(port()) + "/" + path;
    }

private:
    bool tls_ = false;
    std::unique_ptr<ServerProcess> process_;
};
