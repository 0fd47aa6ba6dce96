#include "HttpServer.h"

#include <vector>

HttpServer::HttpServer(const std::string& root, const std::string& certPem) : tls_(!certPem.empty()) {
    std::vector<std::string> args = {"/usr/bin/python3",
                                     std::string(QUILLON_TEST_SUPPORT) + "/http_server.py"};
    if (root.empty()) {
        args.push_back("--silent");
    } else {
        args.push_back("--root");
        args.push_back(root);
    }
    if (tls_) {
        args.push_back("--cert");
        args.push_back(certPem);
    }
    process_ = std::make_unique<ServerProcess>(std::move(args), "", "the HTTP server");
}

HttpServer::~HttpServer() = default;
