#pragma once

#include "FtpServer.h"
#include "jobs/Settings.h"

#include <memory>
#include <string>

/// A network update job for `folder` against `server`'s directory `directory`, with its own settings and
/// short time-outs so that a failing test never waits long; one connection unless asked for more.
inline std::unique_ptr<TSettings> NetworkJob(const FtpServer& server, const std::string& folder,
                                             const std::string& patterns,
                                             const std::string& directory = "pub", int connections = 1) {
    auto job = std::make_unique<TSettings>();
    job->Name = "net";
    job->Kind = TSettings::Network;
    job->OwnFTP = std::make_unique<TFTPConfig>();
    job->OwnFTP->Server = server.address();
    job->OwnFTP->ID = "user";
    job->OwnFTP->SetPassword("secret");
    job->OwnFTP->Passive = true;
    job->OwnFTP->Connections = connections;
    job->Directory = directory;
    job->TargetFolder = folder;
    job->ProcessName = patterns;
    job->ClientOptions.ConnectTimeoutMs = 10000;
    job->ClientOptions.StallTimeoutMs = 10000;
    return job;
}
