#pragma once

#include <string>

// Path arithmetic of the server's side: '/' separators, done lexically (the server is never asked).

/// `dir` (absolute, or relative with "." and "..") taken from the absolute directory `from`; ".." above the
/// root stays at the root.
std::string JoinRemotePath(const std::string& from, const std::string& dir);

/// The relative path from the absolute directory `from` to the absolute path `to` ("." when they are one).
std::string RelativeRemotePath(const std::string& from, const std::string& to);

/// Host name and port of "host", "host:port", "[v6 address]:port" or a bare v6 address; port 21 when none.
void SplitHost(const std::string& host, std::string& name, int& port);

/// A path's bytes for a URL: every byte but letters, digits, "-._~/" percent-encoded.
std::string PercentEncodePath(const std::string& bytes);
